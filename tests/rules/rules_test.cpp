// The rules of the models' sizes at their edges. (The words of the settings' rules are checked
// through every face by the table in tests/settings_rules.json.)
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "rules/rules.hpp"

namespace tramel::rules {
namespace {

// 4 m^2 p against a tenth of the sample, n div 10: equal fits, one more coefficient does not.
TEST(VarSizeRule, FitsUpToATenthOfTheSample) {
  const struct {
    std::int64_t bins, lags, samples;
    bool fits;
  } cases[] = {
      {2, 3, 480, true},   // 48 = 480 / 10
      {2, 3, 489, true},   // 48 = 489 div 10
      {2, 3, 479, false},  // 47
      {1, 1, 40, true},
      {1, 1, 39, false},
      {0, 5, 0, true},     // no bin: nothing to estimate
  };
  for (const auto& c : cases)
    EXPECT_EQ(var_fits(c.bins, c.lags, c.samples), c.fits) << c.bins << " " << c.lags << " " << c.samples;
  EXPECT_EQ(most_var_bins(1, 2000), 7);  // 4 * 49 = 196 <= 200 < 4 * 64
  EXPECT_EQ(most_var_bins(2, 2000), 5);  // 200 <= 200
  EXPECT_EQ(most_var_bins(0, 2000), 7);  // lags below 1 count as 1
}

// P = 1 - 0.05 / bins over the band, rounded up to six decimals, between 0.99 and 0.999999;
// the chance bins are bins x (1 - P), at most 0.05 (to the float's last digit) where P is not
// held at its bounds.
TEST(BandThreshold, HoldsTheChanceBinsOverTheBand) {
  const struct {
    std::int64_t bins;
    float threshold;
  } cases[] = {
      {0, 0.99f},        {1, 0.99f},       {5, 0.99f},  // 1 - 0.05 / 5 = 0.99 itself
      {6, 0.991667f},    {39, 0.998718f},  // 0.0012820... rounded down to 0.001282
      {59, 0.999153f},   {419, 0.999881f}, {50000, 0.999999f}, {1000000, 0.999999f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bins);
    EXPECT_EQ(band_threshold(c.bins), c.threshold);
    if (c.bins >= 5 && c.bins < 50000) {
      EXPECT_LE(chance_bins(c.bins, band_threshold(c.bins)), 0.05 + static_cast<double>(c.bins) * 6e-8);
      EXPECT_GT(chance_bins(c.bins, band_threshold(c.bins)), 0.049);
    }
  }
  EXPECT_NEAR(chance_bins(419, 0.99f), 4.19, 1e-5);
}

TEST(VarSizeRule, SizeSaturatesInsteadOfOverflowing) {
  EXPECT_EQ(var_size(2, 3), 48);
  EXPECT_EQ(var_size(std::int64_t{1} << 40, 2), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(var_size(-1, 2), std::numeric_limits<std::int64_t>::max());
  EXPECT_FALSE(var_fits(std::int64_t{1} << 40, 2, std::numeric_limits<std::int64_t>::max()));
}

}  // namespace
}  // namespace tramel::rules
