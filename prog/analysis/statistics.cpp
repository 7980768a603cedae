// The descriptive statistics of one series (mean, standard deviation, skewness, kurtosis,
// C(6), maximum, minimum), accumulated in double precision.
#include <cmath>
#include <cstdint>

#include "analysis/analysis.hpp"

namespace tramel::analysis {

Statistics describe_series(std::span<const float> v) {
  Statistics s;
  const auto n = static_cast<std::int64_t>(v.size());
  if (n < 1) {
    s.zero_variance = true;
    s.std_dev = 1.0f;
    return s;
  }

  // First pass: extremes and the two plain sums.
  float mx = v[0], mn = v[0];
  double s1 = 0.0, s2 = 0.0;
  for (float value : v) {
    if (value > mx) mx = value;
    if (value < mn) mn = value;
    const double d = value;
    s1 += d;
    s2 += d * d;
  }
  const double dn = n;
  const double mean = s1 / dn;
  s.mean = static_cast<float>(mean);
  s.max = mx;
  s.min = mn;

  // n times the biased variance; zero for a constant series and for a single value.
  const double h = s2 - mean * s1;
  if (h <= 0.0) {
    s.zero_variance = true;
    s.std_dev = 1.0f;
    return s;
  }
  const double sd = std::sqrt(h / (dn - 1.0));
  s.std_dev = static_cast<float>(sd);

  // Second pass: the third, fourth and sixth central moments about the double mean.
  double t3 = 0.0, t4 = 0.0, t6 = 0.0;
  for (float value : v) {
    const double d = static_cast<double>(value) - mean;
    const double d2 = d * d;
    const double d3 = d2 * d;
    t3 += d3;
    t4 += d2 * d2;
    t6 += d3 * d3;
  }
  const double sd2 = sd * sd;
  const double sd3 = sd2 * sd;
  const double sd4 = sd2 * sd2;
  const double sd6 = sd3 * sd3;
  const double skew = t3 / (dn * sd3);
  const double kurt = t4 / (dn * sd4) - 3.0;
  // The sixth cumulant over s^6, from the unrounded skewness and excess kurtosis.
  const double c6 = t6 / (dn * sd6) - 15.0 * kurt - 10.0 * (skew * skew) - 15.0;
  s.skewness = static_cast<float>(skew);
  s.kurtosis = static_cast<float>(kurt);
  s.c6 = static_cast<float>(c6);
  return s;
}

}  // namespace tramel::analysis
