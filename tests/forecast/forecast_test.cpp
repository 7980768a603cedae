// The forecast recursion and its t rule, and the forecast frames.
#include "forecast/forecast.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace tramel::forecast {
namespace {

// One lag, two variables, last frame (2, 3); b(1, 2) = 0.5 with t = 5 always acts.
TEST(Forvar, TRuleDropsBelowOneKeepsOneAndNaN) {
  const std::vector<float> Z{9, 9, 2, /* z2 */ 9, 9, 3};
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    double b;
    float se;
    bool kept;
  } cases[] = {{0.999, 1.0f, false},
               {-1.0, 1.0f, true},
               {0.5, nan, true},
               {1.0, 1.0f, true},
               {2.0, 2.0001f, false}};
  for (const auto& k : cases) {
    const std::vector<double> c{k.b, 0.5, 0.0, 0.0};
    const std::vector<float> s{k.se, 0.1f, 1.0f, 1.0f};
    std::vector<float> R(2), state(2);
    forvar(Z, R, c, s, state, 2, 1, 1, 3);
    EXPECT_EQ(R[0], float((k.kept ? k.b * 2.0 : 0.0) + 0.5 * 3.0)) << k.b;
  }
}

TEST(Forvar, ForecastsFeedBackAndFramesBeforeTheFirstAreZero) {
  const std::vector<float> Z{1, 1};  // one frame, two lags
  const std::vector<double> c(8, 2.0);
  const std::vector<float> s(8, 1.0f);
  std::vector<float> R(6), state(4);
  forvar(Z, R, c, s, state, 2, 2, 3, 1);
  EXPECT_EQ(R[0], 4.0f);   // 2*1 + 2*1 + 2*0 + 2*0
  EXPECT_EQ(R[2], 20.0f);  // 2*(4 + 4 + 1 + 1)
  EXPECT_EQ(R[5], 96.0f);  // 2*(20 + 20 + 4 + 4)
}

struct Transform {
  numeric::FftTable v;
  std::vector<Complex> f, g;
  explicit Transform(int lb) : f(lb), g(lb) { numeric::cffti(lb, v); }
};

// Every forecast deviation zero: the mean waveform at bin 0 and the significant bins only,
// scaled about zero to the spread sd; every frame alike.
TEST(Forft, ZeroForecastGivesTheScaledMeanWaveform) {
  const int lb = 16;
  auto wave = [&](int k, int j) { return std::cos(2 * std::numbers::pi * k * j / lb); };
  Transform w(lb);
  for (int j = 0; j < lb; ++j) w.g[j] = 1.0 + wave(2, j) + 0.5 * wave(5, j);
  numeric::cfftf(lb, w.g, w.v);
  std::vector<float> column(2 * lb);
  forft(std::vector<float>(4, 0.0f), column, std::vector<std::int32_t>{2}, w.f, w.g, w.v, 3.0f, lb,
        1, 2);
  const double scale = 3.0 / std::sqrt(8.0 / (lb - 1));  // sum of cos^2 at bin 2 is lb/2
  for (int j = 0; j < lb; ++j) {
    EXPECT_NEAR(column[j], scale * (1.0 + wave(2, j)), 1e-5);
    EXPECT_EQ(column[lb + j], column[j]);
  }
}

TEST(Forft, FrameWithoutSpreadIsStoredUnscaled) {
  const int lb = 8;
  Transform w(lb);
  w.g[0] = 8.0;  // a constant 1 in every sample, nothing at bin 3
  std::vector<float> column(lb);
  forft(std::vector<float>(2, 0.0f), column, std::vector<std::int32_t>{3}, w.f, w.g, w.v, 2.0f, lb,
        1, 1);
  for (float y : column) EXPECT_EQ(y, 1.0f);
}

}  // namespace
}  // namespace tramel::forecast
