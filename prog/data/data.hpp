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

// Reads data is..ie into columns 1..n of x (M rows, column-major) and, in label mode, the
// labels into t (indexed by datum number, 25 characters each).
void datt(std::span<float> x, std::string_view fmt, std::span<char> t, char mode, int is,
          int ie, int n, int M, textio::TextFile& data, textio::Sink& report);

// Descriptive statistics of one series, in the order they are reported.
struct Stats {
  float mean = 0, sd = 0, skew = 0, kurt = 0, c6 = 0, max = 0, min = 0;
};
void stat(int n, std::span<const float> x, Stats& s, textio::Sink& report);
void wrstat(textio::Sink& report, const Stats& s);

}  // namespace tramel::data
