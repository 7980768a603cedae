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

TEST(VarSizeRule, SizeSaturatesInsteadOfOverflowing) {
  EXPECT_EQ(var_size(2, 3), 48);
  EXPECT_EQ(var_size(std::int64_t{1} << 40, 2), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(var_size(-1, 2), std::numeric_limits<std::int64_t>::max());
  EXPECT_FALSE(var_fits(std::int64_t{1} << 40, 2, std::numeric_limits<std::int64_t>::max()));
}

}  // namespace
}  // namespace tramel::rules
