// The incomplete gamma function in double precision: P(a, x) by its power series, Q(a, x) by
// its continued fraction, and ln Gamma. The arguments a and x arrive in single precision and
// are widened; the tolerances are single-precision values widened to double, as they always
// were, and they decide when the iterations stop.
#include <cmath>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

constexpr int kItmax = 1000;
constexpr double kEps = static_cast<double>(3.0e-7f);
constexpr double kFpmin = static_cast<double>(1.0e-30f);
constexpr double kBig = static_cast<double>(1.0e30f);

using Kind = ChiSquareNote::Kind;

}  // namespace

GammaExpansion gamma_series(float a, float x) {
  if (x < 0.0f) return {std::nullopt, ChiSquareNote{Kind::NegativeSeriesArgument, x}};
  if (x == 0.0f) return {0.0, std::nullopt};
  const double ad = a;
  const double xd = x;
  const double gln = log_gamma(ad);
  double ap = ad;
  double sum = 1.0 / ad;
  double del = sum;
  for (int n = 1; n <= kItmax; ++n) {
    ap = ap + 1.0;
    del = del * xd / ap;
    sum = sum + del;
    if (std::fabs(del) < std::fabs(sum) * kEps) {
      return {sum * std::exp(-xd + ad * std::log(xd) - gln), std::nullopt};
    }
  }
  return {std::nullopt, ChiSquareNote{Kind::SeriesDidNotConverge, a}};
}

// Modified Lentz method; the floor keeps the quantities away from zero.
GammaExpansion gamma_continued_fraction(float a, float x) {
  const double ad = a;
  const double xd = x;
  const double gln = log_gamma(ad);
  double b = xd + 1.0 - ad;
  double c = kBig;
  double d = 1.0 / b;
  double h = d;
  for (int i = 1; i <= kItmax; ++i) {
    const double an = -i * (i - ad);
    b = b + 2.0;
    d = an * d + b;
    if (std::fabs(d) < kFpmin) d = kFpmin;
    c = b + an / c;
    if (std::fabs(c) < kFpmin) c = kFpmin;
    d = 1.0 / d;
    const double del = d * c;
    h = h * del;
    if (std::fabs(del - 1.0) < kEps) {
      return {std::exp(-xd + ad * std::log(xd) - gln) * h, std::nullopt};
    }
  }
  return {std::nullopt, ChiSquareNote{Kind::FractionDidNotConverge, a}};
}

// Lanczos approximation with six coefficients, for xx > 0.
double log_gamma(double xx) {
  static constexpr double kCof[] = {76.18009172947146,     -86.50532032941677,
                                    24.01409824083091,     -1.231739572450155,
                                    0.1208650973866179e-2, -0.5395239384953e-5};
  const double x = xx;
  double y = x;
  double tmp = x + 5.5;
  tmp = (x + 0.5) * std::log(tmp) - tmp;
  double ser = 1.000000000190015;
  for (const double c : kCof) {
    y = y + 1.0;
    ser = ser + c / y;
  }
  return tmp + std::log(2.5066282746310005 * ser / x);
}

}  // namespace tramel::numeric
