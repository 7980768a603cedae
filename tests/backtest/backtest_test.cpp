// The rolling-origin evaluation: its analysis at an origin against a run's analysis of the
// shortened sample, the scores' definitions, the same numbers for every thread count, and the
// forecast quality it measures on generated series of known structure and on shipped examples.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "backtest/backtest.hpp"

namespace tramel::backtest {
namespace {

using forecast::ModelKind;

// The values of a shipped example's data file: one value a record after the two header lines.
std::vector<float> example(const std::string& name) {
  std::ifstream in(std::string(TRAMEL_SOURCE_DIR) + "/examples/" + name);
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  std::vector<float> v;
  float x;
  while (in >> x) v.push_back(x);
  return v;
}

Settings monthly(int first_bin, int last_bin, int ahead, float taper = 0.0f) {
  Settings s;
  s.band = {12, first_bin, last_bin, taper};
  s.threshold = 0.99f;
  s.lags = 1;
  s.frames_ahead = ahead;
  s.levels = {80.0f, 95.0f};
  return s;
}

// Normal deviates by Box-Muller from a fixed generator.
struct Noise {
  std::mt19937 gen;
  explicit Noise(unsigned seed) : gen(seed) {}
  double operator()() {
    const double u1 = (gen() + 1.0) / 4294967297.0;
    const double u2 = (gen() + 1.0) / 4294967297.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
  }
};

// `years` of a monthly cycle with noise, a level shift from year `shift_year` on and a drift
// per month.
std::vector<float> generated(unsigned seed, int years, double shift, int shift_year, double drift) {
  Noise noise(seed);
  std::vector<float> x;
  for (int t = 0; t < 12 * years; ++t) {
    const double phase = 2.0 * std::numbers::pi * t / 12.0;
    x.push_back(static_cast<float>(50.0 + 4.0 * std::sin(phase) + 1.5 * std::cos(2.0 * phase) +
                                   (t >= 12 * shift_year ? shift : 0.0) + drift * t + 0.8 * noise()));
  }
  return x;
}

// The specified forecast of a sample, step by step as the run makes it.
struct RunAnalysis {
  coherence::Coherence coherence;
  std::vector<coherence::SignificantBin> significant;
  std::vector<float> forecast;
};
RunAnalysis run_analysis(std::vector<float> values, const Settings& s, const numeric::FftPlan& plan) {
  RunAnalysis r;
  numeric::ProbabilityFallback fallback;
  r.coherence = coherence::find_coherence(values, s.band, plan, fallback);  // values: the residual
  r.significant = coherence::significant_bins(r.coherence.probabilities, s.band.first_bin, s.threshold);
  std::vector<int> bins;
  for (const auto& b : r.significant) bins.push_back(b.bin);
  const forecast::FrameCoefficients z = forecast::frame_coefficients(values, bins, plan);
  const auto fit = forecast::fit_var(z, s.lags, s.errors);
  if (!fit) return r;
  const std::vector<float> ahead = forecast::forecast_coefficients(z, *fit, s.frames_ahead);
  r.forecast = forecast::synthesize_frames(
      ahead, {r.coherence.waveform_transform, r.coherence.waveform_std_dev, bins}, plan);
  return r;
}

// At every origin the probabilities, the significant bins and the specified forecast agree
// closely with a run on the sample cut at the origin: untapered (nottem) and tapered (co2).
TEST(Origin, AgreesWithARunOnTheShortenedSample) {
  struct Case {
    std::string file;
    Settings settings;
    int first, last;  // origins
    bool forecasts;   // whether the specified forecast is made at some origin
  } cases[] = {{"nottem/nottem.dat", monthly(1, 5, 2), 10, 18, true},
               {"co2/co2.dat", monthly(1, 3, 2, 25.0f), 30, 38, true},
               // up to lb/2; too many significant bins for the specified size check
               {"co2/co2.dat", monthly(1, 6, 1, 25.0f), 34, 38, false}};
  for (const Case& c : cases) {
    const std::vector<float> values = example(c.file);
    const numeric::FftPlan plan(12);
    const SeriesFrames frames = transform_series(values, c.settings, plan);
    EXPECT_EQ(frames.is_tapered, c.settings.band.taper_percent > 0.0f);
    int specified = 0;
    for (int o = c.first; o <= c.last; ++o) {
      SCOPED_TRACE(c.file + " origin " + std::to_string(o));
      const OriginAnalysis a = analyse_origin(frames, o, c.settings, plan);
      const RunAnalysis r =
          run_analysis(std::vector<float>(values.begin(), values.begin() + 12 * o), c.settings, plan);
      ASSERT_EQ(a.probabilities.size(), r.coherence.probabilities.size());
      for (std::size_t i = 0; i < a.probabilities.size(); ++i)
        EXPECT_NEAR(a.probabilities[i], r.coherence.probabilities[i], 1e-4) << i;
      ASSERT_EQ(a.significant.size(), r.significant.size());
      for (std::size_t i = 0; i < a.significant.size(); ++i)
        EXPECT_EQ(a.significant[i].bin, r.significant[i].bin);
      // The specified size check stops both or neither (where 4 m^2 p > n / 10 the run stops
      // before the fit; the helper above does not check it).
      const auto m = static_cast<long>(a.significant.size());
      if (m == 0 || 4 * m * m > 12L * o / 10) {
        EXPECT_TRUE(a.as_specified.empty());
        continue;
      }
      ASSERT_EQ(a.as_specified.size(), r.forecast.size());
      for (std::size_t j = 0; j < r.forecast.size(); ++j)
        EXPECT_NEAR(a.as_specified[j], r.forecast[j], 1e-4 * std::fabs(r.forecast[j]) + 1e-4) << j;
      ++specified;
    }
    EXPECT_EQ(specified > 0, c.forecasts) << c.file;  // else the comparison proved nothing
  }
}

// MASE and RMSE of seasonal naive and the specified forecast, recomputed from the origin's
// forecast frames and the data.
TEST(Scores, MaseIsScaledByTheInSampleSeasonalNaiveError) {
  const std::vector<float> values = example("nottem/nottem.dat");
  const Settings s = monthly(1, 5, 2);
  const numeric::FftPlan plan(12);
  const SeriesFrames frames = transform_series(values, s, plan);
  const SeriesBacktest b = run_backtest(frames, 4, s, plan);
  ASSERT_EQ(b.origins, 4);
  ASSERT_EQ(b.first_origin, 16);
  const std::vector<StepScores>& naive = b.of(Method::SeasonalNaive);
  ASSERT_EQ(naive.size(), 2u);
  EXPECT_EQ(naive[0].forecasts, 4);
  EXPECT_EQ(naive[1].forecasts, 3);  // the last origin's second step is past the sample
  for (int h = 0; h < 2; ++h) {
    double mase = 0.0, squares = 0.0, asmase = 0.0;
    int count = 0;
    for (int o = 16; o + h < 20; ++o) {
      double scale = 0.0;
      for (int t = 12; t < 12 * o; ++t) scale += std::fabs(values[t] - values[t - 12]);
      scale /= 12 * o - 12;
      const OriginAnalysis a = analyse_origin(frames, o, s, plan);
      double absolute = 0.0, specified = 0.0;
      for (int j = 0; j < 12; ++j) {
        const double actual = values[12 * (o + h) + j];
        const double error = actual - values[12 * (o - 1) + j];
        absolute += std::fabs(error);
        squares += error * error;
        specified += std::fabs(actual - a.as_specified.at(12 * h + j));
      }
      mase += absolute / 12 / scale;
      asmase += specified / 12 / scale;
      ++count;
    }
    EXPECT_NEAR(naive[h].mase, mase / count, 1e-12) << h;
    EXPECT_NEAR(naive[h].rmse, std::sqrt(squares / (12 * count)), 1e-9) << h;
    EXPECT_NEAR(b.of(Method::AsSpecified)[h].mase, asmase / count, 1e-12) << h;
    EXPECT_EQ(naive[h].coverage.size(), 2u);  // the spread of a random walk of frames
    EXPECT_EQ(b.of(Method::Levels)[h].coverage.size(), 2u);
  }
}

TEST(Backtest, SameNumbersForEveryThreadCount) {
  const std::vector<float> values = example("co2/co2.dat");
  const Settings s = monthly(1, 3, 2, 10.0f);
  const numeric::FftPlan plan(12);
  const SeriesBacktest one = run_backtest(transform_series(values, s, plan), 10, s, plan);
  for (int threads : {2, 3, 8}) {
    const SeriesBacktest many =
        run_backtest(transform_series(values, s, plan, {threads}), 10, s, plan, {threads});
    for (int m = 0; m < kMethods; ++m) {
      EXPECT_EQ(one.scored[m], many.scored[m]);
      if (!one.scored[m]) continue;
      for (int h = 0; h < 2; ++h) {
        const StepScores& a = one.steps[m][h];
        const StepScores& b = many.steps[m][h];
        EXPECT_EQ(a.mase, b.mase) << threads << " threads, method " << m;
        EXPECT_EQ(a.rmse, b.rmse);
        EXPECT_EQ(a.coverage, b.coverage);
      }
    }
  }
}

// ---- Forecast quality ------------------------------------------------------------------------

// A level that jumps and drifts: `changes` follows it and beats seasonal naive; the specified
// forecast, its level fixed at the sample mean, loses to seasonal naive.
TEST(Quality, ChangesFollowsALevelShiftAndDrift) {
  for (unsigned seed : {22u, 23u}) {
    // 24 years, a jump of 4 after 6 years, a drift of 0.1 a month (1.2 a year).
    const std::vector<float> values = generated(seed, 24, 4.0, 6, 0.1);
    const Settings s = monthly(1, 5, 1);
    const numeric::FftPlan plan(12);
    const SeriesBacktest b = run_backtest(transform_series(values, s, plan), 10, s, plan);
    const double naive = b.of(Method::SeasonalNaive)[0].mase;
    EXPECT_LT(b.of(Method::Changes)[0].mase, 0.85 * naive) << seed;
    EXPECT_GT(b.of(Method::AsSpecified)[0].mase, 2.0 * naive) << seed;
    EXPECT_GT(b.of(Method::AsSpecified)[0].forecasts, 5) << seed;
    EXPECT_EQ(choose_model(b), ModelKind::Changes) << seed;
  }
}

// A quarterly series whose drift breaks from +3 to -12 a quarter 6 years before its end (the
// study's drift break): the drift variants choose a recent mean, which follows the new drift
// (-48 a quarter in the frame's mean) where the sample's mean change (about +0.5) does not, and
// `changes` scores far better with it.
TEST(Quality, ChangesFollowsADriftBreakWithARecentDrift) {
  for (unsigned seed : {1u, 2u}) {
    Noise noise(seed);
    std::vector<float> values;
    const double wave[] = {1.0, -0.5, -1.0, 0.5};
    for (int t = 0; t < 100; ++t)
      values.push_back(static_cast<float>((t < 76 ? 500.0 + 3.0 * t : 728.0 - 12.0 * (t - 76)) +
                                          60.0 * wave[t % 4] + 15.0 * noise()));
    Settings s;
    s.band = {4, 1, 2, 0.0f};
    s.threshold = 0.99f;
    s.levels = {80.0f, 95.0f};
    const numeric::FftPlan plan(4);
    const SeriesFrames frames = transform_series(values, s, plan);
    // As auto runs it: changes with the drift its variants choose.
    const SeriesBacktest b =
        run_backtest(BacktestRequest{frames, default_origins(frames.frames), s, plan, {}, true, true});
    EXPECT_EQ(b.drift.drift.kind, forecast::DriftKind::Recent) << seed;
    ASSERT_EQ(b.drift.variants.size(), forecast::drift_variants().size());
    const double sample = mean_mase(b.drift.variants[0].steps);
    EXPECT_LT(mean_mase(b.drift.variants[static_cast<std::size_t>(b.drift.chosen)].steps), 0.97 * sample) << seed;
    EXPECT_LT(mean_mase(b.of(Method::Changes)), sample) << seed;
    const std::vector<forecast::RankedBin> ranked = analyse_origin(frames, frames.frames, s, plan).ranked;

    const forecast::ModelSize size{frames.frames, 1, ModelKind::Changes, 4};
    const forecast::ModelRun run = forecast::run_model(frames.raw, ranked, size, 1, plan, {b.drift.drift, {}});
    ASSERT_TRUE(run.forecast);
    const double change = run.forecast->drift[0] / 4.0;  // bin 0 is the frame's sum
    EXPECT_NEAR(change, -48.0, 8.0) << seed;
    EXPECT_NEAR(run.fit->mean[0] / 4.0, 0.0, 10.0) << seed;
  }
}

// A series that holds its level: `levels` beats `changes`, and `auto` picks `levels`.
TEST(Quality, LevelsWinsOnAStationarySeriesAndAutoPicksIt) {
  for (unsigned seed : {31u, 32u, 33u}) {
    const std::vector<float> values = generated(seed, 24, 0.0, 0, 0.0);
    const Settings s = monthly(1, 5, 2);
    const numeric::FftPlan plan(12);
    const SeriesBacktest b = run_backtest(transform_series(values, s, plan), 10, s, plan);
    EXPECT_LT(mean_mase(b.of(Method::Levels)), mean_mase(b.of(Method::Changes))) << seed;
    EXPECT_EQ(choose_model(b), ModelKind::Levels) << seed;
    EXPECT_EQ(choose_model(values, s, plan), ModelKind::Levels) << seed;
  }
}

// The intervals cover near their levels where the model is right: a long stationary series,
// its noise spread over bins the model does not carry.
TEST(Quality, IntervalsCoverNearTheirLevels) {
  const std::vector<float> values = generated(41, 60, 0.0, 0, 0.0);
  Settings s = monthly(1, 6, 1);
  s.levels = {50.0f, 80.0f, 95.0f};
  const numeric::FftPlan plan(12);
  const SeriesBacktest b = run_backtest(transform_series(values, s, plan), 30, s, plan);
  const std::vector<double>& c = b.of(Method::Levels)[0].coverage;
  ASSERT_EQ(c.size(), 3u);
  EXPECT_NEAR(c[0], 0.50, 0.08);
  EXPECT_NEAR(c[1], 0.80, 0.06);
  EXPECT_NEAR(c[2], 0.95, 0.04);
}

// On shipped examples (as their control files run them), `auto` stays ahead of seasonal naive
// one frame ahead.
TEST(Quality, AutoBeatsSeasonalNaiveOnShippedExamples) {
  struct Case {
    std::string file;
    int samples;
    Settings settings;
  } cases[] = {{"nottem/nottem.dat", 216, monthly(1, 5, 2)}, {"co2/co2.dat", 468, monthly(1, 3, 2)}};
  for (const Case& c : cases) {
    std::vector<float> values = example(c.file);
    values.resize(c.samples);
    const numeric::FftPlan plan(12);
    const SeriesFrames frames = transform_series(values, c.settings, plan);
    const SeriesBacktest b = run_backtest(frames, default_origins(frames.frames), c.settings, plan);
    const Method chosen = choose_model(b) == ModelKind::Levels ? Method::Levels : Method::Changes;
    EXPECT_LT(b.of(chosen)[0].mase, 0.8 * b.of(Method::SeasonalNaive)[0].mase) << c.file;
    EXPECT_EQ(b.of(chosen)[0].missed, 0) << c.file;
  }
}

// ---- The choice of auto and the calibrated intervals ----------------------------------------

// A backtest filled by hand: `origins` origins of one step of frames of 4, every actual 0 and
// every naive scale 1, so that a forecast's error is minus its value.
SeriesBacktest hand_backtest(int origins) {
  SeriesBacktest b;
  b.first_origin = 2;
  b.origins = origins;
  b.frames_ahead = 1;
  b.frame_length = 4;
  b.levels = {80.0f, 95.0f};
  b.actual.assign(static_cast<std::size_t>(origins) * 4, 0.0f);
  b.scales.assign(static_cast<std::size_t>(origins), 1.0);
  for (auto& f : b.forecasts) f.resize(static_cast<std::size_t>(origins));
  return b;
}

// Gives method m at every origin the forecast `value(origin, sample)` with spread `sd`.
template <class Value>
void put(SeriesBacktest& b, Method m, Value value, double sd = 1.0) {
  b.scored[static_cast<std::size_t>(m)] = true;
  for (int i = 0; i < b.origins; ++i) {
    MethodForecast f;
    for (int j = 0; j < 4; ++j) {
      f.values.push_back(static_cast<float>(value(i, j)));
      f.centre.push_back(value(i, j));
      f.std_dev.push_back(sd);
    }
    b.forecasts[static_cast<std::size_t>(m)][static_cast<std::size_t>(i)] = f;
  }
}

// The lowest MASE wins alone; two methods of equal, opposite errors combine to a better one;
// a candidate without a forecast at an origin it could forecast from takes no part; smooth's
// forms are never combined with each other.
TEST(Choice, BestAloneOrTheBestCombinedByInverseMeanSquares) {
  const auto constant = [](double c) { return [c](int, int) { return c; }; };
  const auto alternating = [](double c) { return [c](int i, int) { return i % 2 == 0 ? c : -c; }; };
  {
    SeriesBacktest b = hand_backtest(10);
    put(b, Method::Changes, constant(2.0));
    put(b, Method::Levels, constant(1.0));
    put(b, Method::SeasonalNaive, constant(3.0));
    const Method candidates[] = {Method::Changes, Method::Levels, Method::SeasonalNaive};
    const Choice c = choose(b, candidates, true);
    ASSERT_EQ(c.methods.size(), 1u);  // errors of one sign: no combination does better
    EXPECT_EQ(c.methods[0], Method::Levels);
    EXPECT_DOUBLE_EQ(c.mase, 1.0);
    EXPECT_DOUBLE_EQ(c.ranked[static_cast<std::size_t>(Method::Changes)], 2.0);
  }
  {
    SeriesBacktest b = hand_backtest(10);
    put(b, Method::Changes, constant(1.0));
    put(b, Method::Smooth, constant(-1.0));
    put(b, Method::SmoothLog, constant(-1.5));
    const Method candidates[] = {Method::Changes, Method::Smooth, Method::SmoothLog};
    const Choice c = choose(b, candidates, true);
    ASSERT_EQ(c.methods.size(), 2u);  // changes and smooth cancel; smooth (log) stays out
    EXPECT_NEAR(c.weights[0], 0.5, 1e-12);
    EXPECT_NEAR(c.mase, 0.0, 1e-12);
    EXPECT_EQ(choose(b, candidates, false).methods.size(), 1u);
  }
  {
    SeriesBacktest b = hand_backtest(10);
    put(b, Method::Changes, constant(1.0));
    put(b, Method::Levels, alternating(0.5));
    b.forecasts[static_cast<std::size_t>(Method::Levels)][3].reset();
    const Method candidates[] = {Method::Changes, Method::Levels};
    const Choice c = choose(b, candidates, true);
    ASSERT_EQ(c.methods.size(), 1u);
    EXPECT_EQ(c.methods[0], Method::Changes);
    EXPECT_TRUE(std::isnan(c.ranked[static_cast<std::size_t>(Method::Levels)]));
  }
}

// Errors of a known normal distribution, sd `true_sd`, against a stated sd of 1: the factors
// are the ratio of the two (to the sampling of 40 origins' quantiles), and fewer origins than
// kCalibrationOrigins keep the stated bounds.
TEST(Calibration, FactorsFollowTheBacktestsOwnErrors) {
  const struct {
    int origins;
    double true_sd;
    double factor;  // expected, at both levels
    double tolerance;
  } cases[] = {
      {40, 2.0, 2.0, 0.15},
      {40, 0.5, 0.5, 0.04},
      {40, 1.0, 1.0, 0.08},
      {kCalibrationOrigins - 1, 3.0, 1.0, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.true_sd);
    SeriesBacktest b = hand_backtest(c.origins);
    const int n = c.origins * 4;
    // The errors at the normal's quantiles, in an order that mixes origins and samples.
    put(b, Method::Smooth, [&](int i, int j) {
      const int k = (j * c.origins + i * 7) % n;
      return c.true_sd * forecast::normal_quantile((k + 0.5) / n);
    });
    const Calibration cal = calibrate(b, b.forecasts[static_cast<std::size_t>(Method::Smooth)]);
    ASSERT_EQ(cal.factors.size(), 1u);
    EXPECT_EQ(cal.calibrated(), c.origins >= kCalibrationOrigins);
    for (const double f : cal.factors[0]) EXPECT_NEAR(f, c.factor, c.tolerance);
    // The bounds of a forecast of 10 with sd 1 at 80 %: 10 -/+ factor * 1.2816.
    MethodForecast f;
    f.values.assign(4, 10.0f);
    f.centre.assign(4, 10.0);
    f.std_dev.assign(4, 1.0);
    const float levels[] = {80.0f};
    const std::vector<forecast::ForecastInterval> iv = intervals(f, levels, &cal);
    EXPECT_NEAR(iv[0].upper[2] - 10.0, cal.factors[0][0] * 1.2815516, 1e-4);
  }
}

}  // namespace
}  // namespace tramel::backtest
