// Data and statistics: the data file reader, the descriptive statistics of a series, and the
// analysis sequence of one run, which owns the run's work arrays and walks the series.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::data {

// The settings of one run as the analysis sequence receives them.
struct RunSpec {
  int ie = 0;             // last datum used
  int is = 0;             // first datum used
  int lb = 0;             // frame length
  int kl = 0;             // first bin of the pass band
  int nb = 0;             // number of bins in the band
  int p = 0;              // VAR lags
  int nahead = 0;         // frames to forecast
  int iunit = 0;          // 0 time, 1 kHz, 2 Hz
  float pct = 0.0f;       // taper percentage
  float P = 0.0f;         // coherence threshold probability
  std::string_view fmt;   // the data file's format text, 50 characters
  char mode = 'a';        // 'm': label mode
  std::string_view unit;  // unit text, 10 characters
  int M = 0;              // number of series
};

// One analysis run, from reading the data to the forecast of every series.
void array(const RunSpec& run, textio::Files& files);

// The most memory, in bytes, that the work arrays of a run may take together; a run that
// needs more fails its allocation with the allocation message instead of exhausting the
// machine. 0 (the default) means the machine's physical memory.
void set_memory_limit(std::uint64_t bytes);

// Label length in label mode: each label takes kLabel characters of t.
inline constexpr int kLabel = 25;

// Reads data is..ie into columns 1..n of x (M rows, column-major) and, in label mode, the
// labels into t (indexed by datum number, 25 characters each). x holds at least M*ie values,
// t at least 25*ie characters in label mode. Columns that an early end of file leaves unread
// are zero.
void datt(std::span<float> x, std::string_view fmt, std::span<char> t, char mode, int is,
          int ie, int n, int M, textio::TextFile& data, textio::Sink& report);

// Descriptive statistics of one series, in the order they are reported.
struct Stats {
  float mean = 0, sd = 0, skew = 0, kurt = 0, c6 = 0, max = 0, min = 0;
};
void stat(int n, std::span<const float> x, Stats& s, textio::Sink& report);
void wrstat(textio::Sink& report, const Stats& s);

// The significant frequencies: every band position k (bin kl+k-1) whose probability a(k)
// is strictly greater than P, in band order, into sp and ik. Returns their number m.
int select_significant(std::span<const float> a, int nb, int kl, float P, std::span<float> sp,
                       std::span<std::int32_t> ik);

// The VAR size 4*m*m*p, saturated at the largest 64-bit value when it would overflow.
std::int64_t var_size(std::int64_t m, std::int64_t p);

// Stops the run, with the two sample-size lines, when the VAR size exceeds n div 10.
void check_var_size(int n, std::int64_t size, float P, textio::Sink& report);

}  // namespace tramel::data
