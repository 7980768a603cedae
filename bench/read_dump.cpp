// Times the program's data reader on a benchmark file and writes the values it read, as raw
// single-precision bit patterns, for the comparison with the Fortran peer.
//
//   tramel_read_dump FILE COLUMNS REPEATS DUMP
//
// The file's head is read as the program reads it (data::read_head: the title, then the count
// and the format on line 2); each repeat is one data::read_sample of every datum of the file,
// COLUMNS values each. Prints the median time of one read and the values per second, by the
// processor time of the process (on a shared machine the wall clock also counts the time
// other processes take).
//
// read_sample allocates the sample it returns. The Fortran peer touches its array before its
// clock starts, so the memory is touched here too: the heap is told to keep what is freed
// (no separate mappings for large blocks, no trimming), and a block the size of the values
// is touched and freed before the clock; the sample's values then take those pages again.
// The clock still counts the setting of the values to zero, but not the first touch of their
// pages (on this virtual machine about 0.1 s for 10 million values, a third of the read).
// The labels are not touched beforehand, as the peer does not touch its own.
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "data/data.hpp"

namespace {

double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// The messages of a step that reads, to standard error; true when there were any.
template <class T>
bool said(const tramel::diagnostics::Outcome<T>& outcome) {
  for (const auto& note : outcome.notes)
    if (const auto* m = std::get_if<tramel::diagnostics::Message>(&note))
      std::fprintf(stderr, "%s", m->text.c_str());
  if (outcome.stop) std::fprintf(stderr, "%s", outcome.stop->message.text.c_str());
  return !outcome.notes.empty() || outcome.stop;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tramel;
  if (argc != 5) {
    std::fprintf(stderr, "usage: tramel_read_dump FILE COLUMNS REPEATS DUMP\n");
    return 2;
  }
  const std::string path = argv[1];
  const int columns = std::atoi(argv[2]);
  const int repeats = std::max(1, std::atoi(argv[3]));

  data::RecordFile file(path);
  if (file.open(path) != 0) {
    std::perror(path.c_str());
    return 1;
  }
  data::HeadOutcome head = file.read_head();
  if (said(head.head) || head.head.failed()) return 1;
  const data::SampleRequest request{1, head.head.value->count, columns};

  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  {
    const std::size_t bytes = static_cast<std::size_t>(request.size()) * columns * sizeof(float);
    char* block = static_cast<char*>(std::malloc(bytes));
    if (block == nullptr) return 1;
    std::memset(block, 1, bytes);
    asm volatile("" : : "r"(block) : "memory");  // the stores happen: the pages are touched
    std::free(block);
  }

  data::Sample sample;
  std::vector<double> seconds;
  for (int r = 0; r < repeats; ++r) {
    sample = data::Sample{};  // the pages of the last read are free for this one
    const double t0 = cpu_seconds();
    diagnostics::Outcome<data::Sample> read = file.read_sample(request, data::ReadWork{});
    seconds.push_back(cpu_seconds() - t0);
    // Any message (an end of file, a record that cannot be read) makes the figures void.
    if (said(read) || read.failed()) return 1;
    sample = std::move(*read.value);
  }
  std::sort(seconds.begin(), seconds.end());
  const double median = seconds[seconds.size() / 2];
  const double values = static_cast<double>(sample.values.size());
  std::printf("%.0f values  %.4f s  %.2f M values/s\n", values, median, values / median / 1e6);

  std::FILE* out = std::fopen(argv[4], "wb");
  if (!out) {
    std::perror(argv[4]);
    return 1;
  }
  std::fwrite(sample.values.data(), sizeof(float), sample.values.size(), out);
  std::fclose(out);
  return 0;
}
