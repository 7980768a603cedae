// The mean waveform of the frames of one series, its standard deviation, and the residual
// series left when the waveform is taken out of every frame.
#include <cmath>

#include "coherence/coherence.hpp"

namespace tramel::coherence {

void wave(std::span<float> x, std::span<float> m, int n, int lb, float& sd) {
  const int nf = n / lb;

  // Position-by-position sums over the frames, each partial sum kept in single precision.
  for (int j = 0; j < lb; ++j) m[j] = 0.0f;
  for (int f = 0; f < nf; ++f) {
    const float* frame = x.data() + static_cast<std::ptrdiff_t>(f) * lb;
    for (int j = 0; j < lb; ++j) m[j] = m[j] + frame[j];
  }

  // The mean: b = 1/nf in double, each product rounded to single when stored. The sums for
  // the standard deviation take the products before that rounding.
  const double b = 1.0 / nf;
  double s1 = 0.0;
  double s2 = 0.0;
  for (int j = 0; j < lb; ++j) {
    const double mean = b * m[j];
    m[j] = static_cast<float>(mean);
    s1 += mean;
    s2 += mean * mean;
  }

  // Sample standard deviation of the lb waveform values (divisor lb - 1). A waveform of one
  // constant value can leave a difference a few units of rounding below zero; its deviation
  // is 0, not the square root of a negative number.
  const double var = (s2 - s1 * s1 / lb) / (lb - 1);
  sd = var > 0.0 ? static_cast<float>(std::sqrt(var)) : 0.0f;

  // Residuals of the framed observations; the trailing n - nf*lb values are left as read.
  for (int f = 0; f < nf; ++f) {
    float* frame = x.data() + static_cast<std::ptrdiff_t>(f) * lb;
    for (int j = 0; j < lb; ++j) frame[j] = frame[j] - m[j];
  }
}

}  // namespace tramel::coherence
