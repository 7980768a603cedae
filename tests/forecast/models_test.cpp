// The models that follow the level: their inputs from the raw frames, the size rule, the
// least-squares fit against an independent solve, the forecast-error covariance against the
// closed forms of textbook models, the forecast frames and the intervals.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

using Matrix = std::vector<double>;  // column-major

double at(const Matrix& m, int n, int i, int j) { return m[static_cast<std::size_t>(j) * n + i]; }

Matrix product(const Matrix& a, const Matrix& b, int n) {
  Matrix c(static_cast<std::size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k) c[static_cast<std::size_t>(j) * n + i] += at(a, n, i, k) * at(b, n, k, j);
  return c;
}

Matrix transpose(const Matrix& a, int n) {
  Matrix t(a.size());
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) t[static_cast<std::size_t>(j) * n + i] = at(a, n, j, i);
  return t;
}

// Solves the dense system m x = b by Gaussian elimination with partial pivoting.
std::vector<double> solve(Matrix m, std::vector<double> b) {
  const int n = static_cast<int>(b.size());
  for (int c = 0; c < n; ++c) {
    int pivot = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(at(m, n, r, c)) > std::fabs(at(m, n, pivot, c))) pivot = r;
    for (int k = 0; k < n; ++k) std::swap(m[k * n + c], m[k * n + pivot]);
    std::swap(b[c], b[pivot]);
    for (int r = c + 1; r < n; ++r) {
      const double f = at(m, n, r, c) / at(m, n, c, c);
      for (int k = c; k < n; ++k) m[k * n + r] -= f * m[k * n + c];
      b[r] -= f * b[c];
    }
  }
  std::vector<double> x(n);
  for (int r = n - 1; r >= 0; --r) {
    double s = b[r];
    for (int k = r + 1; k < n; ++k) s -= at(m, n, r, k) * x[k];
    x[r] = s / at(m, n, r, r);
  }
  return x;
}

// A fitted model made by hand: every coefficient kept.
ModelFit model(ModelKind kind, int nv, int lags, const Matrix& coefficients, const Matrix& sigma) {
  ModelFit f;
  f.kind = kind;
  f.variables = nv;
  f.lags = lags;
  f.coefficients = f.effective = coefficients;
  f.residual_covariance = sigma;
  f.mean.assign(nv, 0.0);
  return f;
}

// VAR(1) in levels: the h-step error covariance is Gamma - A^h Gamma A^h', Gamma the
// stationary covariance (Gamma = A Gamma A' + S, solved as a linear system in its entries).
TEST(ErrorCovariance, LevelsVar1AgainstTheStationaryClosedForm) {
  const int n = 2;
  const Matrix a = {0.5, 0.2, -0.3, 0.4};  // column-major: A = [0.5 -0.3; 0.2 0.4]
  const Matrix s = {2.0, 0.6, 0.6, 1.0};
  // (I - A (x) A) vec(Gamma) = vec(S).
  Matrix kron(16, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      for (int k = 0; k < n; ++k)
        for (int l = 0; l < n; ++l) {
          const int row = j * n + i, col = l * n + k;  // vec index of (i, j) and (k, l)
          kron[col * 4 + row] = (row == col ? 1.0 : 0.0) - at(a, n, i, k) * at(a, n, j, l);
        }
  const Matrix gamma = solve(kron, s);
  // The fit stores coefficient (i, u) at i * regressors + u: row-major A.
  const ModelFit fit = model(ModelKind::Levels, n, 1, {0.5, -0.3, 0.2, 0.4}, s);
  const std::vector<double> c = forecast_error_covariance(fit, 5);
  ASSERT_EQ(c.size(), 20u);
  Matrix power = {1.0, 0.0, 0.0, 1.0};
  for (int h = 1; h <= 5; ++h) {
    power = product(power, a, n);
    const Matrix pg = product(product(power, gamma, n), transpose(power, n), n);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(c[(h - 1) * 4 + k], gamma[k] - pg[k], 1e-12) << h << " " << k;
  }
}

// Changes with A = a I: the integrated weights are (1 - a^(j+1)) / (1 - a), so the h-step
// covariance is S times sum_{j<h} ((1 - a^(j+1)) / (1 - a))^2, summed in closed form.
TEST(ErrorCovariance, ChangesIntegratesTheMovingAverageWeights) {
  const double a = 0.6;
  const Matrix s = {1.5, -0.4, -0.4, 0.8};
  const ModelFit fit = model(ModelKind::Changes, 2, 1, {a, 0.0, 0.0, a}, s);
  const std::vector<double> c = forecast_error_covariance(fit, 6);
  for (int h = 1; h <= 6; ++h) {
    const double factor = (h - 2.0 * a * (1.0 - std::pow(a, h)) / (1.0 - a) +
                           a * a * (1.0 - std::pow(a, 2 * h)) / (1.0 - a * a)) /
                          ((1.0 - a) * (1.0 - a));
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(c[(h - 1) * 4 + k], factor * s[k], 1e-12) << h;
  }
  // A random walk (no lags): the variance grows by S every step.
  const std::vector<double> walk = forecast_error_covariance(model(ModelKind::Changes, 2, 0, {}, s), 3);
  EXPECT_DOUBLE_EQ(walk[2 * 4 + 0], 3 * 1.5);
  EXPECT_DOUBLE_EQ(walk[2 * 4 + 1], 3 * -0.4);
}

// AR(2) in levels: psi_j = (r1^(j+1) - r2^(j+1)) / (r1 - r2) for the roots of z^2 - a1 z - a2.
TEST(ErrorCovariance, SecondLagEntersThroughTheRecursion) {
  const double a1 = 0.9, a2 = -0.2, sigma = 2.0;
  const double d = std::sqrt(a1 * a1 + 4 * a2);
  const double r1 = (a1 + d) / 2, r2 = (a1 - d) / 2;
  const std::vector<double> c = forecast_error_covariance(model(ModelKind::Levels, 1, 2, {a1, a2}, {sigma}), 6);
  double sum = 0.0;
  for (int h = 1; h <= 6; ++h) {
    const double psi = (std::pow(r1, h) - std::pow(r2, h)) / (r1 - r2);
    sum += psi * psi * sigma;
    EXPECT_NEAR(c[h - 1], sum, 1e-12) << h;
  }
}

// The estimates' error on a scalar AR(1) made by hand (a = 0.5, s = 2, (X'X)^-1 = 0.1, the
// state 3, a sample of 10): the noise variance scaled by 1 + x0^2 (X'X)^-1 = 1.9 at every step,
// and the constant's s / 10 through the summed weights: levels 1 then 1 + 0.5, changes (the
// weights cumulative: 1, 1.5) 1 then 1 + 1.5.
TEST(ErrorCovariance, TheEstimatesAddTheLeastSquaresTermAndTheConstantsError) {
  struct Case {
    ModelKind kind;
    std::vector<double> constant;  // steps 1, 2
  };
  const Case cases[] = {{ModelKind::Levels, {0.2, 0.2 * 1.5 * 1.5}},
                        {ModelKind::Changes, {0.2, 0.2 * 2.5 * 2.5}}};
  for (const Case& c : cases) {
    ModelFit fit = model(c.kind, 1, 1, {0.5}, {2.0});
    fit.regressor_inverse = {0.1};
    fit.sample_length = 10;
    const EstimationError e = estimation_error_covariance(fit, std::vector<double>{3.0}, 2);
    ASSERT_EQ(e.scale.size(), 1u);
    EXPECT_NEAR(e.scale[0], std::sqrt(1.9), 1e-14);
    ASSERT_EQ(e.constant.size(), 2u);
    for (int h = 0; h < 2; ++h) EXPECT_NEAR(e.constant[h], c.constant[h], 1e-14) << h;
    // A coefficient the t rule dropped is not estimated: no term.
    fit.effective = {0.0};
    EXPECT_EQ(estimation_error_covariance(fit, std::vector<double>{3.0}, 2).scale[0], 1.0);
  }
}

// ---- Inputs ------------------------------------------------------------------------------------

std::vector<float> noisy_series(int frames, int lb, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<float> noise(0.0f, 1.0f);
  std::vector<float> x;
  for (int t = 0; t < frames * lb; ++t)
    x.push_back(10.0f + 3.0f * static_cast<float>(std::sin(2 * std::numbers::pi * t / lb)) + noise(gen));
  return x;
}

// The DFT of a frame at bin k, summed directly.
std::complex<double> dft(const float* frame, int lb, int k) {
  std::complex<double> sum;
  for (int j = 0; j < lb; ++j) sum += static_cast<double>(frame[j]) * std::polar(1.0, -2 * std::numbers::pi * j * k / lb);
  return sum;
}

// The transform's twiddles carry 2 pi in single precision: agreement to about 1e-6.
TEST(ModelInputs, VariablesMeanAndTheSpreadOfTheBinsNotModelled) {
  const int lb = 8, frames = 6;
  const std::vector<float> x = noisy_series(frames, lb, 3);
  const numeric::FftPlan plan(lb);
  const std::vector<int> bins = {1, 4};  // 4 = lb/2 carries its real part only
  const ModelInputs in = model_inputs(std::span<const float>(x), bins, plan);
  ASSERT_EQ(in.variables, 4);
  for (int f = 0; f < frames; ++f) {
    const float* frame = x.data() + f * lb;
    EXPECT_NEAR(in.at(f, 0), dft(frame, lb, 0).real(), 1e-5);
    EXPECT_NEAR(in.at(f, 1), dft(frame, lb, 1).real(), 1e-5);
    EXPECT_NEAR(in.at(f, 2), dft(frame, lb, 1).imag(), 1e-5);
    EXPECT_NEAR(in.at(f, 3), dft(frame, lb, 4).real(), 1e-5);
  }
  // The residual frame (frame less mean waveform) less its modelled bins, in samples.
  std::vector<double> mean(lb, 0.0), variance(lb, 0.0);
  for (int f = 0; f < frames; ++f)
    for (int j = 0; j < lb; ++j) mean[j] += x[f * lb + j] / static_cast<double>(frames);
  for (int f = 0; f < frames; ++f) {
    std::vector<double> r(lb);
    for (int j = 0; j < lb; ++j) r[j] = x[f * lb + j] - mean[j];
    const float* frame = x.data() + f * lb;
    for (const int k : {0, 1, 4}) {
      std::complex<double> c = dft(frame, lb, k);
      std::complex<double> cm;
      for (int g = 0; g < frames; ++g) cm += dft(x.data() + g * lb, lb, k) / static_cast<double>(frames);
      c -= cm;
      for (int j = 0; j < lb; ++j) {
        const double weight = (k == 0 || 2 * k == lb) ? 1.0 : 2.0;
        r[j] -= weight * (c * std::polar(1.0, 2 * std::numbers::pi * j * k / lb)).real() / lb;
      }
    }
    for (int j = 0; j < lb; ++j) variance[j] += r[j] * r[j] / (frames - 1);
  }
  for (int j = 0; j < lb; ++j) {
    EXPECT_NEAR(in.unmodelled_variance[j], variance[j], 1e-5) << j;
    EXPECT_NEAR(frame_from_spectrum(in.mean_spectrum, plan)[j], mean[j], 1e-5) << j;
  }
}

// ---- The size rule ---------------------------------------------------------------------------

std::vector<RankedBin> ranked(std::initializer_list<std::pair<int, double>> bins) {
  std::vector<RankedBin> r;
  for (const auto& [b, s] : bins) r.push_back({b, s});
  return r;
}

TEST(SizeRule, KeepsTheMostCoherentBinsThatLeaveTwoDegreesPerRegressor) {
  static_assert(kDegreesPerRegressor == 2, "the counts below assume 2");
  const std::vector<RankedBin> candidates = ranked({{1, 50.0}, {2, 900.0}, {3, 7.0}, {5, 900.0}});
  // Levels, 18 frames, 1 lag: n = 17, k = v + 1, n - k >= 2k for v <= 4: bin 0 and one bin.
  // Bins 2 and 5 tie; the lower wins.
  BinChoice c = choose_bins(candidates, {18, 1, ModelKind::Levels, 12});
  EXPECT_TRUE(c.fits);
  EXPECT_EQ(c.lags, 1);
  EXPECT_EQ(c.kept, (std::vector<int>{2}));
  EXPECT_EQ(c.left_out, (std::vector<int>{1, 3, 5}));
  // 30 frames: n = 29, v <= 8: three bins.
  c = choose_bins(candidates, {30, 1, ModelKind::Levels, 12});
  EXPECT_EQ(c.kept, (std::vector<int>{1, 2, 5}));
  // Changes lose a frame: at 25 frames levels keep three bins (n = 24, v <= 7), changes two
  // (n = 23, v <= 6); at 26 changes keep three.
  EXPECT_EQ(choose_bins(candidates, {25, 1, ModelKind::Levels, 12}).kept, c.kept);
  EXPECT_EQ(choose_bins(candidates, {25, 1, ModelKind::Changes, 12}).kept, (std::vector<int>{2, 5}));
  EXPECT_EQ(choose_bins(candidates, {26, 1, ModelKind::Changes, 12}).kept, c.kept);
  // A bin at lb/2 costs one variable: with v <= 4, bin 0, bin 2 (2 variables) and bin 6 (1).
  c = choose_bins(ranked({{2, 9.0}, {6, 8.0}, {1, 1.0}}), {18, 1, ModelKind::Levels, 12});
  EXPECT_EQ(c.kept, (std::vector<int>{2, 6}));
}

TEST(SizeRule, ReducesTheLagsAndNeverStopsFromEightFrames) {
  const std::vector<RankedBin> candidates = ranked({{1, 5.0}, {2, 4.0}});
  // 8 frames, 7 lags, changes: bin 0 alone first fits at 1 lag (n = 6, k = 2, 6 - 2 >= 4).
  BinChoice c = choose_bins(candidates, {8, 7, ModelKind::Changes, 12});
  EXPECT_TRUE(c.fits);
  EXPECT_EQ(c.lags, 1);
  EXPECT_TRUE(c.kept.empty());
  EXPECT_EQ(c.left_out, (std::vector<int>{1, 2}));
  // 4 frames, changes: lags 0 (n = 3, k = 1, 2 < 2 fails), so the drift alone with one degree.
  c = choose_bins(candidates, {4, 1, ModelKind::Changes, 12});
  EXPECT_TRUE(c.fits);
  EXPECT_EQ(c.lags, 0);
  // 2 frames, changes: one change, no degree of freedom: nothing.
  EXPECT_FALSE(choose_bins(candidates, {2, 1, ModelKind::Changes, 12}).fits);

  // From 8 frames on every model is fitted and forecast, whatever the lags asked for.
  const numeric::FftPlan plan(12);
  for (int frames = 8; frames <= 40; frames += 4) {
    const std::vector<float> x = noisy_series(frames, 12, static_cast<unsigned>(frames));
    const FrameSpectra spectra = frame_spectra(x, plan);
    for (const ModelKind kind : {ModelKind::Levels, ModelKind::Changes}) {
      for (int lags : {1, 3, 12}) {
        const ModelRun run = run_model(spectra, ranked({{1, 9.0}, {2, 8.0}, {3, 7.0}, {6, 1.0}}),
                                       {frames, lags, kind, 12}, 2, plan);
        ASSERT_TRUE(run.fit && run.forecast) << frames << " frames, " << lags << " lags";
        EXPECT_GE(run.fit->degrees_of_freedom, kDegreesPerRegressor * (run.fit->regressors() + 1));
      }
    }
  }
}

// ---- The fit -----------------------------------------------------------------------------------

// A VAR(1) series in three variables, as model inputs.
ModelInputs var1_inputs(int frames, unsigned seed) {
  ModelInputs in;
  in.frame_length = 4;
  in.frames = frames;
  in.variables = 3;
  in.bins = {1};
  in.values.assign(3 * frames, 0.0);
  std::mt19937 gen(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> y = {0, 0, 0};
  for (int t = 0; t < frames; ++t) {
    const std::vector<double> e = {noise(gen), noise(gen), noise(gen)};
    y = {100 + 0.7 * (y[0] - 100) + 0.2 * y[1] + e[0], 0.5 * y[1] - 0.3 * y[2] + e[1] + 0.5 * e[0],
         0.1 * (y[0] - 100) + 0.4 * y[2] + e[2]};
    if (t == 0) y[0] = 100;
    for (int v = 0; v < 3; ++v) in.values[v * frames + t] = y[v];
  }
  in.mean_spectrum.assign(3, {0.0, 0.0});
  in.unmodelled_variance.assign(4, 0.0);
  return in;
}

// The coefficients, standard errors and residual covariance against the least squares of the
// regression of each centred variable on the lagged centred ones, solved from scratch.
TEST(ModelFit, LevelsIsTheLeastSquaresOfTheCentredVariables) {
  const int frames = 60, nv = 3;
  const ModelInputs in = var1_inputs(frames, 7);
  const std::optional<ModelFit> fit = fit_model(in, ModelKind::Levels, 1);
  ASSERT_TRUE(fit);
  EXPECT_EQ(fit->observations, frames - 1);
  EXPECT_EQ(fit->degrees_of_freedom, frames - 1 - 3 - 1);
  std::vector<double> mean(nv, 0.0);
  for (int v = 0; v < nv; ++v) {
    for (int t = 0; t < frames; ++t) mean[v] += in.at(t, v) / frames;
    EXPECT_NEAR(fit->mean[v], mean[v], 1e-9);
  }
  Matrix xtx(9, 0.0);
  for (int t = 1; t < frames; ++t)
    for (int u = 0; u < nv; ++u)
      for (int w = 0; w < nv; ++w) xtx[w * 3 + u] += (in.at(t - 1, u) - mean[u]) * (in.at(t - 1, w) - mean[w]);
  std::vector<std::vector<double>> residuals(nv);
  for (int i = 0; i < nv; ++i) {
    std::vector<double> xty(nv, 0.0);
    for (int t = 1; t < frames; ++t)
      for (int u = 0; u < nv; ++u) xty[u] += (in.at(t - 1, u) - mean[u]) * (in.at(t, i) - mean[i]);
    const std::vector<double> b = solve(xtx, xty);
    double ssr = 0.0;
    for (int t = 1; t < frames; ++t) {
      double r = in.at(t, i) - mean[i];
      for (int u = 0; u < nv; ++u) r -= b[u] * (in.at(t - 1, u) - mean[u]);
      ssr += r * r;
    }
    for (int u = 0; u < nv; ++u) {
      std::vector<double> unit(nv, 0.0);
      unit[u] = 1.0;
      const double inverse = solve(xtx, unit)[u];
      EXPECT_NEAR(fit->coefficients[i * nv + u], b[u], 1e-10);
      EXPECT_NEAR(fit->std_errors[i * nv + u], std::sqrt(ssr / fit->degrees_of_freedom * inverse), 1e-10);
      // The level's cross terms must pass |t| > 2, every other coefficient |t| >= 1.
      const double t = std::fabs(b[u] / fit->std_errors[i * nv + u]);
      const bool kept = i == 0 && u % nv != 0 ? t > 2.0 : t >= 1.0;
      EXPECT_EQ(fit->effective[i * nv + u], kept ? fit->coefficients[i * nv + u] : 0.0);
    }
  }
  // The true coefficients are recovered roughly; the covariance is symmetric, the noise of
  // variable 1 correlated with that of variable 0.
  EXPECT_NEAR(fit->coefficients[0], 0.7, 0.2);
  EXPECT_EQ(fit->residual_covariance[1], fit->residual_covariance[3]);
  EXPECT_GT(fit->residual_covariance[1], 0.0);
}

TEST(ModelFit, NothingWithoutDegreesOfFreedomOrWithADependentVariable) {
  ModelInputs in = var1_inputs(5, 1);
  EXPECT_FALSE(fit_model(in, ModelKind::Levels, 1));   // n = 4, k = 4: none left
  EXPECT_TRUE(fit_model(in, ModelKind::Levels, 0));
  in = var1_inputs(30, 2);
  for (int t = 0; t < 30; ++t) in.values[2 * 30 + t] = 3.0;  // a constant variable
  EXPECT_FALSE(fit_model(in, ModelKind::Levels, 1));
}

// A monthly series of 33 years rich in coherent bins (an annual swing whose amplitude follows an
// AR(1) from year to year, two steady harmonics, a level walk, noise): `changes` with every
// harmonic fits up to 9 variables from 22 to 32 frames. Every cross term the level keeps passes
// |t| > 2, and its one-frame forecast over those origins does about as well as the level's own
// lags alone.
TEST(ModelFit, TheLevelOfARichModelFollowsItsOwnLags) {
  const int lb = 12, frames = 33;
  for (const unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> amplitude(frames);
    double a = 0.0;
    for (double& v : amplitude) v = 10.0 + 2.0 * (a = 0.6 * a + normal(gen));
    std::vector<float> x;
    double walk = 0.0;
    for (int t = 0; t < frames * lb; ++t) {
      const double w = 2 * std::numbers::pi * t / lb;
      walk += 0.5 * normal(gen);
      x.push_back(static_cast<float>(200.0 + amplitude[t / lb] * std::sin(w) + 4.0 * std::sin(3 * w) +
                                     3.0 * std::cos(4 * w) + walk + 3.0 * normal(gen)));
    }
    const numeric::FftPlan plan(lb);
    const FrameSpectra spectra = frame_spectra(x, plan);
    const std::vector<RankedBin> rich = ranked({{1, 9}, {3, 8}, {4, 7}, {2, 6}, {5, 5}, {6, 4}});
    double squares = 0.0, own_squares = 0.0;
    for (int origin = 22; origin < frames; ++origin) {
      const ModelSize size{origin, 1, ModelKind::Changes, lb};
      const ModelRun run = run_model(spectra, rich, size, 1, plan);
      const ModelRun own = run_model(spectra, {}, size, 1, plan);
      ASSERT_TRUE(run.forecast && own.forecast);
      ASSERT_GE(run.choice.kept.size(), 2u);
      const int nv = run.fit->variables;
      for (int u = 1; u < run.fit->regressors(); ++u) {
        if (u % nv != 0 && run.fit->effective[u] != 0.0) {
          EXPECT_GT(std::fabs(run.fit->coefficients[u] / run.fit->std_errors[u]), 2.0);
        }
      }
      const double actual = spectra.at(origin, 0).real();
      squares += std::pow(run.forecast->variables[0] - actual, 2);
      own_squares += std::pow(own.forecast->variables[0] - actual, 2);
    }
    EXPECT_LT(squares, 1.2 * 1.2 * own_squares) << seed;
  }
}

// ---- The forecast ------------------------------------------------------------------------------

// A series whose frames repeat one waveform at a level that rises by 1.5 a frame, with a little
// noise: `changes` continues the rise from the last frame, `levels` without lags forecasts the
// mean frame; both keep the waveform.
TEST(ModelForecast, ChangesContinuesTheDriftAndLevelsKeepsTheMean) {
  const int lb = 12, frames = 20;
  std::mt19937 gen(4);
  std::normal_distribution<float> noise(0.0f, 0.01f);
  std::vector<float> x;
  for (int t = 0; t < frames * lb; ++t)
    x.push_back(static_cast<float>(50.0 + 1.5 * (t / lb) + 4.0 * std::sin(2 * std::numbers::pi * t / lb)) + noise(gen));
  const numeric::FftPlan plan(lb);
  const ModelInputs in = model_inputs(std::span<const float>(x), std::vector<int>{1}, plan);
  const std::optional<ModelFit> changes = fit_model(in, ModelKind::Changes, 1);
  const std::optional<ModelFit> levels = fit_model(in, ModelKind::Levels, 0);
  ASSERT_TRUE(changes && levels);
  const ModelForecast c = forecast_model(in, *changes, 3, plan);
  const ModelForecast l = forecast_model(in, *levels, 3, plan);
  ASSERT_EQ(c.frames.size(), 36u);
  for (int h = 0; h < 3; ++h) {
    for (int j = 0; j < lb; ++j) {
      const double wave = 4.0 * std::sin(2 * std::numbers::pi * j / lb);
      EXPECT_NEAR(c.frames[h * lb + j], 50.0 + 1.5 * (frames + h) + wave, 0.05) << h << " " << j;
      EXPECT_NEAR(l.frames[h * lb + j], 50.0 + 1.5 * (frames - 1) / 2.0 + wave, 0.05);
    }
  }
  // The spread grows with the horizon for the integrated model.
  EXPECT_LT(c.std_dev[0], c.std_dev[2 * lb]);
}

// The variance of a sample is the model's covariance through the inverse transform (checked
// here on bin 0 alone: 1/lb^2 times the variance of the frame sum, the estimated mean adding
// 1/frames of it) plus the unmodelled spread.
TEST(ModelForecast, StandardDeviationAddsTheUnmodelledSpread) {
  const int lb = 6;
  const std::vector<float> x = noisy_series(30, lb, 9);
  const numeric::FftPlan plan(lb);
  const ModelInputs in = model_inputs(std::span<const float>(x), std::vector<int>{}, plan);
  const std::optional<ModelFit> fit = fit_model(in, ModelKind::Levels, 0);
  ASSERT_TRUE(fit);
  const ModelForecast f = forecast_model(in, *fit, 2, plan);
  for (int j = 0; j < lb; ++j) {
    const double expected =
        fit->residual_covariance[0] * (1.0 + 1.0 / 30) / (lb * lb) + in.unmodelled_variance[j];
    EXPECT_NEAR(f.std_dev[j], std::sqrt(expected), 1e-12);
    EXPECT_NEAR(f.std_dev[lb + j], std::sqrt(expected), 1e-12);  // no lags: no growth
  }
  const std::vector<float> levels = {80.0f, 95.0f};
  const std::vector<ForecastInterval> iv = forecast_intervals(f, levels);
  ASSERT_EQ(iv.size(), 2u);
  EXPECT_FLOAT_EQ(iv[1].upper[3] - f.frames[3], static_cast<float>(1.959963985 * f.std_dev[3]));
  EXPECT_FLOAT_EQ(f.frames[3] - iv[0].lower[3], static_cast<float>(1.281551566 * f.std_dev[3]));
}

// The standard deviation of every forecast sample is the quadratic form of the frame's
// variables' error covariance (the model's, scaled for its estimates, plus the constant's) in
// the inverse transform's terms, bin lb/2 with its real part alone.
TEST(ModelForecast, SampleSpreadIsTheQuadraticFormOfTheVariablesCovariance) {
  const int lb = 8;
  const std::vector<float> x = noisy_series(40, lb, 5);
  const numeric::FftPlan plan(lb);
  const std::vector<int> bins = {1, 4};
  const ModelInputs in = model_inputs(std::span<const float>(x), bins, plan);
  const std::optional<ModelFit> fit = fit_model(in, ModelKind::Levels, 1);
  ASSERT_TRUE(fit);
  const int nv = in.variables;
  const ModelForecast f = forecast_model(in, *fit, 2, plan);
  std::vector<double> state(static_cast<std::size_t>(nv));
  for (int v = 0; v < nv; ++v) state[v] = in.at(in.frames - 1, v) - fit->mean[v];
  const EstimationError e = estimation_error_covariance(*fit, state, 2);
  const std::vector<double> c = forecast_error_covariance(*fit, 2);
  for (int h = 0; h < 2; ++h) {
    for (int j = 0; j < lb; ++j) {
      const double angle = 2 * std::numbers::pi * j / lb;
      const double l[] = {1.0 / lb, 2 * std::cos(angle) / lb, -2 * std::sin(angle) / lb, std::cos(4 * angle) / lb};
      double variance = in.unmodelled_variance[j];
      for (int a = 0; a < nv; ++a)
        for (int b = 0; b < nv; ++b) {
          const std::size_t k = static_cast<std::size_t>(h * nv * nv + b * nv + a);
          variance += l[a] * (e.scale[a] * c[k] * e.scale[b] + e.constant[k]) * l[b];
        }
      EXPECT_NEAR(f.std_dev[static_cast<std::size_t>(h * lb + j)], std::sqrt(variance), 1e-12) << h << " " << j;
    }
  }
}

// ---- Nested samples --------------------------------------------------------------------------

// A backtest's origins are nested samples: the fits grown from one origin to the next are the
// refits from scratch at each, to rounding, with the forecasts of every drift, also where the
// origins keep different bins (the sums hold their union); and the residual covariance of the
// effective model (the t rule drops terms here) is that of its residuals.
TEST(NestedRuns, GrowingFitsAreTheRefitsAtEveryOrigin) {
  const int lb = 8;
  std::vector<float> x = noisy_series(48, lb, 11);
  for (std::size_t t = 0; t < x.size(); ++t) x[t] += 0.05f * static_cast<float>(t);  // a drift
  const numeric::FftPlan plan(lb);
  const FrameSpectra spectra = frame_spectra(x, plan);
  const std::vector<RankedBin> candidates = ranked({{1, 9.0}, {2, 8.0}, {3, 7.0}});
  const std::vector<std::vector<RankedBin>> varied = {
      candidates, ranked({{1, 9.0}, {3, 7.0}}), ranked({{3, 9.0}, {2, 8.0}})};
  std::vector<int> origins;
  for (int o = 30; o < 48; ++o) origins.push_back(o);
  std::vector<std::vector<RankedBin>> per_origin;
  for (std::size_t i = 0; i < origins.size(); ++i) per_origin.push_back(varied[i / 4 % 3]);
  const auto close = [](double a, double b) { return std::fabs(a - b) <= 1e-9 * (1.0 + std::fabs(b)); };
  for (const ModelKind kind : {ModelKind::Levels, ModelKind::Changes})
  for (const bool varying : {false, true}) {
    SCOPED_TRACE(varying);
    const std::span<const std::vector<RankedBin>> one(&candidates, 1);
    const std::vector<ModelRun> grown =
        run_nested(spectra, {origins, varying ? std::span<const std::vector<RankedBin>>(per_origin) : one, kind, 2, 2,
                             {Drift{}, drift_variants()}}, plan);
    ASSERT_EQ(grown.size(), origins.size());
    int dropped = 0;
    for (std::size_t i = 0; i < origins.size(); ++i) {
      const ModelSize size{origins[i], 2, kind, lb};
      const ModelRun fresh =
          run_model(spectra, varying ? per_origin[i] : candidates, size, 2, plan, {Drift{}, drift_variants()});
      ASSERT_TRUE(grown[i].fit && fresh.fit) << i;
      const ModelFit& g = *grown[i].fit;
      const ModelFit& r = *fresh.fit;
      EXPECT_EQ(grown[i].choice.kept, fresh.choice.kept);
      for (std::size_t k = 0; k < r.coefficients.size(); ++k) {
        EXPECT_TRUE(close(g.coefficients[k], r.coefficients[k])) << i << " " << k;
        EXPECT_TRUE(close(g.std_errors[k], r.std_errors[k])) << i << " " << k;
        EXPECT_EQ(g.effective[k] == 0.0, r.effective[k] == 0.0) << i << " " << k;
        dropped += r.effective[k] == 0.0;
      }
      for (std::size_t k = 0; k < r.residual_covariance.size(); ++k)
        EXPECT_TRUE(close(g.residual_covariance[k], r.residual_covariance[k])) << i << " " << k;
      for (std::size_t v = 0; v < r.mean.size(); ++v) EXPECT_TRUE(close(g.mean[v], r.mean[v])) << i;
      ASSERT_EQ(grown[i].variants.size(), drift_variants().size());
      for (std::size_t d = 0; d < fresh.variants.size(); ++d)
        for (std::size_t j = 0; j < fresh.variants[d].frames.size(); ++j) {
          EXPECT_NEAR(grown[i].variants[d].frames[j], fresh.variants[d].frames[j], 1e-4) << i << " " << d;
          EXPECT_TRUE(close(grown[i].variants[d].std_dev[j], fresh.variants[d].std_dev[j])) << i << " " << d;
        }

      // The effective model's residuals, from the centred series.
      const ModelInputs in = model_inputs(spectra, origins[i], grown[i].choice.kept, plan);
      const int nv = in.variables, p = r.lags, shift = kind == ModelKind::Changes ? 1 : 0;
      const auto centred = [&](int t, int v) {
        return (shift ? in.at(t + 1, v) - in.at(t, v) : in.at(t, v)) - r.mean[v];
      };
      const int length = in.frames - shift;
      std::vector<double> residuals;
      for (int e = 0; e < nv; ++e)
        for (int t = p; t < length; ++t) {
          double value = centred(t, e);
          for (int u = 0; u < nv * p; ++u)
            value -= r.effective[static_cast<std::size_t>(e * nv * p + u)] * centred(t - 1 - u / nv, u % nv);
          residuals.push_back(value);
        }
      const int n = length - p;
      for (int a = 0; a < nv; ++a)
        for (int b = 0; b < nv; ++b) {
          double sum = 0.0;
          for (int t = 0; t < n; ++t) sum += residuals[a * n + t] * residuals[b * n + t];
          EXPECT_TRUE(close(r.residual_covariance[static_cast<std::size_t>(b * nv + a)], sum / r.degrees_of_freedom))
              << i << " " << a << " " << b;
        }
    }
    EXPECT_GT(dropped, 0);
  }
}

TEST(NormalQuantile, KnownValues) {
  EXPECT_NEAR(normal_quantile(0.975), 1.959963984540054, 1e-12);
  EXPECT_NEAR(normal_quantile(0.9), 1.2815515655446004, 1e-12);
  EXPECT_NEAR(normal_quantile(0.5), 0.0, 1e-12);
  EXPECT_NEAR(normal_quantile(0.005), -2.5758293035489004, 1e-12);
}

}  // namespace
}  // namespace tramel::forecast
