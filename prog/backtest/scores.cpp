// The rolling-origin scores: every origin analysed, its forecasts set against the frames that
// follow it, and the scores added up origin after origin.
#include <algorithm>
#include <cmath>
#include <limits>

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

using OriginErrors = std::array<std::vector<StepErrors>, kMethods>;

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

OriginErrors origin_errors(const SeriesFrames& s, int origin, const Settings& settings,
                           const numeric::FftPlan& plan, std::span<const double> z) {
  const OriginAnalysis a = analyse_origin(s, origin, settings, plan);
  const double scale = naive_scale(s, origin);
  const int lb = s.frame_length;
  OriginErrors e;
  e[static_cast<int>(Method::AsSpecified)] = score(s, origin, a.as_specified, nullptr, z, scale);
  const auto model = [&](const forecast::ModelRun& run) {
    return run.forecast ? score(s, origin, run.forecast->frames, &run.forecast->std_dev, z, scale)
                        : std::vector<StepErrors>{};
  };
  e[static_cast<int>(Method::Changes)] = model(a.changes);
  e[static_cast<int>(Method::Levels)] = model(a.levels);
  std::vector<float> naive;
  for (int h = 0; h < settings.frames_ahead; ++h)
    naive.insert(naive.end(), s.values.begin() + static_cast<std::ptrdiff_t>(origin - 1) * lb,
                 s.values.begin() + static_cast<std::ptrdiff_t>(origin) * lb);
  e[static_cast<int>(Method::SeasonalNaive)] = score(s, origin, naive, nullptr, z, scale);
  return e;
}

}  // namespace

int default_origins(int frames) { return std::clamp(frames / 2, 0, 10); }

SeriesBacktest run_backtest(const SeriesFrames& series, int origins, const Settings& settings,
                            const numeric::FftPlan& plan, parallel::Threads threads) {
  SeriesBacktest b;
  b.origins = std::clamp(origins, 0, std::max(series.frames - kMinimumFrames, 0));
  b.first_origin = series.frames - b.origins;
  b.frames_ahead = settings.frames_ahead;
  b.levels = settings.levels;
  std::vector<double> z;
  for (const float level : settings.levels)
    z.push_back(forecast::normal_quantile(0.5 + static_cast<double>(level) / 200.0));

  // Each origin in a slot of its own, then the sums in origin order.
  std::vector<OriginErrors> all(static_cast<std::size_t>(b.origins));
  parallel::for_each_index(b.origins, threads, [&](std::int64_t i) {
    all[i] = origin_errors(series, b.first_origin + static_cast<int>(i), settings, plan, z);
  });

  const int lb = series.frame_length;
  for (int m = 0; m < kMethods; ++m) {
    const bool intervals = m == static_cast<int>(Method::Changes) || m == static_cast<int>(Method::Levels);
    for (int h = 0; h < settings.frames_ahead; ++h) {
      StepScores s;
      double scaled = 0.0, squares = 0.0;
      int scaled_count = 0;
      std::vector<long> inside(intervals ? z.size() : 0, 0);
      for (int i = 0; i < b.origins; ++i) {
        if (b.first_origin + i + h >= series.frames) continue;  // the step is past the sample
        const std::vector<StepErrors>& steps = all[i][m];
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
      b.steps[m].push_back(std::move(s));
    }
  }
  return b;
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
