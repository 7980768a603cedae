// The rolling-origin scores: every origin analysed, its forecasts set against the frames that
// follow it, and the scores added up origin after origin.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "backtest/backtest.hpp"

namespace tramel::backtest {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

// What one method's forecast at one origin and step contributed.
struct StepErrors {
  double scaled_absolute = 0.0;  // mean absolute error over the frame, over the in-sample scale
  double squares = 0.0;          // sum of squared errors over the frame
  std::vector<int> inside;       // per level, samples inside the interval
};

// The in-sample mean absolute error of seasonal naive (lag one frame) before the origin.
double naive_scale(std::span<const float> values, int frame_length, int origin) {
  const auto lb = static_cast<std::size_t>(frame_length);
  const std::size_t n = static_cast<std::size_t>(origin) * lb;
  double sum = 0.0;
  for (std::size_t t = lb; t < n; ++t) sum += std::fabs(static_cast<double>(values[t]) - values[t - lb]);
  return n > lb ? sum / static_cast<double>(n - lb) : 0.0;
}

// Whether `actual` lies within z standard deviations of the forecast at `at`, on its scale.
bool within(const MethodForecast& f, std::size_t at, double actual, double z) {
  if (f.log_scale) return actual > 0.0 && std::fabs(std::log(actual) - f.centre[at]) <= z * f.std_dev[at];
  return std::fabs(actual - f.centre[at]) <= z * f.std_dev[at];
}

// The errors of a forecast at origin `index` at the steps the sample still holds.
std::vector<StepErrors> score(const SeriesBacktest& b, int index, const MethodForecast& f,
                              std::span<const double> z) {
  const int lb = b.frame_length;
  const int frames = b.first_origin + b.origins;
  const int origin = b.first_origin + index;
  const int steps = static_cast<int>(f.values.size()) / lb;
  const bool spread = !f.std_dev.empty();
  std::vector<StepErrors> out;
  for (int h = 0; h < steps && origin + h < frames; ++h) {
    StepErrors e;
    e.inside.assign(spread ? z.size() : 0, 0);
    double absolute = 0.0;
    for (int j = 0; j < lb; ++j) {
      const std::size_t at = static_cast<std::size_t>(h) * lb + j;
      const double actual = b.actual[static_cast<std::size_t>(index + h) * lb + j];
      const double error = actual - f.values[at];
      absolute += std::fabs(error);
      e.squares += error * error;
      for (std::size_t q = 0; spread && q < z.size(); ++q)
        if (within(f, at, actual, z[q])) ++e.inside[q];
    }
    const double scale = b.scales[static_cast<std::size_t>(index)];
    e.scaled_absolute = scale > 0.0 ? absolute / lb / scale : kNotANumber;
    out.push_back(std::move(e));
  }
  return out;
}

std::vector<double> quantiles_z(std::span<const float> levels) {
  std::vector<double> z;
  for (const float level : levels) z.push_back(forecast::normal_quantile(0.5 + static_cast<double>(level) / 200.0));
  return z;
}

// The scores of one method at every step, from its forecasts at the origins.
std::vector<StepScores> method_scores(const SeriesBacktest& b, Method m, std::span<const double> z) {
  const int lb = b.frame_length;
  const int frames = b.first_origin + b.origins;
  std::vector<StepScores> out;
  for (int h = 0; h < b.frames_ahead; ++h) {
    StepScores s;
    double scaled = 0.0, squares = 0.0;
    int scaled_count = 0;
    std::vector<long> inside;
    for (int i = 0; i < b.origins; ++i) {
      const int origin = b.first_origin + i;
      if (origin + h >= frames || origin < minimum_frames(m)) continue;
      const std::optional<MethodForecast>& f = b.at(m, i);
      if (!f || static_cast<int>(f->values.size()) / lb <= h) {
        ++s.missed;
        continue;
      }
      const StepErrors e = score(b, i, *f, z)[static_cast<std::size_t>(h)];
      ++s.forecasts;
      if (!std::isnan(e.scaled_absolute)) {
        scaled += e.scaled_absolute;
        ++scaled_count;
      }
      squares += e.squares;
      inside.resize(e.inside.size(), 0);
      for (std::size_t q = 0; q < e.inside.size(); ++q) inside[q] += e.inside[q];
    }
    s.mase = scaled_count > 0 ? scaled / scaled_count : kNotANumber;
    s.rmse = s.forecasts > 0 ? std::sqrt(squares / (static_cast<double>(s.forecasts) * lb)) : kNotANumber;
    for (const long n : inside)
      s.coverage.push_back(static_cast<double>(n) / (static_cast<double>(s.forecasts) * lb));
    out.push_back(std::move(s));
  }
  return out;
}

// A backtest's frame of scores: its origins (at most frames - least of them, the last ones),
// what forecasts are scored against, and an empty forecast slot per method and origin.
SeriesBacktest scoring_frame(const SeriesFrames& series, int origins, int least, const Settings& settings) {
  SeriesBacktest b;
  b.origins = std::clamp(origins, 0, std::max(series.frames - least, 0));
  b.first_origin = series.frames - b.origins;
  b.frames_ahead = settings.frames_ahead;
  b.levels = settings.levels;
  b.frame_length = series.frame_length;
  const auto lb = static_cast<std::size_t>(series.frame_length);
  b.actual.assign(series.values().begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(b.first_origin) * lb),
                  series.values().end());
  for (int i = 0; i < b.origins; ++i)
    b.scales.push_back(naive_scale(series.values(), series.frame_length, b.first_origin + i));
  for (auto& f : b.forecasts) f.resize(static_cast<std::size_t>(b.origins));
  return b;
}

// The drift variants of `changes` scored at the origins among the last default_origins whose
// analyses gave them (`made`, by origin), and the one of lowest mean MASE over the steps.
DriftChoice choose_drift(const SeriesFrames& series, const Settings& settings,
                         std::span<const OriginAnalysis> made) {
  SeriesBacktest b = scoring_frame(series, default_origins(series.frames), kMinimumFrames, settings);
  const std::span<const forecast::Drift> variants = forecast::drift_variants();
  const std::vector<double> z = quantiles_z(settings.levels);
  DriftChoice choice;
  choice.origins = b.origins;
  double best = kNotANumber;
  auto& slots = b.forecasts[static_cast<std::size_t>(Method::Changes)];
  for (std::size_t d = 0; d < variants.size(); ++d) {
    for (auto& slot : slots) slot.reset();
    for (const OriginAnalysis& a : made) {
      const int i = a.origin - b.first_origin;
      if (i >= 0 && d < a.changes.variants.size())
        slots[static_cast<std::size_t>(i)] = method_forecast(a.changes.variants[d]);
    }
    DriftScores scores{variants[d], method_scores(b, Method::Changes, z)};
    const double mase = mean_mase(scores.steps);
    if (!std::isnan(mase) && (std::isnan(best) || mase < best)) {
      best = mase;
      choice.drift = variants[d];
      choice.chosen = static_cast<int>(d);
    }
    choice.variants.push_back(std::move(scores));
  }
  return choice;
}

}  // namespace

MethodForecast method_forecast(const std::vector<float>& frames) {
  MethodForecast f;
  f.values = frames;
  f.centre.assign(frames.begin(), frames.end());
  return f;
}

std::string_view method_name(Method method) {
  switch (method) {
    case Method::Changes:
      return "changes";
    case Method::Levels:
      return "levels";
    case Method::SeasonalNaive:
      return "seasonal naive";
    case Method::Smooth:
      return "smooth";
    case Method::SmoothLog:
      return "smooth (log)";
    case Method::SmoothWeekdays:
      return "smooth by weekday";
    case Method::SmoothWeeks:
      return "smooth in weeks";
    case Method::AsSpecified:
      break;
  }
  return "as-specified";
}

int minimum_frames(Method method) {
  switch (method) {
    case Method::Smooth:
    case Method::SmoothLog:
    case Method::SmoothWeekdays:
      return rules::kSmoothBacktestMinimumFrames;
    case Method::SmoothWeeks:
      return 2 * 7;
    case Method::SeasonalNaive:
      return 1;
    case Method::AsSpecified:
    case Method::Changes:
    case Method::Levels:
      break;
  }
  return kMinimumFrames;
}

MethodForecast method_forecast(const forecast::ModelForecast& forecast) {
  // The interval is about the forecast as it is written.
  MethodForecast f = method_forecast(forecast.frames);
  f.std_dev = forecast.std_dev;
  return f;
}

MethodForecast method_forecast(const smoothing::Forecast& forecast) {
  MethodForecast f;
  f.values.assign(forecast.values.begin(), forecast.values.end());
  f.centre = forecast.centre;
  f.std_dev = forecast.std_dev;
  f.log_scale = forecast.transform == smoothing::Transform::Log;
  return f;
}

MethodForecast seasonal_naive(std::span<const float> values, int frame_length, int frames_ahead) {
  const auto lb = static_cast<std::size_t>(frame_length);
  const std::size_t n = values.size() / lb * lb;
  double squares = 0.0;
  for (std::size_t t = lb; t < n; ++t) {
    const double d = static_cast<double>(values[t]) - values[t - lb];
    squares += d * d;
  }
  const double sd = n > lb ? std::sqrt(squares / static_cast<double>(n - lb)) : 0.0;
  MethodForecast f;
  for (int h = 0; h < frames_ahead; ++h) {
    f.values.insert(f.values.end(), values.begin() + static_cast<std::ptrdiff_t>(n - lb),
                    values.begin() + static_cast<std::ptrdiff_t>(n));
    f.std_dev.insert(f.std_dev.end(), lb, sd * std::sqrt(h + 1.0));
  }
  f.centre.assign(f.values.begin(), f.values.end());
  return f;
}

std::vector<MethodForecast> smooth_forecasts(const SmoothFit& fit, std::span<const int> origins,
                                             int frames_ahead) {
  std::vector<MethodForecast> out;
  const int lb = fit.series.frame_length;
  const int per = fit.frames_per_model_frame;
  if (per == 1) {
    for (const smoothing::State& s : smoothing::states_at(fit.series, fit.model.weights, origins))
      out.push_back(method_forecast(smoothing::forecast_from(fit.model, s, frames_ahead)));
    return out;
  }
  // Longer frames: the sample up to each origin framed anew, back from the origin.
  const int model_frames_ahead = (frames_ahead + per - 1) / per;
  for (const int origin : origins) {
    const smoothing::Series series =
        smoothing::reframed(fit.series, static_cast<std::int64_t>(origin) * lb, lb * per);
    const int end[] = {series.frames};
    const smoothing::State state = smoothing::states_at(series, fit.model.weights, end).front();
    MethodForecast f = method_forecast(smoothing::forecast_from(fit.model, state, model_frames_ahead));
    const auto n = static_cast<std::size_t>(frames_ahead) * static_cast<std::size_t>(lb);
    f.values.resize(n);
    f.centre.resize(n);
    f.std_dev.resize(n);
    out.push_back(std::move(f));
  }
  return out;
}

int default_origins(int frames) { return std::clamp(frames / 2, 0, 10); }

int default_origins_with_smooth(int frames) {
  return std::clamp(frames - rules::kSmoothBacktestMinimumFrames, 0, 10);
}

SeriesBacktest run_backtest(const BacktestRequest& q, parallel::Threads threads) {
  const SeriesFrames& series = q.series;
  const Settings& settings = q.settings;
  const int least = q.smooth.empty() ? kMinimumFrames : rules::kSmoothBacktestMinimumFrames;
  SeriesBacktest b = scoring_frame(series, q.origins, least, settings);
  const auto lb = static_cast<std::size_t>(series.frame_length);
  std::vector<int> origins;
  for (int i = 0; i < b.origins; ++i) origins.push_back(b.first_origin + i);
  const auto slot = [&](Method m) -> std::vector<std::optional<MethodForecast>>& {
    b.scored[static_cast<std::size_t>(m)] = true;
    return b.forecasts[static_cast<std::size_t>(m)];
  };

  // The VAR methods: each origin in a slot of its own, analysed on any thread.
  if (q.var_methods) {
    auto& specified = slot(Method::AsSpecified);
    auto& changes = slot(Method::Changes);
    auto& levels = slot(Method::Levels);
    std::vector<int> usable;
    for (const int o : origins)
      if (o >= kMinimumFrames) usable.push_back(o);
    // `changes` forecasts with the drift its variants choose, when asked to.
    const forecast::DriftRequest drift{{}, q.choose_drift ? forecast::drift_variants() : std::span<const forecast::Drift>()};
    const std::vector<OriginAnalysis> made = analyse_origins(series, usable, settings, q.plan, drift, threads);
    if (q.choose_drift) b.drift = choose_drift(series, settings, made);
    for (const OriginAnalysis& a : made) {
      const auto i = static_cast<std::size_t>(a.origin - b.first_origin);
      if (!a.as_specified.empty()) specified[i] = method_forecast(a.as_specified);
      if (q.choose_drift && !a.changes.variants.empty())
        changes[i] = method_forecast(a.changes.variants[static_cast<std::size_t>(b.drift.chosen)]);
      else if (a.changes.forecast) changes[i] = method_forecast(*a.changes.forecast);
      if (a.levels.forecast) levels[i] = method_forecast(*a.levels.forecast);
    }
  }
  auto& naive = slot(Method::SeasonalNaive);
  for (int i = 0; i < b.origins; ++i)
    naive[i] = seasonal_naive(series.values().first(static_cast<std::size_t>(origins[i]) * lb),
                              series.frame_length, settings.frames_ahead);
  // Smooth: one pass per fit gives its model at every origin.
  for (const SmoothFit& fit : q.smooth) {
    auto& out = slot(fit.method);
    std::vector<int> usable;
    for (const int o : origins)
      if (o >= minimum_frames(fit.method)) usable.push_back(o);
    std::vector<MethodForecast> made = smooth_forecasts(fit, usable, settings.frames_ahead);
    for (std::size_t k = 0; k < usable.size(); ++k)
      out[static_cast<std::size_t>(usable[k] - b.first_origin)] = std::move(made[k]);
  }

  const std::vector<double> z = quantiles_z(settings.levels);
  for (int m = 0; m < kMethods; ++m)
    if (b.scored[static_cast<std::size_t>(m)]) b.steps[static_cast<std::size_t>(m)] = method_scores(b, static_cast<Method>(m), z);
  return b;
}

SeriesBacktest run_backtest(const SeriesFrames& series, int origins, const Settings& settings,
                            const numeric::FftPlan& plan, parallel::Threads threads) {
  return run_backtest(BacktestRequest{series, origins, settings, plan}, threads);
}

double mean_mase(const std::vector<StepScores>& steps) {
  double sum = 0.0;
  int n = 0;
  for (const StepScores& s : steps) {
    if (s.forecasts > 0 && !std::isnan(s.mase)) {
      sum += s.mase;
      ++n;
    }
  }
  return n > 0 ? sum / n : kNotANumber;
}

forecast::ModelKind choose_model(const SeriesBacktest& backtest) {
  const double changes = mean_mase(backtest.of(Method::Changes));
  const double levels = mean_mase(backtest.of(Method::Levels));
  return !std::isnan(levels) && (std::isnan(changes) || levels < changes) ? forecast::ModelKind::Levels
                                                                         : forecast::ModelKind::Changes;
}

forecast::ModelKind choose_model(std::span<const float> values, const Settings& settings,
                                 const numeric::FftPlan& plan, parallel::Threads threads) {
  const SeriesFrames frames = transform_series(values, settings, plan, threads);
  return choose_model(run_backtest(frames, default_origins(frames.frames), settings, plan, threads));
}

}  // namespace tramel::backtest
