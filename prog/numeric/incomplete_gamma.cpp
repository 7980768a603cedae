// The incomplete gamma function in double precision: P(a, x) by its power series, Q(a, x) by
// its continued fraction, and ln Gamma. The arguments a and x arrive in single precision and
// are widened; the tolerances are single-precision values widened to double, as they always
// were, and they decide when the iterations stop.
#include <cmath>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

constexpr int kMaxIterations = 1000;
constexpr double kTolerance = static_cast<double>(3.0e-7f);
constexpr double kFloor = static_cast<double>(1.0e-30f);
constexpr double kLarge = static_cast<double>(1.0e30f);

using Kind = ChiSquareNote::Kind;

}  // namespace

GammaExpansion gamma_series(float a, float x) {
  if (x < 0.0f) return {std::nullopt, ChiSquareNote{Kind::NegativeSeriesArgument, x}};
  if (x == 0.0f) return {0.0, std::nullopt};
  const double wide_a = a;
  const double wide_x = x;
  const double log_gamma_a = log_gamma(wide_a);
  double denominator = wide_a;
  double sum = 1.0 / wide_a;
  double term = sum;
  for (int n = 1; n <= kMaxIterations; ++n) {
    denominator = denominator + 1.0;
    term = term * wide_x / denominator;
    sum = sum + term;
    if (std::fabs(term) < std::fabs(sum) * kTolerance) {
      return {sum * std::exp(-wide_x + wide_a * std::log(wide_x) - log_gamma_a), std::nullopt};
    }
  }
  return {std::nullopt, ChiSquareNote{Kind::SeriesDidNotConverge, a}};
}

// Modified Lentz method, b, c, d and h its quantities as the method names them: h the value of
// the fraction so far, multiplied by d * c at every step. The floor keeps c and d away from
// zero.
GammaExpansion gamma_continued_fraction(float a, float x) {
  const double wide_a = a;
  const double wide_x = x;
  const double log_gamma_a = log_gamma(wide_a);
  double b = wide_x + 1.0 - wide_a;
  double c = kLarge;
  double d = 1.0 / b;
  double h = d;
  for (int i = 1; i <= kMaxIterations; ++i) {
    const double numerator = -i * (i - wide_a);
    b = b + 2.0;
    d = numerator * d + b;
    if (std::fabs(d) < kFloor) d = kFloor;
    c = b + numerator / c;
    if (std::fabs(c) < kFloor) c = kFloor;
    d = 1.0 / d;
    const double change = d * c;
    h = h * change;
    if (std::fabs(change - 1.0) < kTolerance) {
      return {std::exp(-wide_x + wide_a * std::log(wide_x) - log_gamma_a) * h, std::nullopt};
    }
  }
  return {std::nullopt, ChiSquareNote{Kind::FractionDidNotConverge, a}};
}

// Lanczos approximation with six coefficients, for x > 0.
double log_gamma(double x) {
  static constexpr double kLanczos[] = {76.18009172947146,     -86.50532032941677,
                                        24.01409824083091,     -1.231739572450155,
                                        0.1208650973866179e-2, -0.5395239384953e-5};
  double y = x;
  const double shifted = x + 5.5;
  const double log_part = (x + 0.5) * std::log(shifted) - shifted;
  double series = 1.000000000190015;
  for (const double c : kLanczos) {
    y = y + 1.0;
    series = series + c / y;
  }
  return log_part + std::log(2.5066282746310005 * series / x);
}

}  // namespace tramel::numeric
