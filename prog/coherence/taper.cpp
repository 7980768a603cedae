// The sine taper of a frame: a quarter sine wave rising over the first ntap positions, the
// same falling over the last ntap, ones in between.
#include <cmath>

#include "coherence/coherence.hpp"

namespace tramel::coherence {

bool taper(std::span<float> w, int lb, float pct, float& u2, int& ntap, textio::Sink& msg) {
  if (pct == 0.0f) return false;
  if (pct < 0.0f || pct > 50.0f) {
    textio::list(msg, "* ERROR *  Improper % for tapering: ", pct);
    return false;
  }

  // pct percent of the frame is tapered, half at each end. The product is formed in double
  // with the single-precision 0.005 and rounded to single before it is rounded to a whole
  // number (halves away from zero): 5% of 20 gives 0.5 in single precision, so ntap = 1.
  const float count = static_cast<float>(static_cast<double>(pct) * lb * static_cast<double>(0.005f));
  ntap = static_cast<int>(std::lround(count));
  if (ntap > lb / 4) {
    textio::list(msg, "Taper size ", ntap, " > lb/4. Increase data block ", lb);
    return false;
  }

  // The angle uses pi rounded to single precision; the sine is taken in double and the
  // weight stored in single. u2 sums the squared weights in single precision.
  const double pi = static_cast<float>(std::acos(-1.0));
  const double den = 2.0 * (ntap + 1);
  u2 = 0.0f;
  for (int k = 1; k <= ntap; ++k) {
    const float wk = static_cast<float>(std::sin(k * pi / den));
    w[k - 1] = wk;
    w[lb - k] = wk;
    u2 = u2 + wk * wk;
  }
  // Mean square of the weights over the whole frame.
  u2 = (2.0f * u2 + static_cast<float>(lb - 2 * ntap)) / static_cast<float>(lb);
  for (int j = ntap; j < lb - ntap; ++j) w[j] = 1.0f;
  return true;
}

}  // namespace tramel::coherence
