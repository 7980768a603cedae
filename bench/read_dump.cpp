// Times the program's data reader on a benchmark file and writes the values it read, as raw
// single-precision bit patterns, for the comparison with the Fortran peer.
//
//   tramel_read_dump FILE COLUMNS REPEATS DUMP
//
// The file's head is taken as the program takes it (title, then the count and the format on
// line 2); each repeat is one datt over the whole file. Prints the median time of one read
// and the values per second, by the processor time of the process (on a shared machine the
// wall clock also counts the time other processes take).
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "data/data.hpp"

namespace {
double cpu_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}
}  // namespace

int main(int argc, char** argv) {
  using namespace tramel;
  if (argc != 5) {
    std::fprintf(stderr, "usage: tramel_read_dump FILE COLUMNS REPEATS DUMP\n");
    return 2;
  }
  const std::string path = argv[1];
  const int M = std::atoi(argv[2]);
  const int repeats = std::max(1, std::atoi(argv[3]));

  textio::TextFile file;
  if (file.open(path) != 0) {
    std::perror(path.c_str());
    return 1;
  }
  std::string line;
  file.read_line(line);
  std::string_view second;
  file.next_record(second);
  const std::string head(second);
  const int N = std::atoi(head.c_str());
  const auto a = head.find('(');
  const auto b = head.rfind(')');
  std::string fmt = head.substr(a, b - a + 1);
  fmt.resize(50, ' ');
  const char mode = fmt.find('a') != std::string::npos ? 'm' : 'a';

  std::vector<float> x(static_cast<std::size_t>(N) * M);
  std::vector<char> t(mode == 'm' ? static_cast<std::size_t>(N) * data::kLabel : 0);
  textio::Sink report;
  std::vector<double> seconds;
  for (int r = 0; r < repeats; ++r) {
    const double t0 = cpu_seconds();
    data::datt(x, fmt, t, mode, 1, N, N, M, file, report);
    seconds.push_back(cpu_seconds() - t0);
  }
  if (!report.text().empty()) {
    std::fprintf(stderr, "%s", report.text().c_str());
    return 1;
  }
  std::sort(seconds.begin(), seconds.end());
  const double median = seconds[seconds.size() / 2];
  const double values = static_cast<double>(x.size());
  std::printf("%.0f values  %.4f s  %.2f M values/s\n", values, median, values / median / 1e6);

  std::FILE* out = std::fopen(argv[4], "wb");
  if (!out) {
    std::perror(argv[4]);
    return 1;
  }
  std::fwrite(x.data(), sizeof(float), x.size(), out);
  std::fclose(out);
  return 0;
}
