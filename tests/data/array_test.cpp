// The analysis sequence: selection of significant bins, the VAR-size limit, allocation
// failures and the report blocks of a series up to the coherence step.
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data/data.hpp"
#include "support.hpp"

namespace tramel::data {
namespace {

using testing::lines;
using testing::pad;

TEST(SelectSignificant, StrictlyAboveThresholdInBandOrder) {
  struct Case {
    std::vector<float> a;
    float P;
    std::vector<float> sp;
    std::vector<std::int32_t> ik;  // with kl = 3
  };
  const Case cases[] = {
      {{0.5f, 0.95f, 0.9500001f, 1.0f}, 0.95f, {0.9500001f, 1.0f}, {5, 6}},
      {{0.95f, 0.95f}, 0.95f, {}, {}},  // equal to P: not significant
      {{0.0f, 0.3f, 0.0f}, 0.0f, {0.3f}, {4}},
      {{1.0f, 0.2f, 0.99f}, 0.5f, {1.0f, 0.99f}, {3, 5}},
  };
  for (const Case& c : cases) {
    std::vector<float> sp(c.a.size(), -1.0f);
    std::vector<std::int32_t> ik(c.a.size(), -1);
    const int m = select_significant(c.a, static_cast<int>(c.a.size()), 3, c.P, sp, ik);
    ASSERT_EQ(m, static_cast<int>(c.sp.size()));
    EXPECT_EQ(std::vector<float>(sp.begin(), sp.begin() + m), c.sp);
    EXPECT_EQ(std::vector<std::int32_t>(ik.begin(), ik.begin() + m), c.ik);
  }
}

TEST(VarSize, LimitIsTenthOfTheSample) {
  struct Case {
    int n;
    std::int64_t m, p;
    bool stops;
    const char* shown;  // the VAR size as the i6 field shows it
  };
  const Case cases[] = {
      {1000, 3, 2, false, ""},       // 72 <= 100
      {1000, 4, 2, true, "   128"},  // 128 > 100
      {999, 5, 1, true, "   100"},   // limit 99
      {1000, 5, 1, false, ""},       // 100 <= 100
      {9999999, 100000, 9999999, true, "******"},
      {9999999, 3037000500LL, 9999999, true, "******"},  // beyond 64 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.m);
    textio::Sink report;
    bool stopped = false;
    try {
      check_var_size(c.n, var_size(c.m, c.p), 0.95f, report);
    } catch (const Stop& s) {
      EXPECT_EQ(s.status, 1);
      stopped = true;
    }
    EXPECT_EQ(stopped, c.stops);
    if (!c.stops) {
      EXPECT_EQ(report.text(), "");
      continue;
    }
    char n[16];
    std::snprintf(n, sizeof n, "%7d", c.n);
    EXPECT_EQ(lines(report.text()),
              (std::vector<std::string>{
                  " Sample size " + std::string(n) +
                      " is not large enough for the dimension of the VAR " + c.shown,
                  " Increase the coherence prob. threshold  0.950"}));
  }
  EXPECT_EQ(var_size(3, 2), 72);
  EXPECT_EQ(var_size(3037000500LL, 9999999), std::numeric_limits<std::int64_t>::max());
}

// A run over an in-memory data file.
struct Harness {
  textio::Sink report, out, err, forecast;
  textio::TextFile data;
  textio::Files files{report, out, err, forecast, data};
  bool stopped = false;

  void run(const RunSpec& spec) {
    try {
      array(spec, files);
    } catch (const Stop& s) {
      EXPECT_EQ(s.status, 1);
      stopped = true;
    }
  }
};

class ArrayTest : public ::testing::Test {
 protected:
  void TearDown() override { set_memory_limit(0); }
};

RunSpec small_run(int M, int is, int ie, const char* fmt, char mode) {
  RunSpec r;
  r.is = is;
  r.ie = ie;
  r.lb = 10;
  r.kl = 1;
  r.nb = 4;
  r.p = 1;
  r.nahead = 1;
  r.P = 1.0f;  // no probability exceeds 1: every series ends at the no-frequency stop
  r.fmt = fmt;
  r.mode = mode;
  r.unit = "          ";
  r.M = M;
  return r;
}

TEST_F(ArrayTest, AllocationFailuresStopWithTheirMessage) {
  struct Case {
    const char* name;
    int M, ie;
    char mode;
    std::uint64_t limit;
    const char* message;
  };
  const Case cases[] = {
      {"below the limit", 1, 100, 'a', 1000, " Unable to allocate work space for arrays"},
      {"more than the machine has", 1000, 2000000000, 'a', 0,
       " Unable to allocate work space for arrays"},
      {"product beyond 64 bits", std::numeric_limits<int>::max(),
       std::numeric_limits<int>::max(), 'a', 0, " Unable to allocate work space for arrays"},
      // The arrays take about 20 kB, the labels 25 kB more.
      {"labels", 1, 1000, 'm', 30000, " Unable to allocate work space for array t"},
  };
  // The label stop waits for a line at the console: give it a closed one.
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    set_memory_limit(c.limit);
    Harness h;
    h.data.open_text("t\n1 1.0 (f10.3)\n");
    h.run(small_run(c.M, 1, c.ie, "(f10.3,a)", c.mode));
    EXPECT_TRUE(h.stopped);
    EXPECT_EQ(lines(h.report.text()), std::vector<std::string>{c.message});
  }
}

// Series j of the test data at datum i.
float datum(int j, int i) { return static_cast<float>(j == 1 ? i % 7 : (i * i) % 11 - 5); }

TEST_F(ArrayTest, SeriesBlocksUpToTheNoFrequencyStop) {
  const int is = 3, ie = 72, n = ie - is + 1;
  for (int M : {1, 2}) {
    SCOPED_TRACE(M);
    std::string file = "Test data\n72 1.0 (2f10.3)\n";
    for (int i = 1; i <= ie; ++i) {
      char rec[32];
      std::snprintf(rec, sizeof rec, "%10.3f%10.3f\n", datum(1, i), datum(2, i));
      file += rec;
    }
    Harness h;
    h.data.open_text(file);
    h.run(small_run(M, is, ie, pad("(2f10.3)", 50).c_str(), 'a'));
    EXPECT_TRUE(h.stopped);

    std::vector<float> y;
    for (int i = is; i <= ie; ++i) y.push_back(datum(1, i));
    Stats s;
    textio::Sink block;
    stat(n, y, s, block);
    wrstat(block, s);

    std::vector<std::string> expect;
    if (M > 1) {
      const std::string bar = std::string(15, ' ') + "|" + std::string(17, '=') + "|";
      expect = {"", bar, std::string(15, ' ') + "| Series No.   1  |", bar, ""};
    }
    expect.push_back("  " + std::string(57, '='));
    expect.push_back(std::string(14, ' ') + "Descriptive Statistics of Data");
    for (const std::string& l : lines(block.text())) expect.push_back(l);
    expect.push_back("");
    expect.push_back(" Format: " + pad("(2f10.3)", 50));
    expect.push_back("  " + std::string(57, '#'));
    expect.push_back("       No frequencies have significant coherence probabilities");
    EXPECT_EQ(lines(h.report.text()), expect);
  }
}

}  // namespace
}  // namespace tramel::data
