// The VAR fit: the one-block fit against the full normal matrix, too few frames, a singular
// normal matrix, the least-squares standard errors, and the fit grown over nested samples.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

FrameCoefficients random_data(int nf, int nv, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  FrameCoefficients data{nf, nv, std::vector<float>(static_cast<std::size_t>(nf) * nv)};
  for (float& z : data.values) z = u(gen);
  return data;
}

struct FullFit {
  bool positive_definite = false;
  std::vector<double> c;
  std::vector<float> s;
  float rsq = 0;
};

// The normal matrix of all nc coefficients built entry by entry, factored, solved and
// inverted whole; residuals and standard errors by the same rules.
FullFit full_solve(const FrameCoefficients& data, int p) {
  const int nv = data.variables, nf = data.frames;
  const int nr = nv * p, nc = nv * nr;
  auto z = [&](int j, int t) { return data.at(t - 1, j - 1); };
  std::vector<double> G(nc * nc, 0.0), rhs(nc, 0.0), pd(nc, 0.0);
  double sst = 0;
  for (int i = 1; i <= nv; ++i)
    for (int l = 0; l <= p; ++l)
      for (int j = 1; j <= nv; ++j) {
        long double sum = 0;
        for (int t = 1; t <= nf - l; ++t) sum += static_cast<long double>(z(i, t + l)) * z(j, t);
        if (l == 0 && j == i) sst += double(sum);
        const double v = double(sum) * (1.0 / nf);
        if (l >= 1) rhs[(i - 1) * nr + (l - 1) * nv + j - 1] = v;
        for (int k = 1; k <= nv && l < p; ++k)
          for (int s = 0; s <= p - l - 1; ++s)
            G[((k - 1) * nr + (s + l) * nv + j - 1) * nc + (k - 1) * nr + s * nv + i - 1] = v;
      }
  FullFit r;
  r.c.resize(nc);
  r.s.resize(nc);
  r.positive_definite = numeric::cholesky_factor(G, nc, pd);
  numeric::cholesky_solve(G, nc, pd, rhs, r.c);
  double ssr = 0;
  std::vector<float> sigma(nv);
  for (int i = 1; i <= nv; ++i) {
    long double ssri = 0;
    for (int t = p + 1; t <= nf; ++t) {
      long double S = 0;
      for (int u = 1; u <= nr; ++u)
        S += static_cast<long double>(r.c[(i - 1) * nr + u - 1]) *
             z((u - 1) % nv + 1, t - (u - 1) / nv - 1);
      const long double e = z(i, t) - S;
      ssr = double(ssr + e * e);
      ssri += float(e * e);
    }
    sigma[i - 1] = float(std::sqrt(ssri * static_cast<long double>(1.0 / (nf - nr))));
  }
  r.rsq = 1.0f - float(ssr / sst);
  numeric::cholesky_inverse(G, nc, pd);
  for (int g = 0; g < nc; ++g) r.s[g] = sigma[g / nr] * float(std::sqrt(G[g * nc + g]));
  return r;
}

TEST(Fit, OneBlockEqualsFullSystemBitForBit) {
  for (int m = 1; m <= 3; ++m)
    for (int p = 1; p <= 3; ++p) {
      SCOPED_TRACE("m = " + std::to_string(m) + ", p = " + std::to_string(p));
      const int nv = 2 * m, nf = nv * p + 17;
      const FrameCoefficients data = random_data(nf, nv, static_cast<unsigned>(10 * m + p));
      const std::optional<VarFit> block = fit_var(data, p, StandardErrors::Traditional);
      const FullFit full = full_solve(data, p);
      ASSERT_TRUE(block.has_value());
      ASSERT_TRUE(full.positive_definite);
      EXPECT_EQ(block->variables, nv);
      EXPECT_EQ(block->lags, p);
      ASSERT_EQ(block->coefficients.size(), full.c.size());
      ASSERT_EQ(block->std_errors.size(), full.s.size());
      EXPECT_EQ(0, std::memcmp(block->coefficients.data(), full.c.data(),
                               full.c.size() * sizeof(double)));
      EXPECT_EQ(0, std::memcmp(block->std_errors.data(), full.s.data(),
                               full.s.size() * sizeof(float)));
      EXPECT_EQ(0, std::memcmp(&block->r_square, &full.rsq, sizeof(float)));
    }
}

// The divisor of the residual variance with 2 variables and 4 lags (8 regressors): frames -
// regressors traditionally, frames - lags - regressors with least squares. At zero or below
// the fit says so, and its standard errors are not finite; the coefficients are there all
// the same. One frame more and the errors are finite.
TEST(Fit, ResidualDegreesOfFreedomSayWhetherErrorsAreDefined) {
  const struct {
    StandardErrors errors;
    int frames;
    int degrees;
  } cases[] = {
      {StandardErrors::Traditional, 8, 0},    {StandardErrors::Traditional, 9, 1},
      {StandardErrors::LeastSquares, 11, -1}, {StandardErrors::LeastSquares, 12, 0},
      {StandardErrors::LeastSquares, 13, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("frames = " + std::to_string(c.frames));
    const std::optional<VarFit> r = fit_var(random_data(c.frames, 2, 3), 4, c.errors);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->residual_degrees_of_freedom, c.degrees);
    EXPECT_EQ(r->standard_errors_defined(), c.degrees > 0);
    for (std::size_t g = 0; g < r->coefficients.size(); ++g) {
      EXPECT_TRUE(std::isfinite(r->coefficients[g]));
      EXPECT_EQ(std::isfinite(r->std_errors[g]), c.degrees > 0) << g;
    }
  }
}

// Frames without any variation leave a normal matrix of zeros: no fit.
TEST(Fit, SingularNormalMatrixGivesNoFit) {
  const FrameCoefficients zeros{20, 2, std::vector<float>(40, 0.0f)};
  EXPECT_FALSE(fit_var(zeros, 1, StandardErrors::Traditional).has_value());
  EXPECT_FALSE(fit_var(zeros, 2, StandardErrors::LeastSquares).has_value());
}

// Textbook least squares, in long double, of every equation on the lagged regressors of frames
// lags+1..frames: coefficients from (X'X)^-1 X'y, residual variance SSR / (T - lags - k), and
// standard errors sigma sqrt((X'X)^-1_uu).
std::vector<long double> ols_standard_errors(const FrameCoefficients& data, int lags) {
  const int nv = data.variables, nf = data.frames, nr = nv * lags;
  auto regressor = [&](int t, int u) -> long double { return data.at(t - 1 - u / nv, u % nv); };
  // [X'X | I] reduced to [I | (X'X)^-1] by Gauss-Jordan elimination (X'X is positive definite).
  std::vector<long double> m(static_cast<std::size_t>(nr) * 2 * nr, 0.0L);
  auto M = [&](int r, int c) -> long double& {
    return m[static_cast<std::size_t>(r) * 2 * nr + c];
  };
  for (int t = lags; t < nf; ++t)
    for (int u = 0; u < nr; ++u)
      for (int v = 0; v < nr; ++v) M(u, v) += regressor(t, u) * regressor(t, v);
  for (int u = 0; u < nr; ++u) M(u, nr + u) = 1.0L;
  for (int k = 0; k < nr; ++k) {
    const long double pivot = M(k, k);
    for (int c = 0; c < 2 * nr; ++c) M(k, c) /= pivot;
    for (int r = 0; r < nr; ++r) {
      if (r == k) continue;
      const long double f = M(r, k);
      for (int c = 0; c < 2 * nr; ++c) M(r, c) -= f * M(k, c);
    }
  }
  auto inverse = [&](int u, int v) { return M(u, nr + v); };

  std::vector<long double> se(static_cast<std::size_t>(nv) * nr);
  for (int i = 0; i < nv; ++i) {
    std::vector<long double> xty(nr, 0.0L), b(nr, 0.0L);
    for (int t = lags; t < nf; ++t)
      for (int u = 0; u < nr; ++u) xty[u] += regressor(t, u) * data.at(t, i);
    for (int u = 0; u < nr; ++u)
      for (int v = 0; v < nr; ++v) b[u] += inverse(u, v) * xty[v];
    long double ssr = 0.0L;
    for (int t = lags; t < nf; ++t) {
      long double e = data.at(t, i);
      for (int u = 0; u < nr; ++u) e -= b[u] * regressor(t, u);
      ssr += e * e;
    }
    const long double sigma2 = ssr / (nf - lags - nr);
    for (int u = 0; u < nr; ++u) se[i * nr + u] = std::sqrt(sigma2 * inverse(u, u));
  }
  return se;
}

// A VAR(1) of four variables over several thousand frames, fitted with two lags. The
// least-squares errors are those of ordinary least squares on the same regression; they differ
// only because the fit's normal matrix takes every frame pair that exists, where the regression
// has the frames lags+1..frames. The traditional errors are sqrt(frames) times larger, less the
// difference of the two residual divisors; coefficients and R square do not depend on the
// choice. The errors are the right size: every coefficient lies within a few of them of the
// coefficient the frames were generated with.
TEST(Fit, LeastSquaresErrorsAreThoseOfOrdinaryLeastSquares) {
  const int nv = 4, lags = 2, nf = 4000, nr = nv * lags;
  const double a[nv][nv] = {{0.5, 0.2, 0.0, -0.1},
                            {-0.3, 0.4, 0.1, 0.0},
                            {0.0, 0.2, -0.5, 0.2},
                            {0.1, 0.0, -0.2, 0.6}};  // row sums of magnitudes at most 0.9: stable
  const double noise[nv] = {1.0, 0.5, 2.0, 1.5};
  std::mt19937_64 gen(2718);
  std::normal_distribution<double> normal(0.0, 1.0);
  FrameCoefficients data{nf, nv, std::vector<float>(static_cast<std::size_t>(nf) * nv)};
  std::vector<double> z(nv, 0.0), next(nv);
  for (int t = -200; t < nf; ++t) {  // 200 frames to forget the start
    for (int i = 0; i < nv; ++i) {
      next[i] = noise[i] * normal(gen);
      for (int j = 0; j < nv; ++j) next[i] += a[i][j] * z[j];
    }
    z = next;
    if (t >= 0)
      for (int i = 0; i < nv; ++i) data.values[static_cast<std::size_t>(i) * nf + t] = float(z[i]);
  }

  const std::optional<VarFit> ls = fit_var(data, lags, StandardErrors::LeastSquares);
  const std::optional<VarFit> traditional = fit_var(data, lags, StandardErrors::Traditional);
  ASSERT_TRUE(ls.has_value());
  ASSERT_TRUE(traditional.has_value());
  EXPECT_EQ(ls->coefficients, traditional->coefficients);
  EXPECT_EQ(ls->r_square, traditional->r_square);

  const std::vector<long double> ols = ols_standard_errors(data, lags);
  const double divisors = std::sqrt(double(nf - lags - nr) / double(nf - nr));
  for (int i = 0; i < nv; ++i)
    for (int u = 0; u < nr; ++u) {
      SCOPED_TRACE(::testing::Message() << "equation " << i << " regressor " << u);
      const std::size_t g = static_cast<std::size_t>(i * ls->regressors() + u);
      const double se = ls->std_errors[g];
      const double want = static_cast<double>(ols[g]);
      EXPECT_NEAR(se, want, 0.01 * want);
      EXPECT_NEAR(traditional->std_errors[g] / se, std::sqrt(double(nf)), 1e-3 * std::sqrt(nf));
      EXPECT_NEAR(traditional->std_errors[g] / se, std::sqrt(double(nf)) * divisors,
                  1e-5 * std::sqrt(nf));
      const double generated = u < nv ? a[i][u] : 0.0;  // generated without a second lag
      EXPECT_LT(std::fabs(ls->coefficients[g] - generated), 4.5 * se);
    }
}

// The fit grown from one backtest origin to the next is fit_var's on the residual frames at
// each (every frame's transform less the mean of the frames before the origin), to single
// precision: coefficients, standard errors (both kinds), R square and the forecast they make.
TEST(GrowingVar, IsTheFitOnTheResidualFramesAtEveryOrigin) {
  const int lb = 16;
  std::mt19937 gen(3);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  std::vector<float> x;
  for (int t = 0; t < 60 * lb; ++t)
    x.push_back(5.0f + 2.0f * static_cast<float>(std::cos(2 * 3.14159265358979 * 3 * t / lb + 0.001 * t)) + noise(gen));
  const numeric::FftPlan plan(lb);
  const FrameSpectra raw = frame_spectra(x, plan);
  const std::vector<int> bins = {3, 5, 8};  // 8 = lb / 2: its imaginary part is zero
  for (const StandardErrors errors : {StandardErrors::Traditional, StandardErrors::LeastSquares}) {
    GrowingVar grown(raw, bins, 2);
    for (int origin = 40; origin <= 60; origin += 4) {
      const GrowingVar::At at = grown.at(origin, errors);
      FrameCoefficients z{origin, 6, std::vector<float>(static_cast<std::size_t>(origin) * 6)};
      for (std::size_t k = 0; k < bins.size(); ++k) {
        std::complex<double> mean;
        for (int f = 0; f < origin; ++f) mean += raw.at(f, bins[k]) / static_cast<double>(origin);
        for (int f = 0; f < origin; ++f) {
          const std::complex<double> c = raw.at(f, bins[k]) - mean;
          z.values[(2 * k) * origin + f] = static_cast<float>(c.real());
          z.values[(2 * k + 1) * origin + f] = bins[k] == 8 ? 0.0f : static_cast<float>(c.imag());
        }
      }
      EXPECT_EQ(at.data.values, z.values) << origin;
      // The zero variable makes the normal matrix singular, as it does for fit_var.
      EXPECT_FALSE(at.fit);
      EXPECT_FALSE(fit_var(z, 2, errors));
    }
    // On two bins; and on the bins an origin asks for among those the sums hold (origins that
    // find different bins significant).
    const std::vector<int> two = {3, 5}, held = {2, 3, 5, 6};
    const std::vector<std::vector<int>> asked = {two, {2, 6}, {5}};
    GrowingVar grown_two(raw, two, 2), grown_held(raw, held, 2);
    for (int origin = 40; origin <= 60; origin += 2) {
      const bool some = origin % 4 == 2;
      const std::vector<int>& subset = asked[static_cast<std::size_t>(origin / 2 % 3)];
      const GrowingVar::At at = some ? grown_held.at(origin, errors, subset) : grown_two.at(origin, errors);
      EXPECT_EQ(at.data.values, residual_coefficients(raw, origin, some ? subset : two).values) << origin;
      const std::optional<VarFit> fit = fit_var(at.data, 2, errors);
      ASSERT_TRUE(at.fit && fit) << origin;
      for (std::size_t g = 0; g < fit->coefficients.size(); ++g) {
        EXPECT_NEAR(at.fit->coefficients[g], fit->coefficients[g], 1e-5) << origin << " " << g;
        EXPECT_NEAR(at.fit->std_errors[g], fit->std_errors[g], 1e-5 * fit->std_errors[g]) << origin << " " << g;
      }
      EXPECT_NEAR(at.fit->r_square, fit->r_square, 1e-5) << origin;
      const std::vector<float> a = forecast_coefficients(at.data, *at.fit, 2);
      const std::vector<float> b = forecast_coefficients(at.data, *fit, 2);
      for (std::size_t k = 0; k < a.size(); ++k) EXPECT_NEAR(a[k], b[k], 1e-4 * (1.0 + std::fabs(b[k]))) << origin;
    }
  }
}

}  // namespace
}  // namespace tramel::forecast
