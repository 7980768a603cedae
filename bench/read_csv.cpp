// Times the CSV reader against the program's reader of the two-line layout on the same data,
// in one process, alternating, and checks that both give the same values bit for bit.
//
//   tramel_read_csv DAT CSV COLUMNS REPEATS THREADS
//
// DAT is a file of the two-line layout whose records hold COLUMNS values each, CSV the same
// data as CSV (bench/gen.cpp csv writes it from DAT, keeping each value's text). Each repeat
// reads DAT with data::read_sample and CSV with csv::read_table_file, each on one thread
// and on THREADS threads. Prints, per reader and thread count, the median processor time of
// the process and the median wall time of one read. Both include reading the file from the
// page cache; as in tramel_read_dump, the heap keeps what is freed, so that neither reader
// pays for the first touch of its pages.
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "data/data.hpp"
#include "csv/csv.hpp"
#include "parallel/parallel.hpp"

namespace {

using namespace tramel;

double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double wall_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Times {
  std::vector<double> cpu, wall;
  void add(double c, double w) {
    cpu.push_back(c);
    wall.push_back(w);
  }
  static double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  }
};

// The values of the two-line layout file, read as the program reads them.
std::vector<float> read_layout(const std::string& path, int columns, int threads) {
  data::RecordFile file(path);
  if (file.open(path) != 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  data::HeadOutcome head = file.read_head();
  if (head.head.failed() || !head.head.notes.empty()) {
    std::fprintf(stderr, "%s: the head cannot be read\n", path.c_str());
    std::exit(1);
  }
  const data::SampleRequest request{1, head.head.value->count, columns};
  data::ReadWork work;
  work.records = textio::RecordWork{threads, [threads](std::int64_t count, const auto& body) {
                                      parallel::for_chunks(count, parallel::Threads{threads}, body);
                                    }};
  diagnostics::Outcome<data::Sample> read = file.read_sample(request, work);
  if (read.failed() || !read.notes.empty()) {
    std::fprintf(stderr, "%s: the sample cannot be read\n", path.c_str());
    std::exit(1);
  }
  return std::vector<float>(read.value->values.begin(), read.value->values.end());
}

std::vector<float> read_csv(const std::string& path, int columns, int threads) {
  csv::ReadOptions options;
  options.file_name = path;
  options.expected_columns = columns;
  options.threads = parallel::Threads{threads};
  csv::Result<csv::Table> t = csv::read_table_file(path, options);
  if (!t.ok()) {
    std::fprintf(stderr, "%s\n", t.error->text.c_str());
    std::exit(1);
  }
  return std::move(t.value->values);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: tramel_read_csv DAT CSV COLUMNS REPEATS THREADS\n");
    return 2;
  }
  const std::string dat = argv[1], csv = argv[2];
  const int columns = std::atoi(argv[3]);
  const int repeats = std::max(1, std::atoi(argv[4]));
  const int threads = std::max(1, std::atoi(argv[5]));

  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  std::vector<float> layout_values = read_layout(dat, columns, 1);  // also warms the heap
  std::vector<float> csv_values = read_csv(csv, columns, 1);
  const bool same = layout_values.size() == csv_values.size() &&
                    std::memcmp(layout_values.data(), csv_values.data(), layout_values.size() * sizeof(float)) == 0;

  const int counts[] = {1, threads};
  Times times[2][2];  // [reader][thread count]
  for (int r = 0; r < repeats; ++r)
    for (int k = 0; k < (threads > 1 ? 2 : 1); ++k)
      for (int reader = 0; reader < 2; ++reader) {
        std::vector<float>().swap(reader == 0 ? layout_values : csv_values);
        const double c0 = cpu_seconds(), w0 = wall_seconds();
        (reader == 0 ? layout_values : csv_values) =
            reader == 0 ? read_layout(dat, columns, counts[k]) : read_csv(csv, columns, counts[k]);
        times[reader][k].add(cpu_seconds() - c0, wall_seconds() - w0);
      }
  const char* names[] = {"two-line layout (data::read_sample)", "CSV (csv::read_table_file)"};
  for (int k = 0; k < (threads > 1 ? 2 : 1); ++k)
    for (int reader = 0; reader < 2; ++reader)
      std::printf("%-38s threads %d  processor %.4f s  wall %.4f s  %.1f M values/s (wall)\n", names[reader],
                  counts[k], Times::median(times[reader][k].cpu), Times::median(times[reader][k].wall),
                  static_cast<double>(csv_values.size()) / Times::median(times[reader][k].wall) / 1e6);
  std::printf("values %s (%zu)\n", same ? "identical" : "DIFFERENT", csv_values.size());
  return same ? 0 : 1;
}
