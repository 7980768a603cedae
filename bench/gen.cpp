// Generates the benchmark data files.
//
//   tramel_bench_gen reader FILE VALUES COLUMNS plain|label
//       A data file of VALUES values, COLUMNS to a record, under (Cf10.3) or, with a
//       25-character label after each record, under (Cf10.3,1x,a25).
//   tramel_bench_gen case FOLDER
//       The end-to-end case of e2e_case.hpp: tramel.cnl and the data file.
//   tramel_bench_gen csv DAT CSV [time]
//       The records of DAT (a data file of the two-line layout, blank-separated values) as
//       CSV with a header row series1, series2, ...: each value keeps its text, so that both
//       files hold the same decimal numbers. With `time`, a first column `time` of stamps one
//       second apart from 2000-01-01T00:00:00.
//
// Values come from a fixed pseudo-random sequence, so every run writes the same files.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e_case.hpp"

namespace {

using namespace tramel::bench;

// splitmix64: a small, fast, well-mixed sequence.
struct Random {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // Standard normal by Box-Muller (one value per call; the second is dropped).
  double normal() {
    double u = uniform();
    while (u <= 0.0) u = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * uniform());
  }
};

// Appends `value` as an f10.3 field: rounded to 3 decimals, right-justified in 10 columns.
void f10_3(std::string& out, double value) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
  const auto len = static_cast<std::size_t>(r.ptr - buf);
  if (len > 10) {
    std::fprintf(stderr, "value %g does not fit f10.3\n", value);
    std::exit(1);
  }
  out.append(10 - len, ' ');
  out.append(buf, len);
}

class Writer {
 public:
  explicit Writer(const std::string& path) : f_(std::fopen(path.c_str(), "wb")) {
    if (!f_) {
      std::perror(path.c_str());
      std::exit(1);
    }
  }
  ~Writer() {
    flush();
    std::fclose(f_);
  }
  std::string& buf() { return buf_; }
  void maybe_flush() {
    if (buf_.size() > (1u << 20)) flush();
  }

 private:
  void flush() {
    std::fwrite(buf_.data(), 1, buf_.size(), f_);
    buf_.clear();
  }
  std::FILE* f_;
  std::string buf_;
};

int reader_file(const std::string& path, long values, int columns, bool label) {
  const long records = (values + columns - 1) / columns;
  Writer w(path);
  std::string& b = w.buf();
  b += "Reader benchmark: " + std::to_string(values) + " values, " + std::to_string(columns) +
       " to a record\n";
  const std::string fmt = "(" + std::to_string(columns) + "f10.3" + (label ? ",1x,a25)" : ")");
  b += std::to_string(records) + " 1.0  " + fmt + "\n";
  Random rnd{12345};
  for (long r = 1; r <= records; ++r) {
    for (int c = 0; c < columns; ++c) {
      // Magnitudes from 0.001 to some thousands, either sign, as measured data have.
      const double scale = std::pow(10.0, static_cast<int>(rnd.next() % 5));
      f10_3(b, rnd.normal() * scale);
    }
    if (label) {
      char text[40];
      std::snprintf(text, sizeof text, " station-%02d record %012ld", static_cast<int>(r % 97), r);
      b += text;
    }
    b += '\n';
    w.maybe_flush();
  }
  return 0;
}

int e2e_case(const std::string& folder) {
  std::filesystem::create_directories(folder);
  {
    Writer cnl(folder + "/tramel.cnl");
    char text[2048];
    std::snprintf(text, sizeof text,
                  "No. of runs = 1   No. of data/file = %d          * runs, data columns\n"
                  "Data file name =%s                     * data file\n"
                  "Coherence probability = %.4f                 * threshold\n"
                  "No. of frames = %d   No. of lags = %d            * horizon, VAR lags\n"
                  "Sampling unit =Freq+K                         * kHz mode\n"
                  "######## end of global block\n"
                  "Lower freq = %.3f   Upper freq = %.3f        * pass band, kHz\n"
                  "Resolution bandwidth = 1.0                    * Hz\n"
                  "%% taper = %.1f                                * taper percent\n"
                  "Data start = 1   Data end = 0                 * first, last datum\n"
                  "######## end of run block\n",
                  kSeries, kDataFile, static_cast<double>(kThreshold), kAhead, kLags,
                  kLowBin / static_cast<double>(kFrame), kHighBin / static_cast<double>(kFrame),
                  static_cast<double>(kTaper));
    cnl.buf() += text;
  }
  Writer w(folder + "/" + kDataFile);
  std::string& b = w.buf();
  b += "Two tones locked to the frame in white noise, 4 series\n";
  b += std::to_string(kSamples) + " 1.0  " + kFormat + "\n";
  Random rnd{2024};
  const double two_pi = 6.283185307179586;
  double phase1[kSeries], phase2[kSeries];
  for (int j = 0; j < kSeries; ++j) {
    phase1[j] = two_pi * rnd.uniform();
    phase2[j] = two_pi * rnd.uniform();
  }
  for (long t = 0; t < kSamples; ++t) {
    const double pos = static_cast<double>(t % kFrame) / kFrame;
    for (int j = 0; j < kSeries; ++j) {
      const double v = kToneAmplitude1 * std::cos(two_pi * kToneBin1 * pos + phase1[j]) +
                       kToneAmplitude2 * std::cos(two_pi * kToneBin2 * pos + phase2[j]) +
                       kNoise * rnd.normal();
      f10_3(b, v);
    }
    b += '\n';
    w.maybe_flush();
  }
  return 0;
}

// The time stamp of second `t` after 2000-01-01T00:00:00 (t below 28 days).
void stamp(std::string& out, long t) {
  char text[96];
  std::snprintf(text, sizeof text, "2000-01-%02ldT%02ld:%02ld:%02ld", 1 + t / 86400, t / 3600 % 24,
                t / 60 % 60, t % 60);
  out += text;
}

int csv_file(const std::string& dat, const std::string& csv, bool time) {
  std::FILE* in = std::fopen(dat.c_str(), "rb");
  if (!in) {
    std::perror(dat.c_str());
    return 1;
  }
  Writer w(csv);
  std::string& b = w.buf();
  std::vector<char> line(1 << 16);
  long row = -3;  // the two head lines first
  while (std::fgets(line.data(), static_cast<int>(line.size()), in)) {
    if (++row < 0) continue;
    std::vector<std::string> fields;
    for (const char* p = line.data(); *p;) {
      while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
      const char* q = p;
      while (*q && *q != ' ' && *q != '\t' && *q != '\r' && *q != '\n') ++q;
      if (q > p) fields.emplace_back(p, q);
      p = q;
    }
    if (row == 0) {
      if (time) b += "time,";
      for (std::size_t j = 0; j < fields.size(); ++j)
        b += (j ? ",series" : "series") + std::to_string(j + 1);
      b += '\n';
    }
    if (time) {
      stamp(b, row);
      b += ',';
    }
    for (std::size_t j = 0; j < fields.size(); ++j) {
      if (j) b += ',';
      b += fields[j];
    }
    b += '\n';
    w.maybe_flush();
  }
  std::fclose(in);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "reader" && argc == 6)
    return reader_file(argv[2], std::atol(argv[3]), std::atoi(argv[4]),
                       std::string(argv[5]) == "label");
  if (what == "case" && argc == 3) return e2e_case(argv[2]);
  if (what == "csv" && (argc == 4 || (argc == 5 && std::string(argv[4]) == "time")))
    return csv_file(argv[2], argv[3], argc == 5);
  std::fprintf(stderr,
               "usage: tramel_bench_gen reader FILE VALUES COLUMNS plain|label\n"
               "       tramel_bench_gen case FOLDER\n"
               "       tramel_bench_gen csv DAT CSV [time]\n");
  return 2;
}
