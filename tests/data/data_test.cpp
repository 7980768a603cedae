// The data reader, the descriptive statistics and the analysis sequence of a run.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data/data.hpp"

namespace tramel::data {
namespace {

using Lines = std::vector<std::string>;

Lines lines(const std::string& text) {
  Lines out;
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = text.find('\n', at);
    out.push_back(text.substr(at, end - at));
  }
  return out;
}

std::string pad(std::string s, std::size_t width = 50) {
  s.resize(width, ' ');
  return s;
}

// ---- datt ---------------------------------------------------------------------------------

struct Read {
  std::vector<float> x;  // columns 1..n
  std::string t, report;
  bool stopped = false;
};

Read datt_on(const char* fmt, char mode, int M, int is, int ie, const std::string& records) {
  textio::TextFile file;
  file.open_text("title\n9 1.0 " + std::string(fmt) + "\n" + records);
  std::string_view rec;
  file.next_record(rec);  // datt rewinds first
  std::vector<float> x(static_cast<std::size_t>(M) * ie, -9.0f);
  std::vector<char> t(mode == 'm' ? static_cast<std::size_t>(ie) * kLabel : 0, '?');
  textio::Sink report;
  Read r;
  try {
    datt(x, pad(fmt), t, mode, is, ie, ie - is + 1, M, file, report);
  } catch (const Stop& s) {
    r.stopped = s.status == 1;
  }
  r.x.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(M) * (ie - is + 1));
  r.t.assign(t.begin(), t.end());
  r.report = report.text();
  return r;
}

TEST(Datt, ReadsTheSampleAndNamesAnEarlyEnd) {
  struct Case {
    const char* name;
    const char* fmt;
    char mode;
    int M, is, ie;
    std::string records;
    std::vector<float> x;
    int eof_at;  // 0: no end of file
  };
  const std::string five = "       1.0\n       2.0\n       3.0\n       4.0\n       5.0\n";
  const std::string pairs = "       1.0       2.0\n       3.0       4.0\n       5.0       6.0\n";
  const Case cases[] = {
      {"plain, lines past IE unread", "(f10.3)", 'a', 1, 1, 3, five, {1, 2, 3}, 0},
      {"plain, implied decimals", "(2f5.2)", 'a', 2, 2, 3, "\n  125-4550\n   25  1.5\n",
       {1.25f, -45.5f, 0.25f, 1.5f}, 0},
      {"two records per datum", "(2f10.3)", 'a', 4, 2, 2, pairs + pairs, {5, 6, 1, 2}, 0},
      {"short records give zeros", "(3f10.3)", 'a', 3, 1, 2, "       1.0\n\n", {1, 0, 0, 0, 0, 0}, 0},
      {"plain, ends in the skip", "(f10.3)", 'a', 1, 7, 8, five, {0, 0}, 6},
      {"plain, ends inside a datum", "(2f10.3)", 'a', 4, 1, 2, pairs, {1, 2, 3, 4, 5, 6, 0, 0}, 2},
      {"label, ends before IE", "(f10.3,a)", 'm', 1, 4, 6, five, {4, 5, 0}, 6},
      {"label, ends in the skip", "(f10.3,a)", 'm', 1, 7, 7, five, {0}, 6},
      {"label, ends inside a datum", "(f10.3,/,f10.3,a)", 'm', 2, 1, 3, five,
       {1, 2, 3, 4, 5, 0}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = datt_on(c.fmt, c.mode, c.M, c.is, c.ie, c.records);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.x, c.x);
    char i[16];
    std::snprintf(i, sizeof i, "%11d", c.eof_at);
    EXPECT_EQ(r.report, c.eof_at == 0 ? ""
                                      : " **** eof in read from data file \n i =  " + std::string(i) + "\n");
  }
}

TEST(Datt, LabelsAreKeptByDatumNumber) {
  const Read r = datt_on("(f10.3,1x,a25)", 'm', 1, 2, 3, "       1.0 first\n       2.0 second\n"
                                                          "       3.0 a label longer than 25 columns\n");
  EXPECT_EQ(r.t, pad("first", 25) + pad("second", 25) + "a label longer than 25 co");
  EXPECT_EQ(r.x, (std::vector<float>{2, 3}));
}

// A conversion error in a datum that is skipped or followed by a label stops the run too.
TEST(Datt, ConversionErrorStopsWithTheFormat) {
  const std::string bad = "       1.0\n      2.x0\n       3.0\n";
  const struct { const char* fmt; char mode; int is, ie; } cases[] = {
      {"(f10.3)", 'a', 3, 3}, {"(f10.3,a)", 'm', 1, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fmt);
    const Read r = datt_on(c.fmt, c.mode, 1, c.is, c.ie, bad);
    EXPECT_TRUE(r.stopped);
    const Lines got = lines(r.report);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], " ** Error in read of data file         5010");
    EXPECT_EQ(got[1], " Check format" + pad(c.fmt));
  }
}

// ---- stat, wrstat -------------------------------------------------------------------------

TEST(Stat, MomentsOfOneToFive) {
  // Far from zero the sums need double accumulation and the moments the double mean.
  for (float shift : {0.0f, 1.0e6f}) {
    Stats s;
    textio::Sink report;
    stat(5, std::vector<float>{shift + 1, shift + 2, shift + 3, shift + 4, shift + 5}, s, report);
    EXPECT_EQ(s.mean, shift + 3);
    EXPECT_FLOAT_EQ(s.sd, std::sqrt(2.5f));
    EXPECT_EQ(s.skew, 0.0f);
    EXPECT_FLOAT_EQ(s.kurt, 6.8f / 6.25f - 3);  // m4 / m2^2 - 3 with the n-1 variance
    EXPECT_FLOAT_EQ(s.c6, 26.0f / 15.625f - 15 * (6.8f / 6.25f - 3) - 15);
    EXPECT_EQ(report.text(), "");
  }
}

// ---- array ----------------------------------------------------------------------------------

TEST(Array, SelectionIsStrictlyAboveTheThreshold) {
  const std::vector<float> a = {0.5f, 0.95f, 0.9500001f, 1.0f, 0.95f};
  std::vector<float> sp(5, -1);
  std::vector<std::int32_t> ik(5, -1);
  ASSERT_EQ(select_significant(a, 5, 3, 0.95f, sp, ik), 2);
  EXPECT_EQ(sp[0], 0.9500001f);
  EXPECT_EQ(sp[1], 1.0f);
  EXPECT_EQ(ik[0], 5);
  EXPECT_EQ(ik[1], 6);
}

TEST(Array, VarSizeLimitIsATenthOfTheSample) {
  const struct { int n; std::int64_t m, p; const char* shown; } cases[] = {
      {1000, 5, 1, nullptr}, {999, 5, 1, "   100"},  // 100 <= 1000/10, > 999/10
      {9999999, 3037000500LL, 9999999, "******"}};  // beyond 64 bits
  for (const auto& c : cases) {
    SCOPED_TRACE(c.m);
    textio::Sink report;
    bool stopped = false;
    try {
      check_var_size(c.n, var_size(c.m, c.p), 0.95f, report);
    } catch (const Stop&) {
      stopped = true;
    }
    EXPECT_EQ(stopped, c.shown != nullptr);
    char n[8];
    std::snprintf(n, sizeof n, "%7d", c.n);
    EXPECT_EQ(report.text(), c.shown ? " Sample size " + std::string(n) +
                                           " is not large enough for the dimension of the VAR " +
                                           c.shown + "\n Increase the coherence prob. threshold  0.950\n"
                                     : "");
  }
}

// Extents whose product overflows 64 bits are an allocation that cannot be made.
TEST(Array, AllocationBeyond64BitsStops) {
  textio::Sink report, out, err, forecast;
  textio::TextFile data;
  data.open_text("t\n1 1.0 (f10.3)\n");
  textio::Files files{report, out, err, forecast, data};
  const int big = std::numeric_limits<int>::max();
  const RunSpec spec{.ie = big, .is = 1, .lb = 10, .kl = 1, .nb = 4, .p = 1, .nahead = 1,
                     .P = 1.0f, .fmt = "(f10.3)", .mode = 'a', .unit = "", .M = big};
  EXPECT_THROW(array(spec, files), Stop);
  EXPECT_EQ(report.text(), " Unable to allocate work space for arrays\n");
}

}  // namespace
}  // namespace tramel::data
