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
  bool made = false;
  double scaled_absolute = 0.0;  // mean absolute error over the frame, over the in-sample scale
  double squares = 0.0;          // sum of squared errors over the frame
  std::vector<int> inside;       // per level, samples inside the interval
};

// Per origin, the errors of every method at each step it forecast.
using Errors = std::vector<StepErrors>;
using OriginErrors = std::array<Errors, kMethods>;

// The in-sample mean absolute error of seasonal naive (lag one frame) before the origin.
double naive_scale(const SeriesFrames& s, int origin) {
  const std::size_t lb = static_cast<std::size_t>(s.frame_length);
  const std::size_t n = static_cast<std::size_t>(origin) * lb;
  double sum = 0.0;
  for (std::size_t t = lb; t < n; ++t) sum += std::fabs(static_cast<double>(s.values[t]) - s.values[t - lb]);
  return n > lb ? sum / static_cast<double>(n - lb) : 0.0;
}

// The errors of forecast frames (steps frame after frame) at the steps the sample still holds.
std::vector<StepErrors> score(const SeriesFrames& s, int origin, std::span<const float> frames,
                              const std::vector<double>* std_dev, std::span<const double> z,
                              double scale) {
  const int lb = s.frame_length;
  const int steps = static_cast<int>(frames.size()) / lb;
  std::vector<StepErrors> out;
  for (int h = 0; h < steps && origin + h < s.frames; ++h) {
    StepErrors e;
    e.made = true;
    e.inside.assign(std_dev ? z.size() : 0, 0);
    double absolute = 0.0;
    for (int j = 0; j < lb; ++j) {
      const std::size_t at = static_cast<std::size_t>(h) * lb + j;
      const double actual = s.values[static_cast<std::size_t>(origin + h) * lb + j];
      const double error = actual - frames[at];
      absolute += std::fabs(error);
      e.squares += error * error;
      if (std_dev) {
        for (std::size_t q = 0; q < z.size(); ++q)
          if (std::fabs(error) <= z[q] * (*std_dev)[at]) ++e.inside[q];
      }
    }
    e.scaled_absolute = scale > 0.0 ? absolute / lb / scale : kNotANumber;
    out.push_back(std::move(e));
  }
  return out;
}

// The errors of a model's forecast, none without one.
Errors model_errors(const SeriesFrames& s, int origin, const std::optional<forecast::ModelForecast>& forecast,
                    std::span<const double> z, double scale) {
  return forecast ? score(s, origin, forecast->frames, &forecast->std_dev, z, scale) : Errors{};
}

// `changes` with each drift variant, from the run's forecasts with them.
std::vector<Errors> drift_errors(const SeriesFrames& s, int origin, const forecast::ModelRun& changes,
                                 std::span<const double> z, double scale) {
  std::vector<Errors> out(forecast::drift_variants().size());
  for (std::size_t d = 0; d < changes.variants.size() && d < out.size(); ++d)
    out[d] = score(s, origin, changes.variants[d].frames, &changes.variants[d].std_dev, z, scale);
  return out;
}

OriginErrors origin_errors(const SeriesFrames& s, int origin, const Settings& settings,
                           const numeric::FftPlan& plan, std::span<const double> z,
                           const forecast::Drift& drift) {
  const OriginAnalysis a = analyse_origin(s, origin, settings, plan, drift);
  const double scale = naive_scale(s, origin);
  const int lb = s.frame_length;
  OriginErrors e;
  e[static_cast<int>(Method::AsSpecified)] = score(s, origin, a.as_specified, nullptr, z, scale);
  e[static_cast<int>(Method::Changes)] = model_errors(s, origin, a.changes.forecast, z, scale);
  e[static_cast<int>(Method::Levels)] = model_errors(s, origin, a.levels.forecast, z, scale);
  std::vector<float> naive;
  for (int h = 0; h < settings.frames_ahead; ++h)
    naive.insert(naive.end(), s.values.begin() + static_cast<std::ptrdiff_t>(origin - 1) * lb,
                 s.values.begin() + static_cast<std::ptrdiff_t>(origin) * lb);
  e[static_cast<int>(Method::SeasonalNaive)] = score(s, origin, naive, nullptr, z, scale);
  return e;
}

// The origins of a backtest and what it scores at them.
struct Origins {
  int first = 0;
  int count = 0;
  int frames_ahead = 0;
  std::vector<double> z;  // per interval level
};

Origins origins_of(const SeriesFrames& series, int origins, const Settings& settings) {
  Origins o;
  o.count = std::clamp(origins, 0, std::max(series.frames - kMinimumFrames, 0));
  o.first = series.frames - o.count;
  o.frames_ahead = settings.frames_ahead;
  for (const float level : settings.levels)
    o.z.push_back(forecast::normal_quantile(0.5 + static_cast<double>(level) / 200.0));
  return o;
}

// One method's scores, step by step, from its errors at every origin in origin order
// (errors(i): origin i's); coverage at `levels` interval levels.
template <typename ErrorsAt>
std::vector<StepScores> add_up(const SeriesFrames& series, const Origins& o, std::size_t levels,
                               ErrorsAt errors) {
  const int lb = series.frame_length;
  std::vector<StepScores> out;
  for (int h = 0; h < o.frames_ahead; ++h) {
    StepScores s;
    double scaled = 0.0, squares = 0.0;
    int scaled_count = 0;
    std::vector<long> inside(levels, 0);
    for (int i = 0; i < o.count; ++i) {
      if (o.first + i + h >= series.frames) continue;  // the step is past the sample
      const Errors& steps = errors(i);
      if (static_cast<int>(steps.size()) <= h) {
        ++s.missed;
        continue;
      }
      const StepErrors& e = steps[h];
      ++s.forecasts;
      if (!std::isnan(e.scaled_absolute)) {
        scaled += e.scaled_absolute;
        ++scaled_count;
      }
      squares += e.squares;
      for (std::size_t q = 0; q < inside.size(); ++q) inside[q] += e.inside[q];
    }
    s.mase = scaled_count > 0 ? scaled / scaled_count : kNotANumber;
    s.rmse = s.forecasts > 0 ? std::sqrt(squares / (static_cast<double>(s.forecasts) * lb)) : kNotANumber;
    for (const long n : inside)
      s.coverage.push_back(s.forecasts > 0 ? static_cast<double>(n) / (static_cast<double>(s.forecasts) * lb)
                                           : kNotANumber);
    out.push_back(std::move(s));
  }
  return out;
}

// The drift variants' scores from their errors (errors(i)[d]: origin i's, variant d's) and the
// choice among them.
template <typename ErrorsAt>
DriftChoice choose_among_drifts(const SeriesFrames& series, const Origins& o, ErrorsAt errors) {
  DriftChoice choice;
  choice.origins = o.count;
  double best = kNotANumber;
  const std::span<const forecast::Drift> variants = forecast::drift_variants();
  for (std::size_t d = 0; d < variants.size(); ++d) {
    DriftScores scores{variants[d], add_up(series, o, o.z.size(), [&](int i) -> const Errors& {
                         return errors(i)[d];
                       })};
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

int default_origins(int frames) { return std::clamp(frames / 2, 0, 10); }

SeriesBacktest run_backtest(const SeriesFrames& series, int origins, const Settings& settings,
                            const numeric::FftPlan& plan, parallel::Threads threads) {
  const Origins o = origins_of(series, origins, settings);
  SeriesBacktest b;
  b.origins = o.count;
  b.first_origin = o.first;
  b.frames_ahead = o.frames_ahead;
  b.levels = settings.levels;

  // `changes` forecasts with the drift its variants choose.
  b.drift = choose_drift(series, settings, plan, threads);

  // Each origin in a slot of its own, then the sums in origin order.
  std::vector<OriginErrors> all(static_cast<std::size_t>(b.origins));
  parallel::for_each_index(b.origins, threads, [&](std::int64_t i) {
    all[i] = origin_errors(series, b.first_origin + static_cast<int>(i), settings, plan, o.z, b.drift.drift);
  });
  for (int m = 0; m < kMethods; ++m) {
    const bool intervals = m == static_cast<int>(Method::Changes) || m == static_cast<int>(Method::Levels);
    b.steps[m] = add_up(series, o, intervals ? o.z.size() : 0, [&](int i) -> const Errors& { return all[i][m]; });
  }
  return b;
}

DriftChoice choose_drift(const SeriesFrames& series, const Settings& settings,
                         const numeric::FftPlan& plan, parallel::Threads threads) {
  // The bins ranked as the whole sample ranks them.
  const std::vector<forecast::RankedBin> ranked = coherence_at_origin(series, series.frames, settings).ranked;
  const Origins o = origins_of(series, default_origins(series.frames), settings);
  std::vector<std::vector<Errors>> all(static_cast<std::size_t>(o.count));
  parallel::for_each_index(o.count, threads, [&](std::int64_t i) {
    const int origin = o.first + static_cast<int>(i);
    const forecast::ModelSize size{origin, settings.lags, forecast::ModelKind::Changes, series.frame_length};
    const forecast::ModelRun run = forecast::run_model(series.raw, ranked, size, settings.frames_ahead, plan,
                                                       {forecast::Drift{}, forecast::drift_variants()});
    all[i] = drift_errors(series, origin, run, o.z, naive_scale(series, origin));
  });
  return choose_among_drifts(series, o, [&](int i) -> const std::vector<Errors>& { return all[i]; });
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
