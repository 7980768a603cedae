// The analysis of a series: its descriptive statistics, and the analysis as a library call.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/analysis.hpp"

namespace tramel::analysis {
namespace {

// ---- Descriptive statistics ---------------------------------------------------------------

TEST(DescribeSeries, MomentsOfOneToFive) {
  // Far from zero the sums need double accumulation and the moments the double mean.
  for (float shift : {0.0f, 1.0e6f}) {
    SCOPED_TRACE(shift);
    const std::vector<float> v = {shift + 5, shift + 2, shift + 3, shift + 1, shift + 4};
    const Statistics s = describe_series(v);
    EXPECT_FALSE(s.zero_variance);
    EXPECT_EQ(s.mean, shift + 3);
    EXPECT_FLOAT_EQ(s.std_dev, std::sqrt(2.5f));
    EXPECT_EQ(s.skewness, 0.0f);
    EXPECT_FLOAT_EQ(s.kurtosis, 6.8f / 6.25f - 3);  // m4 / m2^2 - 3 with the n-1 variance
    EXPECT_FLOAT_EQ(s.c6, 26.0f / 15.625f - 15 * (6.8f / 6.25f - 3) - 15);
    EXPECT_EQ(s.max, shift + 5);
    EXPECT_EQ(s.min, shift + 1);
  }
}

// No spread: the standard deviation is 1 and the moments 0; mean and extremes as they are.
TEST(DescribeSeries, ZeroVariance) {
  const struct {
    const char* name;
    std::vector<float> v;
    float mean, max, min;
  } cases[] = {
      {"no values", {}, 0, 0, 0},
      {"one value", {-3}, -3, -3, -3},
      {"constant", {2, 2, 2, 2}, 2, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Statistics s = describe_series(c.v);
    EXPECT_TRUE(s.zero_variance);
    EXPECT_EQ(s.std_dev, 1.0f);
    EXPECT_EQ(s.mean, c.mean);
    EXPECT_EQ(s.max, c.max);
    EXPECT_EQ(s.min, c.min);
    EXPECT_EQ(s.skewness, 0.0f);
    EXPECT_EQ(s.kurtosis, 0.0f);
    EXPECT_EQ(s.c6, 0.0f);
  }
}

}  // namespace
}  // namespace tramel::analysis
