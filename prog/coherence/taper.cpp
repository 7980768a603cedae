// The sine taper of a frame: a quarter sine wave rising over the first positions, the same
// falling over the last, ones in between.
#include <cmath>

#include "coherence/coherence.hpp"

namespace tramel::coherence {

Taper sine_taper(int frame_length, float taper_percent) {
  Taper taper;
  if (taper_percent == 0.0f) return taper;
  if (taper_percent < 0.0f || taper_percent > 50.0f) {
    taper.note = TaperNote{TaperNote::Kind::PercentOutOfRange, taper_percent};
    return taper;
  }

  // The percentage of the frame is tapered, half at each end. The product is formed in double
  // with the single-precision 0.005 and rounded to single before it is rounded to a whole
  // number (halves away from zero): 5% of 20 gives 0.5 in single precision, so 1 at each end.
  const float count = static_cast<float>(static_cast<double>(taper_percent) * frame_length *
                                         static_cast<double>(0.005f));
  const int tapered = static_cast<int>(std::lround(count));
  taper.tapered_each_end = tapered;
  if (tapered > frame_length / 4) {
    taper.note = TaperNote{TaperNote::Kind::TooManyTapered, 0.0f, tapered, frame_length};
    return taper;
  }

  // The angle uses pi rounded to single precision; the sine is taken in double and the weight
  // stored in single. The squares are summed in single precision.
  std::vector<float>& w = taper.weights;
  w.assign(static_cast<std::size_t>(frame_length), 1.0f);
  const double pi = static_cast<float>(std::acos(-1.0));
  const double denominator = 2.0 * (tapered + 1);
  float squares = 0.0f;
  for (int k = 1; k <= tapered; ++k) {
    const float weight = static_cast<float>(std::sin(k * pi / denominator));
    w[k - 1] = weight;
    w[frame_length - k] = weight;
    squares = squares + weight * weight;
  }
  // Mean square of the weights over the whole frame.
  taper.power = (2.0f * squares + static_cast<float>(frame_length - 2 * tapered)) /
                static_cast<float>(frame_length);
  return taper;
}

}  // namespace tramel::coherence
