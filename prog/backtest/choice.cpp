// The choice of auto from a backtest, the combination of the best methods, and the intervals
// calibrated to the backtest's own errors.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "backtest/backtest.hpp"

namespace tramel::backtest {
namespace {

constexpr double kNotANumber = std::numeric_limits<double>::quiet_NaN();

std::size_t index_of(Method m) { return static_cast<std::size_t>(m); }

bool is_smooth(Method m) {
  return m == Method::Smooth || m == Method::SmoothLog || m == Method::SmoothWeekdays || m == Method::SmoothWeeks;
}

// The frames forecast at origin `index` that the sample still holds.
int steps_held(const SeriesBacktest& b, int index, const MethodForecast& f) {
  const int held = b.origins - index;
  return std::min(static_cast<int>(f.values.size()) / b.frame_length, held);
}

// The errors of forecasts over the origins from `first` on: the mean over the steps of each
// step's mean MASE over the origins, and the mean squared error over every sample.
struct Errors {
  double mase = kNotANumber;
  double mean_square = kNotANumber;
};
Errors errors(const SeriesBacktest& b, std::span<const std::optional<MethodForecast>> forecasts,
              int first) {
  const int lb = b.frame_length;
  std::vector<double> scaled(static_cast<std::size_t>(b.frames_ahead), 0.0);
  std::vector<int> counts(scaled.size(), 0);
  double squares = 0.0;
  std::int64_t samples = 0;
  for (int i = first; i < b.origins; ++i) {
    const std::optional<MethodForecast>& f = forecasts[static_cast<std::size_t>(i)];
    if (!f) continue;
    for (int h = 0; h < steps_held(b, i, *f); ++h) {
      double absolute = 0.0;
      for (int j = 0; j < lb; ++j) {
        const std::size_t at = static_cast<std::size_t>(h) * lb + j;
        const double e = b.actual[static_cast<std::size_t>(i + h) * lb + j] - f->values[at];
        absolute += std::fabs(e);
        squares += e * e;
      }
      samples += lb;
      const double scale = b.scales[static_cast<std::size_t>(i)];
      if (scale > 0.0) {
        scaled[static_cast<std::size_t>(h)] += absolute / lb / scale;
        ++counts[static_cast<std::size_t>(h)];
      }
    }
  }
  Errors e;
  double sum = 0.0;
  int steps = 0;
  for (std::size_t h = 0; h < scaled.size(); ++h) {
    if (counts[h] == 0) continue;
    sum += scaled[h] / counts[h];
    ++steps;
  }
  if (steps > 0) e.mase = sum / steps;
  if (samples > 0) e.mean_square = squares / static_cast<double>(samples);
  return e;
}

// The standard deviation of a forecast sample on the data's scale: for a log model the half
// width of its one-sigma band.
double data_std_dev(const MethodForecast& f, std::size_t at) {
  if (!f.log_scale) return f.std_dev[at];
  return 0.5 * (std::exp(f.centre[at] + f.std_dev[at]) - std::exp(f.centre[at] - f.std_dev[at]));
}

// The empirical quantile at p of sorted values, interpolated between order statistics.
double quantile(const std::vector<double>& sorted, double p) {
  const double position = p * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(position));
  const std::size_t above = std::min(below + 1, sorted.size() - 1);
  const double t = position - static_cast<double>(below);
  if (std::isinf(sorted[above])) return t > 0.0 ? sorted[above] : sorted[below];
  return sorted[below] + t * (sorted[above] - sorted[below]);
}

}  // namespace

Choice choose(const SeriesBacktest& b, std::span<const Method> candidates, bool combinations) {
  Choice c;
  c.ranked.fill(kNotANumber);
  // The candidates that forecast wherever they can, and the origins they all forecast from.
  std::vector<Method> eligible;
  int first = 0;
  for (const Method m : candidates) {
    if (!b.scored[index_of(m)]) continue;
    int applicable = 0, made = 0;
    for (int i = 0; i < b.origins; ++i) {
      if (b.first_origin + i < minimum_frames(m)) continue;
      ++applicable;
      if (b.at(m, i)) ++made;
    }
    if (applicable == 0 || made < applicable || 2 * applicable < b.origins) continue;
    eligible.push_back(m);
    first = std::max(first, b.origins - applicable);
  }
  c.first_origin = b.first_origin + first;
  c.origins = b.origins - first;
  if (eligible.empty()) return c;

  std::vector<Errors> scores;
  for (const Method m : eligible) {
    scores.push_back(errors(b, b.forecasts[index_of(m)], first));
    c.ranked[index_of(m)] = scores.back().mase;
  }
  std::vector<std::size_t> order(eligible.size());
  std::iota(order.begin(), order.end(), 0);
  // A method that scored no MASE ranks last; ties keep the candidates' order.
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
    const double a = scores[x].mase, d = scores[y].mase;
    return !std::isnan(a) && (std::isnan(d) || a < d);
  });
  c.methods = {eligible[order[0]]};
  c.weights = {1.0};
  c.mase = scores[order[0]].mase;

  // The best of each family: smooth's forms are one model on other scales and frames.
  std::vector<std::size_t> distinct;
  for (const std::size_t k : order) {
    const bool seen = std::any_of(distinct.begin(), distinct.end(), [&](std::size_t d) {
      return is_smooth(eligible[d]) && is_smooth(eligible[k]);
    });
    if (!seen) distinct.push_back(k);
  }
  for (std::size_t size = 2; combinations && size <= std::min<std::size_t>(3, distinct.size()); ++size) {
    Choice combined;
    double total = 0.0;
    bool usable = true;
    for (std::size_t k = 0; k < size; ++k) {
      const Errors& e = scores[distinct[k]];
      usable = usable && !std::isnan(e.mase) && e.mean_square > 0.0;
      combined.methods.push_back(eligible[distinct[k]]);
      combined.weights.push_back(1.0 / e.mean_square);
      total += 1.0 / e.mean_square;
    }
    if (!usable) break;
    for (double& w : combined.weights) w /= total;
    std::vector<std::optional<MethodForecast>> at = choice_forecasts(b, combined);
    const double mase = errors(b, at, first).mase;
    if (mase < c.mase) {
      c.methods = combined.methods;
      c.weights = combined.weights;
      c.mase = mase;
    }
  }
  return c;
}

MethodForecast combine(const Choice& choice, std::span<const MethodForecast> forecasts) {
  if (forecasts.size() == 1) return forecasts.front();
  MethodForecast out;
  const std::size_t n = forecasts.front().values.size();
  out.values.assign(n, 0.0f);
  out.centre.assign(n, 0.0);
  double spread_weight = 0.0;
  for (std::size_t k = 0; k < forecasts.size(); ++k)
    if (!forecasts[k].std_dev.empty()) spread_weight += choice.weights[k];
  if (spread_weight > 0.0) out.std_dev.assign(n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    double value = 0.0, sd = 0.0;
    for (std::size_t k = 0; k < forecasts.size(); ++k) {
      value += choice.weights[k] * forecasts[k].values[i];
      if (!forecasts[k].std_dev.empty()) sd += choice.weights[k] * data_std_dev(forecasts[k], i);
    }
    out.values[i] = static_cast<float>(value);
    out.centre[i] = value;
    if (spread_weight > 0.0) out.std_dev[i] = sd / spread_weight;
  }
  return out;
}

std::vector<std::optional<MethodForecast>> choice_forecasts(const SeriesBacktest& b, const Choice& choice) {
  std::vector<std::optional<MethodForecast>> out(static_cast<std::size_t>(b.origins));
  for (int i = 0; i < b.origins; ++i) {
    std::vector<MethodForecast> members;
    for (const Method m : choice.methods)
      if (b.at(m, i)) members.push_back(*b.at(m, i));
    if (!members.empty() && members.size() == choice.methods.size())
      out[static_cast<std::size_t>(i)] = combine(choice, members);
  }
  return out;
}

bool Calibration::calibrated() const {
  return std::any_of(origins.begin(), origins.end(), [](int n) { return n >= kCalibrationOrigins; });
}

Calibration calibrate(const SeriesBacktest& b, std::span<const std::optional<MethodForecast>> forecasts) {
  const int lb = b.frame_length;
  Calibration c;
  for (int h = 0; h < b.frames_ahead; ++h) {
    std::vector<double> errors;
    int origins = 0;
    bool spread = true;
    for (int i = 0; i < b.origins; ++i) {
      const std::optional<MethodForecast>& f = forecasts[static_cast<std::size_t>(i)];
      if (!f || steps_held(b, i, *f) <= h) continue;
      ++origins;
      spread = !f->std_dev.empty();
      for (int j = 0; j < lb; ++j) {
        const std::size_t at = static_cast<std::size_t>(h) * lb + j;
        const double actual = b.actual[static_cast<std::size_t>(i + h) * lb + j];
        if (!spread) {
          errors.push_back(std::fabs(actual - f->values[at]));
        } else if (f->log_scale) {
          errors.push_back(actual > 0.0 ? std::fabs(std::log(actual) - f->centre[at]) / f->std_dev[at]
                                        : std::numeric_limits<double>::infinity());
        } else {
          errors.push_back(std::fabs(actual - f->centre[at]) / f->std_dev[at]);
        }
      }
    }
    std::sort(errors.begin(), errors.end());
    std::vector<double> factors;
    for (const float level : b.levels) {
      const double p = static_cast<double>(level) / 100.0;
      if (!spread && !errors.empty()) {
        factors.push_back(quantile(errors, p));
      } else if (origins >= kCalibrationOrigins) {
        factors.push_back(quantile(errors, p) / forecast::normal_quantile(0.5 + p / 2.0));
      } else {
        factors.push_back(spread ? 1.0 : kNotANumber);
      }
    }
    c.origins.push_back(spread ? origins : 0);
    c.factors.push_back(std::move(factors));
  }
  return c;
}

std::vector<forecast::ForecastInterval> intervals(const MethodForecast& f, std::span<const float> levels,
                                                  const Calibration* calibration) {
  std::vector<forecast::ForecastInterval> out;
  if (calibration == nullptr) {
    if (f.std_dev.empty()) return out;
    return forecast::central_intervals({f.centre, f.std_dev, f.log_scale}, levels);
  }
  const std::size_t lb =
      calibration->factors.empty() ? f.values.size() : f.values.size() / calibration->factors.size();
  for (std::size_t l = 0; l < levels.size(); ++l) {
    forecast::ForecastInterval interval;
    interval.level = levels[l];
    const double z = forecast::normal_quantile(0.5 + static_cast<double>(levels[l]) / 200.0);
    for (std::size_t i = 0; i < f.values.size(); ++i) {
      const double factor = calibration->factors[i / lb][l];
      if (f.std_dev.empty()) {
        interval.lower.push_back(static_cast<float>(f.values[i] - factor));
        interval.upper.push_back(static_cast<float>(f.values[i] + factor));
        continue;
      }
      const double half = factor * z * f.std_dev[i];
      const double lower = f.centre[i] - half, upper = f.centre[i] + half;
      interval.lower.push_back(static_cast<float>(f.log_scale ? std::exp(lower) : lower));
      interval.upper.push_back(static_cast<float>(f.log_scale ? std::exp(upper) : upper));
    }
    out.push_back(std::move(interval));
  }
  return out;
}

}  // namespace tramel::backtest
