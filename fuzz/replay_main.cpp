// A plain driver for a fuzz target: runs the target once on every file named on the command
// line (folders: every file in them, in name order), so that a seed corpus and the inputs of
// past findings run as an ordinary test without the fuzzing engine.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  // The files first, as absolute paths: a target may change the working directory.
  std::vector<fs::path> files;
  for (int i = 1; i < argc; ++i) {
    const fs::path p = fs::absolute(argv[i]);
    if (!fs::exists(p)) continue;  // e.g. a target with no past findings
    if (fs::is_directory(p)) {
      for (const fs::directory_entry& e : fs::recursive_directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
    } else {
      files.push_back(p);
    }
  }
  std::sort(files.begin(), files.end());
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  for (const fs::path& f : files) {
    std::ifstream in(f, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs run\n", files.size());
  return 0;
}
