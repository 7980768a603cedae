// Descriptive statistics: the values and the four report records.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data/data.hpp"
#include "support.hpp"

namespace tramel::data {
namespace {

using testing::lines;

const std::string kRule = "  " + std::string(57, '=');
const std::string kZeroVariance = " Variance in STAT = 0 & is set = 1.";

struct Result {
  Stats s;
  std::vector<std::string> report;
};

Result compute(const std::vector<float>& x) {
  Result r;
  textio::Sink report;
  stat(static_cast<int>(x.size()), x, r.s, report);
  wrstat(report, r.s);
  r.report = lines(report.text());
  return r;
}

TEST(Stat, MomentsOfOneToFive) {
  // The same spread far from zero: the sums need double accumulation and the moments the
  // double mean, or the shifted series loses its variance.
  for (float shift : {0.0f, 1.0e6f}) {
    SCOPED_TRACE(shift);
    const Result r = compute({shift + 1, shift + 2, shift + 3, shift + 4, shift + 5});
    EXPECT_EQ(r.s.mean, shift + 3);
    EXPECT_FLOAT_EQ(r.s.sd, std::sqrt(2.5f));
    EXPECT_EQ(r.s.skew, 0.0f);
    EXPECT_FLOAT_EQ(r.s.kurt, 34.0f / (5 * 6.25f) - 3);
    EXPECT_FLOAT_EQ(r.s.c6, 130.0f / (5 * 15.625f) - 15 * (34.0f / (5 * 6.25f) - 3) - 15);
    EXPECT_EQ(r.s.max, shift + 5);
    EXPECT_EQ(r.s.min, shift + 1);
  }
  EXPECT_EQ(compute({1, 2, 3, 4, 5}).report,
            (std::vector<std::string>{
                kRule, "",
                " Mean =    3.00           Std Dev =    1.58    ", "",
                " Skew =  0.00        Kurtosis = -1.91        C(6) =    15.344", "",
                " Max value =    5.00           Min value =    1.00    "}));
}

TEST(Stat, SkewedSeries) {
  // 0, 0, 0, 4: mean 1, h = 12, s = 2; T3 = 3*(-1) + 27 = 24, T4 = 3 + 81 = 84,
  // T6 = 3 + 729 = 732.
  const Result r = compute({0, 4, 0, 0});
  const double skew = 24.0 / (4 * 8.0), kurt = 84.0 / (4 * 16.0) - 3;
  EXPECT_FLOAT_EQ(r.s.sd, 2.0f);
  EXPECT_FLOAT_EQ(r.s.skew, static_cast<float>(skew));
  EXPECT_FLOAT_EQ(r.s.kurt, static_cast<float>(kurt));
  EXPECT_FLOAT_EQ(r.s.c6, static_cast<float>(732.0 / (4 * 64.0) - 15 * kurt - 10 * skew * skew - 15));
  EXPECT_EQ(r.s.max, 4.0f);
  EXPECT_EQ(r.s.min, 0.0f);
}

TEST(Stat, ZeroVarianceReturnsEarly) {
  const std::vector<std::vector<float>> cases = {{2.5f, 2.5f, 2.5f}, {-7.0f}};
  for (const auto& x : cases) {
    SCOPED_TRACE(x.size());
    const Result r = compute(x);
    EXPECT_EQ(r.s.mean, x[0]);
    EXPECT_EQ(r.s.sd, 1.0f);
    EXPECT_EQ(r.s.skew, 0.0f);
    EXPECT_EQ(r.s.kurt, 0.0f);
    EXPECT_EQ(r.s.c6, 0.0f);
    EXPECT_EQ(r.s.max, x[0]);
    EXPECT_EQ(r.s.min, x[0]);
    ASSERT_EQ(r.report.size(), 8u);
    EXPECT_EQ(r.report[0], kZeroVariance);
    EXPECT_EQ(r.report[3].substr(26), "Std Dev =    1.00    ");
    EXPECT_EQ(r.report[5], " Skew =  0.00        Kurtosis =  0.00        C(6) =     0.000");
  }
}

}  // namespace
}  // namespace tramel::data
