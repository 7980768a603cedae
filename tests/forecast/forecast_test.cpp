// The frame coefficients, the forecast recursion and its t rule, the forecast frames, and the
// eigenvalues of the fitted system.
#include "forecast/forecast.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace tramel::forecast {
namespace {

// Real and imaginary part of each bin of every whole frame, rounded to single, variable after
// variable; the samples after the last whole frame take no part. At lb/2 the imaginary part is
// exactly zero, although the transform leaves a rounding residue there.
TEST(FrameCoefficients, BinsOfEveryWholeFrame) {
  const int lb = 40, frames = 6;
  const std::vector<int> bins = {3, 17, lb / 2};
  std::mt19937 gen(5);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> residual(lb * frames + lb - 1);
  for (float& v : residual) v = u(gen);
  const numeric::FftPlan plan(lb);
  const FrameCoefficients z = frame_coefficients(residual, bins, plan);
  ASSERT_EQ(z.frames, frames);
  ASSERT_EQ(z.variables, 6);
  ASSERT_EQ(z.values.size(), static_cast<std::size_t>(frames * 6));
  bool residue = false;
  for (int t = 0; t < frames; ++t) {
    std::vector<Complex> f(residual.begin() + t * lb, residual.begin() + (t + 1) * lb);
    plan.forward(f);
    for (int k = 0; k < 3; ++k) {
      SCOPED_TRACE(::testing::Message() << "frame " << t << " bin " << bins[k]);
      EXPECT_EQ(z.at(t, 2 * k), static_cast<float>(f[bins[k]].real()));
      if (bins[k] == lb / 2) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(z.at(t, 2 * k + 1)), 0u);
        residue = residue || f[bins[k]].imag() != 0.0;
      } else {
        EXPECT_EQ(z.at(t, 2 * k + 1), static_cast<float>(f[bins[k]].imag()));
      }
    }
  }
  EXPECT_TRUE(residue);  // else the zero at lb/2 would prove nothing
}

// One lag, two variables, last frame (2, 3); b(1, 2) = 0.5 with t = 5 always acts.
TEST(Forecast, TRuleDropsBelowOneKeepsOneAndNaN) {
  const FrameCoefficients data{3, 2, {9, 9, 2, /* variable 2 */ 9, 9, 3}};
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
    const VarFit fit{2, 1, {k.b, 0.5, 0.0, 0.0}, {k.se, 0.1f, 1.0f, 1.0f}, 0.0f};
    const std::vector<float> r = forecast_coefficients(data, fit, 1);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], float((k.kept ? k.b * 2.0 : 0.0) + 0.5 * 3.0)) << k.b;
  }
}

TEST(Forecast, ForecastsFeedBackAndFramesBeforeTheFirstAreZero) {
  const FrameCoefficients data{1, 2, {1, 1}};  // one frame, two lags
  const VarFit fit{2, 2, std::vector<double>(8, 2.0), std::vector<float>(8, 1.0f), 0.0f};
  const std::vector<float> r = forecast_coefficients(data, fit, 3);
  ASSERT_EQ(r.size(), 6u);
  EXPECT_EQ(r[0], 4.0f);   // 2*1 + 2*1 + 2*0 + 2*0
  EXPECT_EQ(r[2], 20.0f);  // 2*(4 + 4 + 1 + 1)
  EXPECT_EQ(r[5], 96.0f);  // 2*(20 + 20 + 4 + 4)
}

// Every forecast deviation zero: the mean waveform at bin 0 and the significant bins only,
// scaled about zero to the mean waveform's standard deviation; every frame alike.
TEST(Synthesis, ZeroForecastGivesTheScaledMeanWaveform) {
  const int lb = 16;
  auto cosine = [&](int k, int j) { return std::cos(2 * std::numbers::pi * k * j / lb); };
  const numeric::FftPlan plan(lb);
  std::vector<Complex> g(lb);
  for (int j = 0; j < lb; ++j) g[j] = 1.0 + cosine(2, j) + 0.5 * cosine(5, j);
  plan.forward(g);
  const std::vector<int> bins{2};
  const std::vector<float> frames =
      synthesize_frames(std::vector<float>(4, 0.0f), WaveformSpectrum{g, 3.0f, bins}, plan);
  ASSERT_EQ(frames.size(), static_cast<std::size_t>(2 * lb));
  const double scale = 3.0 / std::sqrt(8.0 / (lb - 1));  // sum of cos^2 at bin 2 is lb/2
  for (int j = 0; j < lb; ++j) {
    EXPECT_NEAR(frames[j], scale * (1.0 + cosine(2, j)), 1e-5);
    EXPECT_EQ(frames[lb + j], frames[j]);
  }
}

TEST(Synthesis, FrameWithoutSpreadIsKeptUnscaled) {
  const int lb = 8;
  const numeric::FftPlan plan(lb);
  std::vector<Complex> g(lb);
  g[0] = 8.0;  // a constant 1 in every sample, nothing at bin 3
  const std::vector<int> bins{3};
  const std::vector<float> frames =
      synthesize_frames(std::vector<float>(2, 0.0f), WaveformSpectrum{g, 2.0f, bins}, plan);
  ASSERT_EQ(frames.size(), static_cast<std::size_t>(lb));
  for (float y : frames) EXPECT_EQ(y, 1.0f);
}

// The companion matrix of B_1 .. B_p: its eigenvalues with their magnitudes and periods in
// frames (2 pi over the angle, signed like it; 0 for a real eigenvalue). A complex pair takes
// the negative imaginary part at the lower index.
TEST(Eigenvalues, MagnitudesAndPeriodsOfTheCompanionMatrix) {
  const double r = 0.8, theta = 2 * std::numbers::pi / 5;  // a rotation of period 5 frames
  const VarFit rotation{2, 1,
                        {r * std::cos(theta), -r * std::sin(theta), r * std::sin(theta),
                         r * std::cos(theta)},
                        std::vector<float>(4, 1.0f), 0.0f};
  const Eigenvalues e = companion_eigenvalues(rotation);
  ASSERT_TRUE(e.converged);
  ASSERT_EQ(e.values.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    const double sign = i == 0 ? -1.0 : 1.0;
    EXPECT_NEAR(e.values[i].real, r * std::cos(theta), 1e-6) << i;
    EXPECT_NEAR(e.values[i].imag, sign * r * std::sin(theta), 1e-6) << i;
    EXPECT_NEAR(e.values[i].magnitude, r, 1e-6) << i;
    EXPECT_NEAR(e.values[i].period, sign * 5.0, 1e-5) << i;
  }

  // Two lags, the second zero: the companion matrix adds two zero eigenvalues.
  const VarFit real{2, 2, {0.5, 0.0, 0.0, 0.0, /* equation 2 */ 0.0, -0.25, 0.0, 0.0},
                    std::vector<float>(8, 1.0f), 0.0f};
  const Eigenvalues f = companion_eigenvalues(real);
  ASSERT_TRUE(f.converged);
  ASSERT_EQ(f.values.size(), 4u);
  std::vector<float> magnitudes;
  for (const Eigenvalue& v : f.values) {
    EXPECT_EQ(v.imag, 0.0f);
    EXPECT_EQ(v.period, 0.0f);
    EXPECT_EQ(v.magnitude, std::fabs(v.real));
    magnitudes.push_back(v.magnitude);
  }
  std::sort(magnitudes.begin(), magnitudes.end());
  EXPECT_EQ(magnitudes, std::vector<float>({0.0f, 0.0f, 0.25f, 0.5f}));
}

// Coefficients that are not numbers keep the solver from isolating anything: it gives up, and
// the eigenvalues it did not reach read as zero.
TEST(Eigenvalues, SolverThatGivesUpLeavesZeros) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const VarFit fit{2, 2, std::vector<double>(8, nan), std::vector<float>(8, 1.0f), 0.0f};
  const Eigenvalues e = companion_eigenvalues(fit);
  EXPECT_FALSE(e.converged);
  ASSERT_EQ(e.values.size(), 4u);
  for (const Eigenvalue& v : e.values) {
    EXPECT_EQ(v.real, 0.0f);
    EXPECT_EQ(v.imag, 0.0f);
    EXPECT_EQ(v.magnitude, 0.0f);
    EXPECT_EQ(v.period, 0.0f);
  }
}

}  // namespace
}  // namespace tramel::forecast
