// The model `smooth`: its forecast on series with a known answer (a fixed waveform, a swing that
// grows with the level, a drift that breaks), its pieces against their closed forms (the
// waveform's gains, the forecast's variance, the local level's optimal weight), the choice of
// the waveform's groups, and the states of one pass against fits from scratch at the origins.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "smoothing/smoothing.hpp"

namespace tramel::smoothing {
namespace {

// A fixed waveform of frame_length 12 at sample t.
double waveform(int t) {
  const double phase = 2.0 * std::numbers::pi * (t % 12) / 12.0;
  return 10.0 * std::sin(phase) + 4.0 * std::cos(2.0 * phase);
}

template <class F>
std::vector<float> series_of(int n, F value) {
  std::vector<float> x;
  for (int t = 0; t < n; ++t) x.push_back(static_cast<float>(value(t)));
  return x;
}

double max_gap(std::span<const double> a, std::span<const double> b) {
  double gap = 0.0;
  for (std::size_t i = 0; i < a.size(); ++i) gap = std::max(gap, std::fabs(a[i] - b[i]));
  return gap;
}

// A series whose level and waveform never change is forecast exactly, from two frames on, and
// the samples before the last whole frames (the sample is not a whole number of frames) take no
// part: the forecast continues the last datum.
TEST(Smooth, FixedWaveformIsForecastExactly) {
  for (const int samples : {24, 29, 120, 127}) {
    const std::vector<float> x = series_of(samples + 24, [](int t) { return 100.0 + 0.5 * t + waveform(t); });
    const Series s = model_series(std::span(x).first(samples), 12, Transform::None);
    EXPECT_EQ(s.first_sample, samples % 12);
    const Forecast f = forecast_model(fit_model(s, {}), 2);
    std::vector<double> actual(x.begin() + samples, x.end());
    EXPECT_LT(max_gap(f.values, actual), 1e-4) << samples;  // the values in single precision
  }
}

// The three ways to the same series on the data's scale: a copy of the values, the caller's
// shared whole frames (not copied), and a longer frame's series framed anew from the first
// samples of a shorter one, all with the same frames and means as model_series of those samples.
TEST(Smooth, SeriesSharedOrReframedIsTheSeriesOfThoseValues) {
  const std::vector<float> x = series_of(12 * 9, [](int t) { return 100.0 + 0.5 * t + waveform(t); });
  const Series copied = model_series(x, 12, Transform::None);
  const SharedValues shared = std::make_shared<const std::vector<float>>(x);
  const Series kept = model_series(shared, 12);
  EXPECT_EQ(kept.read.get(), shared.get());
  EXPECT_EQ(kept.means, copied.means);
  EXPECT_EQ(*kept.read, *copied.read);
  const Series longer = reframed(copied, 12 * 8, 36);
  const Series direct = model_series(std::span(x).first(12 * 8), 36, Transform::None);
  EXPECT_EQ(longer.frames, 2);
  EXPECT_EQ(longer.first_sample, direct.first_sample);
  EXPECT_EQ(longer.means, direct.means);
  EXPECT_EQ(*longer.read, *direct.read);
  const Series logs = model_series(x, 12, Transform::Log);
  const Series longer_logs = reframed(logs, 12 * 8, 36);
  EXPECT_EQ(longer_logs.means, model_series(std::span(x).first(12 * 8), 36, Transform::Log).means);
  EXPECT_FALSE(longer_logs.read);
}

// Frames of a day whose shape differs at the weekend: with a cycle of 7 waveforms the next
// week is forecast exactly, each day its own shape; with one waveform it is not.
TEST(Smooth, WeeklyCycleOfDayWaveforms) {
  const auto value = [](int t) {
    const int hour = t % 24, day = t / 24 % 7;
    return 500.0 + (day >= 5 ? 0.5 : 1.0) * 100.0 * std::sin(2.0 * std::numbers::pi * hour / 24.0);
  };
  const std::vector<float> x = series_of(24 * 7 * 5, value);
  const Series s = model_series(std::span(x).first(24 * 7 * 4 + 24 * 3), 24, Transform::None);
  std::vector<double> actual;
  for (int t = 24 * 7 * 4 + 24 * 3; t < 24 * 7 * 5; ++t) actual.push_back(value(t));
  const Forecast weekly = forecast_model(fit_model(s, {{}, 7}), 4);
  EXPECT_LT(max_gap(weekly.values, actual), 1e-4);
  const Forecast daily = forecast_model(fit_model(s, {}), 4);
  EXPECT_GT(max_gap(daily.values, actual), 10.0);
}

// exp(a + r t) (1 + 0.3 sin): on the log scale a linear trend and a fixed waveform, so the
// log model continues the growth, its swing growing by exp(12 r) a frame; without the transform
// the swing stays that of the frames seen.
TEST(Smooth, LogModelGrowsTheSwingAtItsRate) {
  const double rate = 0.01;
  const auto value = [&](int t) {
    return 50.0 * std::exp(rate * t) * (1.0 + 0.3 * std::sin(2.0 * std::numbers::pi * (t % 12) / 12.0));
  };
  const std::vector<float> x = series_of(144, value);
  const auto swing = [](const std::vector<double>& v, int frame) {
    const auto first = v.begin() + 12 * frame;
    return *std::max_element(first, first + 12) - *std::min_element(first, first + 12);
  };
  const Forecast log = forecast_model(fit_model(model_series(x, 12, Transform::Log), {}), 2);
  for (int i = 0; i < 24; ++i) EXPECT_NEAR(log.values[i] / value(144 + i), 1.0, 1e-5) << i;
  EXPECT_NEAR(swing(log.values, 1) / swing(log.values, 0), std::exp(12 * rate), 1e-5);
  const Forecast none = forecast_model(fit_model(model_series(x, 12, Transform::None), {}), 2);
  EXPECT_LT(swing(none.values, 1) / swing(none.values, 0), 1.0 + 1e-3);
}

// A quarterly series whose drift turns from +3 to -12 a quarter: within a few frames of the
// break the level follows the new drift.
TEST(Smooth, LevelFollowsADriftBreak) {
  const auto value = [](int t) {
    const double level = t < 76 ? 500.0 + 3.0 * t : 500.0 + 3.0 * 76 - 12.0 * (t - 76);
    const double season[] = {60.0, -30.0, -60.0, 30.0};
    return level + season[t % 4];
  };
  const std::vector<float> x = series_of(100, value);
  for (const int after : {3, 6}) {
    const int samples = 76 + 4 * after;
    const Forecast f = forecast_model(fit_model(model_series(std::span(x).first(samples), 4, Transform::None), {}), 1);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(f.values[i], value(samples + i), 5.0) << after << " " << i;
  }
}

// The waveform's state from its gains: 0 keeps the mean of the shapes, 1 the last; with groups,
// the significant part follows its gain and the rest is the mean (or left out).
TEST(Smooth, WaveformFilterKeepsTheMeanOrTheLastFrame) {
  const int lb = 8;
  std::mt19937 gen(3);
  std::normal_distribution<double> noise;
  std::vector<std::vector<double>> shapes(5, std::vector<double>(lb));
  for (auto& s : shapes)
    for (double& v : s) v = noise(gen);
  const std::vector<int> bins = {2};
  const BinProjection projection(lb, bins);
  std::vector<std::vector<double>> parts(shapes.size(), std::vector<double>(lb));
  for (std::size_t f = 0; f < shapes.size(); ++f) projection.apply(shapes[f], parts[f]);
  const auto mean = [&](const std::vector<std::vector<double>>& v) {
    std::vector<double> m(lb, 0.0);
    for (const auto& s : v)
      for (int j = 0; j < lb; ++j) m[j] += s[j] / static_cast<double>(v.size());
    return m;
  };
  std::vector<std::vector<double>> rests = shapes;
  for (std::size_t f = 0; f < shapes.size(); ++f)
    for (int j = 0; j < lb; ++j) rests[f][j] -= parts[f][j];
  const std::vector<double> mean_rest = mean(rests);
  std::vector<double> last_and_mean(lb);
  for (int j = 0; j < lb; ++j) last_and_mean[j] = parts.back()[j] + mean_rest[j];

  struct Case {
    double gamma;
    WaveformBins bins;
    std::vector<double> expected;
  };
  const Case cases[] = {
      {0.0, WaveformBins::All, mean(shapes)},
      {1.0, WaveformBins::All, shapes.back()},
      {0.0, WaveformBins::SignificantSmoothed, mean(shapes)},
      {1.0, WaveformBins::SignificantSmoothed, last_and_mean},
      {1.0, WaveformBins::SignificantOnly, parts.back()},
      {0.0, WaveformBins::SignificantOnly, mean(parts)},
  };
  for (const Case& c : cases) {
    WaveformFilter filter(lb, WaveformWeights{c.gamma, c.bins, bins});
    for (std::size_t f = 0; f < shapes.size(); ++f) {
      const std::vector<double> before(filter.waveform().begin(), filter.waveform().end());
      const double s = filter.update(shapes[f], parts[f]);
      double expected = 0.0;
      for (int j = 0; j < lb && f > 0; ++j) expected += (shapes[f][j] - before[j]) * (shapes[f][j] - before[j]);
      EXPECT_NEAR(s, expected, 1e-12);
    }
    EXPECT_LT(max_gap(filter.waveform(), c.expected), 1e-12) << c.gamma << " " << static_cast<int>(c.bins);
  }
}

// The forecast's variance against its closed forms: a local level adds alpha^2 sigma^2 a step,
// a linear trend (alpha + j beta)^2, a damped one (alpha + beta (phi + ... + phi^j))^2; the
// waveform adds gamma^2 times its one-step variance per frame ahead.
TEST(Smooth, ForecastVarianceHasTheClosedForm) {
  struct Case {
    LevelWeights level;
    double gamma;
  };
  const Case cases[] = {{{Trend::None, 0.3, 0.0, 0.0}, 0.0},
                        {{Trend::Linear, 0.4, 0.1, 1.0}, 0.5},
                        {{Trend::Damped, 0.5, 0.2, 0.9}, 1.0}};
  for (const Case& c : cases) {
    Model m;
    m.frame_length = 4;
    m.weights.level = c.level;
    m.weights.waveform.gamma = c.gamma;
    State s;
    s.frames = 10;
    s.waveform.assign(4, 0.0);
    s.level_errors = 36;
    s.level_squares = 2.0 * (36 - c.level.parameters());  // sigma^2 = 2
    s.waveform_later_errors = 8;
    s.waveform_later_squares = 8 * 4 * 0.5;  // 0.5 a sample
    const Forecast f = forecast_from(m, s, 3);
    double effects = 0.0;
    for (int h = 1; h <= 12; ++h) {
      double damping = 0.0;
      for (int i = 1; i < h; ++i) damping += std::pow(c.level.phi, i);
      const double effect = h == 1 ? 1.0 : c.level.alpha + c.level.beta * damping;
      effects += effect * effect;
      const double variance = 2.0 * effects + 0.5 * c.gamma * c.gamma * ((h - 1) / 4);
      EXPECT_NEAR(f.std_dev[h - 1], std::sqrt(variance), 1e-12) << h;
    }
  }
}

// A random walk observed in noise: the local level's weight that minimises the one-step errors
// is alpha = (sqrt(q^2 + 4 q) - q) / 2, q the walk's variance over the noise's.
TEST(Smooth, LocalLevelFindsTheOptimalWeight) {
  std::mt19937 gen(11);
  std::normal_distribution<double> noise;
  for (const double q : {0.1, 1.0}) {
    std::vector<double> z;
    double walk = 0.0;
    for (int t = 0; t < 40000; ++t) {
      walk += std::sqrt(q) * noise(gen);
      z.push_back(walk + noise(gen));
    }
    const LevelFit fit = fit_level(z, 10, Trend::None);
    EXPECT_NEAR(fit.weights.alpha, (std::sqrt(q * q + 4 * q) - q) / 2, 0.03) << q;
  }
}

// Groups are taken only when they earn it: a fixed waveform (bins 1 to 3) under noise keeps
// one gamma for every bin, though bin 1 alone is named significant; a significant bin whose
// amplitude wanders, under noise at the others, moves on its own, the noise kept out.
TEST(Smooth, WaveformGroupsWhenTheDataSaySo) {
  std::mt19937 gen(5);
  std::normal_distribution<double> noise;
  double amplitude = 10.0;
  std::vector<float> stable, wandering;
  for (int t = 0; t < 12 * 30; ++t) {
    if (t % 12 == 0) amplitude += 3.0 * noise(gen);
    const double phase = 2.0 * std::numbers::pi * (t % 12) / 12.0;
    stable.push_back(static_cast<float>(100.0 + 2.0 * std::sin(phase) + waveform(t) + noise(gen)));
    wandering.push_back(static_cast<float>(100.0 + amplitude * std::sin(phase) + 3.0 * noise(gen)));
  }
  const std::vector<int> bins = {1};
  const Model a = fit_model(model_series(stable, 12, Transform::None), {bins});
  EXPECT_EQ(a.weights.waveform.bins, WaveformBins::All);
  const Model b = fit_model(model_series(wandering, 12, Transform::None), {bins});
  EXPECT_NE(b.weights.waveform.bins, WaveformBins::All);
  EXPECT_GE(b.weights.waveform.gamma, 0.35);
  EXPECT_EQ(b.choice.groups.size(), 3u);
}

// With the weights fixed, the state of one pass at an origin is the fit from scratch on the
// sample up to that origin, bit for bit, and so is its forecast.
TEST(Smooth, StatesOfOnePassAreTheFitsAtTheOrigins) {
  std::mt19937 gen(7);
  std::normal_distribution<double> noise;
  double level = 50.0;
  const std::vector<float> x = series_of(12 * 20 + 5, [&](int t) {
    level += 0.3 + 0.5 * noise(gen);
    return level + waveform(t) * (1.0 + 0.02 * t / 12) + noise(gen);
  });
  const std::vector<int> bins = {1, 2};
  const Series whole = model_series(x, 12, Transform::Log);
  const Model model = fit_model(whole, {bins});
  const std::vector<int> origins = {2, 3, 9, 19, 20};
  const std::vector<State> states = states_at(whole, model.weights, origins);
  ASSERT_EQ(states.size(), origins.size());
  for (std::size_t i = 0; i < origins.size(); ++i) {
    const Series shorter = model_series(std::span(x).first(5 + 12 * origins[i]), 12, Transform::Log);
    const int end[] = {origins[i]};
    const State refit = states_at(shorter, model.weights, end).front();
    EXPECT_EQ(states[i].level, refit.level);
    EXPECT_EQ(states[i].slope, refit.slope);
    EXPECT_EQ(states[i].waveform, refit.waveform);
    EXPECT_EQ(states[i].level_squares, refit.level_squares);
    EXPECT_EQ(states[i].waveform_later_squares, refit.waveform_later_squares);
    EXPECT_EQ(forecast_from(model, states[i], 2).values, forecast_from(model, refit, 2).values);
  }
  EXPECT_EQ(states.back().waveform, model.state.waveform);
  EXPECT_EQ(states.back().level, model.state.level);
  EXPECT_THROW(states_at(whole, model.weights, std::vector<int>{1}), std::invalid_argument);
}

// Log needs positive, finite values; no transform needs finite ones. The log intervals are the
// exponentials of the log scale's, so they surround the forecast unevenly.
TEST(Smooth, TransformsAndTheirIntervals) {
  const std::vector<float> positive = {1.0f, 2.0f}, zero = {1.0f, 0.0f}, nan = {1.0f, NAN};
  EXPECT_TRUE(transform_applies(positive, Transform::Log));
  EXPECT_FALSE(transform_applies(zero, Transform::Log));
  EXPECT_TRUE(transform_applies(zero, Transform::None));
  EXPECT_FALSE(transform_applies(nan, Transform::None));

  Forecast f;
  f.transform = Transform::Log;
  f.centre = {std::log(100.0)};
  f.values = {100.0};
  f.std_dev = {0.5};
  const float levels[] = {80.0f};
  const auto interval = forecast_intervals(f, levels).front();
  EXPECT_NEAR(interval.lower[0], 100.0 * std::exp(-0.5 * 1.2815515655446004), 1e-3);
  EXPECT_NEAR(interval.upper[0], 100.0 * std::exp(0.5 * 1.2815515655446004), 1e-3);
}

}  // namespace
}  // namespace tramel::smoothing
