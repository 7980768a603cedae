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

// Each model's least sample at its edge: as-specified 7 frames of 5 and 4 frames before a
// backtest origin; the models that follow the level 3 frames of 4, and smooth and auto 2 frames
// before an origin (changes and levels keep 4).
TEST(ModelExtent, EachModelsLeastFramesAndFrameLength) {
  const struct {
    Model model;
    int frames;        // whole frames the analysis needs
    int frame_length;  // samples a frame needs
    int before_origin; // frames before a backtest origin
  } cases[] = {
      {Model::AsSpecified, 7, 5, 4}, {Model::Changes, 3, 4, 4}, {Model::Levels, 3, 4, 4},
      {Model::Smooth, 3, 4, 2},      {Model::Auto, 3, 4, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.model));
    EXPECT_FALSE(whole_frames(std::int64_t{c.frames} * 12, 12, c.model));
    EXPECT_TRUE(whole_frames(std::int64_t{c.frames} * 12 - 1, 12, c.model));
    EXPECT_FALSE(frame_length(c.frame_length, c.model));
    EXPECT_TRUE(frame_length(c.frame_length - 1, c.model));
    EXPECT_FALSE(backtest_origins(5, 5 + c.before_origin, c.model));
    EXPECT_TRUE(backtest_origins(5, 4 + c.before_origin, c.model));
  }
}

// The week is a second cycle for frames of a day of data sampled hourly or faster only.
TEST(TwoCycles, AFrameOfADayOfHourlyOrFasterData) {
  const struct {
    double step_seconds;
    std::int64_t frame_length;
    int frames_per_week;
  } cases[] = {
      {3600.0, 24, 7},         // hours in frames of a day
      {1800.0, 48, 7},         // half hours
      {60.0, 1440, 7},         // minutes
      {3600.000001, 24, 7},    // a mean step that rounding moves
      {3600.0, 168, 0},        // frames of a week
      {3600.0, 12, 0},         // half a day
      {7200.0, 12, 0},         // a day of two-hourly data: slower than hourly
      {86400.0, 7, 0},         // daily data in weeks
      {0.0, 24, 0},            // no step (calendar months)
  };
  for (const auto& c : cases)
    EXPECT_EQ(frames_per_week(c.step_seconds, c.frame_length), c.frames_per_week)
        << c.step_seconds << " s x " << c.frame_length;
}

}  // namespace
}  // namespace tramel::rules
