// Fuzz target: the whole program, in a temporary folder of its own, on an arbitrary control
// file and data file. The input is the control file, a line "@@DATA@@", then the data file,
// which is written under the name the control file gives it (when that names a file in the
// folder). The run must return; its exit status is 0 or 1.
//
// Runs that are legitimately long are rejected before the run: a data file that declares many
// data or many columns makes work that grows with them whatever the file holds (a frame of a
// large prime length costs its length squared per transform). The count and the columns are
// read the way the program reads them.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "control/control.hpp"
#include "tramel.hpp"

namespace {

namespace fs = std::filesystem;
using namespace tramel;

constexpr std::string_view kSplit = "\n@@DATA@@\n";
constexpr std::size_t kMaxControl = 16 << 10;
constexpr std::size_t kMaxData = 256 << 10;
constexpr std::int64_t kMaxValues = 20000;  // N times M
constexpr std::int32_t kMaxColumns = 64;
// The work space of a run is limited, so that sizes beyond it take the allocation stop at once.
constexpr std::uint64_t kMemoryLimit = std::uint64_t{64} << 20;

fs::path folder;

// The data file name and the number of columns as the program reads them from the global
// block; an empty name when the block or the name is unusable.
struct Globals {
  std::string name;
  std::int32_t M = 0;
};

Globals read_globals(const std::string& control) {
  Globals g;
  control::ControlFile file;
  file.open_text(control);
  const control::Outcome<control::GlobalBlock> global = control::read_global_block(file);
  if (global.failed()) return g;
  const std::string& text = global.value->parameters.text;
  control::KeywordReader reader;
  reader.integer(control::keywords::kRuns, text);
  g.M = reader.integer(control::keywords::kSeriesCount, text).value;
  std::string name = reader.text(control::keywords::kDataFile, text).value;
  name.erase(name.find_last_not_of(' ') + 1);
  g.name = name;
  return g;
}

// The number of data on line 2 of the data file, read as the program reads it (0 when it
// cannot be read).
std::int32_t declared_count(const std::string& data) {
  textio::TextFile file;
  file.open_text(data);
  std::string_view record;
  if (!file.next_record(record) || !file.next_record(record)) return 0;
  textio::TextFile line2;
  line2.open_text(std::string(record));
  std::int32_t n = 0;
  float rate = 0;
  const textio::TextFile::ListTarget targets[] = {&n, &rate};
  if (!line2.read_list(targets).ok()) return 0;
  return n;
}

bool plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

void clear_folder() {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder, ec)) fs::remove_all(e.path(), ec);
}

std::string read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write(const fs::path& file, std::string_view text) {
  std::ofstream out(file, std::ios::binary);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/tramel-fuzz-XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  folder = pattern;
  // The label-array stop waits for a line from the operator: give it an empty console.
  if (!std::freopen("/dev/null", "r", stdin)) std::abort();
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(folder, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const std::size_t split = input.find(kSplit);
  const std::string control(input.substr(0, split));
  const std::string data(split == std::string_view::npos ? std::string_view()
                                                         : input.substr(split + kSplit.size()));
  if (control.size() > kMaxControl || data.size() > kMaxData) return -1;

  const Globals g = read_globals(control);
  // A name outside the folder is never created or read; a name the program would not find
  // as a file still runs (it stops at the name).
  if (!g.name.empty() && g.name.find('/') != std::string::npos) return -1;
  const std::int64_t n = declared_count(data);
  if (g.M > kMaxColumns || n * std::max<std::int64_t>(g.M, 1) > kMaxValues) return -1;

  clear_folder();
  write(folder / "tramel.cnl", control);
  if (plain_name(g.name) && g.name != "tramel.cnl") write(folder / g.name, data);

  const int status = program(Options{.folder = folder, .memory_limit = kMemoryLimit});
  if (status != 0 && status != 1) __builtin_trap();
  // No output holds a NUL character, whatever the inputs held.
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name == "tramel.cnl" || name == g.name) continue;  // the inputs
    if (read(e.path()).find('\0') != std::string::npos) __builtin_trap();
  }
  return 0;
}
