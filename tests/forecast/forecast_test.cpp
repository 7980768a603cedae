// The forecast recursion and its t rule, the frame coefficients at lb/2, the forecast frames,
// and the forecast run of a series from the residual series to the report.
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

#include "support.hpp"

namespace tramel::forecast {
namespace {

using testing::blank;
using testing::cholesky_ready;
using testing::eigen_ready;
using testing::fft_ready;
using testing::formatter_ready;
using testing::lines;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// One lag, two variables, last frame (2, 3). Only coefficients whose t value is at least 1 in
// magnitude (or not a number) act.
TEST(Forvar, TRuleDropsBelowOneKeepsOneAndNaN) {
  const std::vector<float> Z{9, 9, 2, /* z2 */ 9, 9, 3};
  const struct {
    double b;
    float se;
    bool kept;
  } cases[] = {{0.999, 1.0f, false}, {-1.0, 1.0f, true},    {0.5, kNaN, true},
               {1.0, 1.0f, true},    {2.0, 2.0001f, false}, {-3.0, 2.0f, true}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.b);
    // b(1, 1) is the case under test; b(1, 2) = 0.5 with t = 5 always acts.
    const std::vector<double> c{k.b, 0.5, 0.0, 0.0};
    const std::vector<float> s{k.se, 0.1f, 1.0f, 1.0f};
    std::vector<float> R(2), state(2);
    forvar(Z, R, c, s, state, 2, 1, 1, 3);
    EXPECT_EQ(R[0], static_cast<float>((k.kept ? k.b * 2.0 : 0.0) + 0.5 * 3.0));
  }
}

TEST(Forvar, ForecastsFeedBackAndFramesBeforeTheFirstAreZero) {
  // One frame (1, 1), two lags: the lag-2 state starts at zero.
  const std::vector<float> Z{1, 1};
  const std::vector<double> c(8, 2.0);
  const std::vector<float> s(8, 1.0f);
  std::vector<float> R(6), state(4);
  forvar(Z, R, c, s, state, 2, 2, 3, 1);
  EXPECT_EQ(R[0], 4.0f);   // 2*1 + 2*1 + 2*0 + 2*0
  EXPECT_EQ(R[2], 20.0f);  // 2*(4 + 4 + 1 + 1)
  EXPECT_EQ(R[4], 96.0f);  // 2*(20 + 20 + 4 + 4)
  EXPECT_EQ(R[5], 96.0f);
}

std::vector<float> random_series(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<float> u(0.0f, 1.0f);
  std::vector<float> y(n);
  for (float& v : y) v = u(gen);
  return y;
}

TEST(Ft, BinAtHalfTheFrameHasNoImaginaryPart) {
  REQUIRE(fft_ready());
  const int lb = 10, nf = 3;
  const std::vector<float> y = random_series(lb * nf, 5);
  numeric::FftTable v;
  numeric::cffti(lb, v);
  std::vector<Complex> f(lb);
  std::vector<float> Z(nf * 4);
  const std::vector<std::int32_t> ik{3, 5};
  ft(y, Z, ik, f, v, nf, lb, 2);
  for (int t = 0; t < nf; ++t) {
    Complex b3 = 0;
    double b5 = 0;
    for (int j = 0; j < lb; ++j) {
      b3 +=
          static_cast<double>(y[t * lb + j]) * std::polar(1.0, -2 * std::numbers::pi * 3 * j / lb);
      b5 += (j % 2 ? -1.0 : 1.0) * y[t * lb + j];
    }
    EXPECT_NEAR(Z[t], b3.real(), 1e-5);
    EXPECT_NEAR(Z[nf + t], b3.imag(), 1e-5);
    EXPECT_NEAR(Z[2 * nf + t], b5, 1e-5);
    EXPECT_EQ(Z[3 * nf + t], 0.0f);
  }
}

struct Frames {
  numeric::FftTable v;
  std::vector<Complex> f, g;
  explicit Frames(int lb) : f(lb), g(lb) { numeric::cffti(lb, v); }
};

// With every forecast deviation zero the frame is the mean waveform at bin 0 and the
// significant bins, scaled about zero to the spread sd.
TEST(Forft, ZeroForecastGivesTheScaledMeanWaveform) {
  REQUIRE(fft_ready());
  const int lb = 16;
  auto wave = [&](int k, int j) { return std::cos(2 * std::numbers::pi * k * j / lb); };
  Frames w(lb);
  for (int j = 0; j < lb; ++j) w.g[j] = 1.0 + wave(2, j) + 0.5 * wave(5, j);
  numeric::cfftf(lb, w.g, w.v);
  const std::vector<std::int32_t> ik{2};  // bin 5 is left out of the forecast frame
  const std::vector<float> R(4, 0.0f);
  std::vector<float> column(2 * lb);
  forft(R, column, ik, w.f, w.g, w.v, 3.0f, lb, 1, 2);
  double s2 = 0;
  for (int j = 0; j < lb; ++j) s2 += wave(2, j) * wave(2, j);
  const double scale = 3.0 / std::sqrt(s2 / (lb - 1));
  for (int j = 0; j < lb; ++j) {
    EXPECT_NEAR(column[j], scale * (1.0 + wave(2, j)), 1e-5);
    EXPECT_EQ(column[lb + j], column[j]);
  }
}

TEST(Forft, FrameWithoutSpreadIsStoredUnscaled) {
  REQUIRE(fft_ready());
  const int lb = 8;
  Frames w(lb);
  w.g[0] = Complex(8.0, 0.0);  // a constant 1 in every sample, nothing at bin 3
  const std::vector<std::int32_t> ik{3};
  const std::vector<float> R(2, 0.0f);
  std::vector<float> column(lb, -1.0f);
  forft(R, column, ik, w.f, w.g, w.v, 2.0f, lb, 1, 1);
  for (float y : column) EXPECT_EQ(y, 1.0f);
}

// The forecast run of one series, with its own work and a residual series of noise.
struct SeriesRun {
  int lb = 16, nf = 60, m = 2, p = 1, nahead = 2, M = 2;
  std::vector<std::int32_t> ik{2, 5};
  std::vector<float> sp{0.99f, 0.995f};
  std::vector<float> y, matrix;
  std::vector<Complex> g;
  numeric::FftTable v;
  textio::Sink report, forec;

  void series(int s, unsigned seed) {
    y = random_series(static_cast<std::size_t>(lb * nf), seed);
    g.assign(lb, Complex(0.0, 0.0));
    g[0] = 4.0;
    g[2] = Complex(3.0, -1.0);
    g[5] = Complex(0.0, 2.0);
    numeric::cffti(lb, v);
    matrix.resize(static_cast<std::size_t>(nahead * lb * M));
    std::vector<double> c(4 * m * m * p);
    std::vector<float> se(c.size());
    const SeriesInput in{y,      sp, ik,           g, v, 0.75f, lb, m, lb * nf, p,
                         nahead, nf, "frames    ", 0, M, s};
    runcoh(in, matrix, c, se, report, forec);
  }
};

TEST(Runcoh, ForecastFileAfterTheLastSeriesOnly) {
  REQUIRE(fft_ready() && cholesky_ready() && eigen_ready() && formatter_ready());
  SeriesRun run;
  run.series(1, 21);
  EXPECT_TRUE(run.forec.text().empty());
  run.series(2, 22);
  const auto rec = lines(run.forec);
  ASSERT_EQ(rec.size(), static_cast<std::size_t>(run.nahead * run.lb));
  EXPECT_EQ(rec[0].substr(0, 11), "  1     1  ");
  EXPECT_EQ(rec.back().substr(0, 11), "  2    16  ");
  EXPECT_EQ(rec[0].size(), 11u + 19u);  // two values, no blank after the last
  // Every forecast frame has the spread of the mean waveform.
  for (int s = 0; s < run.M; ++s)
    for (int q = 0; q < run.nahead; ++q) {
      const float* frame = run.matrix.data() + (s * run.nahead + q) * run.lb;
      double s1 = 0, s2 = 0;
      for (int j = 0; j < run.lb; ++j) s1 += frame[j], s2 += double(frame[j]) * frame[j];
      EXPECT_NEAR(std::sqrt((s2 - s1 * s1 / run.lb) / (run.lb - 1)), 0.75, 1e-5);
    }
  // Per series: 16 coefficient lines; after the heading and its empty line, 4 eigenvalue lines
  // and an empty line.
  const auto out = lines(run.report);
  int coef = 0, heads = 0;
  for (std::size_t k = 0; k < out.size(); ++k) {
    coef += out[k].rfind("  b(", 0) == 0;
    if (out[k] != "   Magnitudes    Periods - System Eigenvalues in units of frames ") continue;
    ++heads;
    ASSERT_LT(k + 6, out.size() + 1);
    EXPECT_TRUE(blank(out[k + 1]));
    for (int i = 1; i <= 4; ++i)
      EXPECT_EQ(out[k + 1 + i].substr(0, 5), "  " + std::to_string(i) + "  ");
    EXPECT_TRUE(blank(out[k + 6]));
  }
  EXPECT_EQ(coef, 2 * 16);
  EXPECT_EQ(heads, 2);
  EXPECT_TRUE(blank(out.back()));
}

// A significant bin at lb/2 is a variable that is zero in every frame: the fit fails, the two
// messages are written and the run stops before any line of the VAR block.
TEST(Runcoh, BinAtHalfTheFrameStopsTheRun) {
  REQUIRE(fft_ready() && cholesky_ready() && formatter_ready());
  SeriesRun run;
  run.m = 1;
  run.M = 1;
  run.ik = {8};
  run.sp = {0.999f};
  EXPECT_THROW(run.series(1, 23), Stop);
  EXPECT_EQ(run.report.text(),
            " DCHOLDC failed, A is not positive definite\n"
            " Error in subroutine var ier =            1\n");
  EXPECT_TRUE(run.forec.text().empty());
}

}  // namespace
}  // namespace tramel::forecast
