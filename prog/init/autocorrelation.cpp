// The autocorrelation of the series, through the transform: the power spectrum of the series
// padded with zeros to twice its length (so that no lag wraps around), transformed again.
#include <algorithm>
#include <cmath>
#include <complex>

#include "numeric/numeric.hpp"
#include "init/init.hpp"

namespace tramel::init {

int autocorrelation_peak(std::span<const float> values, int series_count, std::int64_t count,
                         int min_lag, int max_lag) {
  if (series_count < 1 || count < 3 || max_lag < min_lag || min_lag < 1) return 0;
  max_lag = static_cast<int>(std::min<std::int64_t>(max_lag, count - 2));
  int length = 1;
  while (length < 2 * count) length *= 2;
  const numeric::FftPlan plan(length);
  std::vector<numeric::Complex> x(static_cast<std::size_t>(length));
  std::vector<numeric::Complex> scratch(static_cast<std::size_t>(length));
  std::vector<double> sum(static_cast<std::size_t>(max_lag) + 2, 0.0);
  for (int j = 0; j < series_count; ++j) {
    const auto at = [&](std::int64_t i) {
      return static_cast<double>(values[static_cast<std::size_t>(i * series_count + j)]);
    };
    double mean = 0.0;
    for (std::int64_t i = 0; i < count; ++i) mean += at(i);
    mean /= static_cast<double>(count);
    std::fill(x.begin(), x.end(), numeric::Complex(0.0, 0.0));
    for (std::int64_t i = 0; i < count; ++i) x[static_cast<std::size_t>(i)] = at(i) - mean;
    plan.forward(x, scratch);
    for (numeric::Complex& c : x) c = numeric::Complex(std::norm(c), 0.0);
    // The power spectrum is real and even: its forward transform is the autocorrelation.
    plan.forward(x, scratch);
    const double r0 = x[0].real();
    if (!(r0 > 0.0) || !std::isfinite(r0)) continue;  // no spread: nothing to add
    for (int k = 0; k <= max_lag + 1; ++k) sum[static_cast<std::size_t>(k)] += x[static_cast<std::size_t>(k)].real() / r0;
  }
  int best = 0;
  for (int k = std::max(min_lag, 1); k <= max_lag; ++k) {
    const double r = sum[static_cast<std::size_t>(k)];
    if (r > sum[static_cast<std::size_t>(k - 1)] && r >= sum[static_cast<std::size_t>(k + 1)] &&
        (best == 0 || r > sum[static_cast<std::size_t>(best)]))
      best = k;
  }
  return best;
}

}  // namespace tramel::init
