// Noise spectrum: the averaged periodogram of the tapered residual frames at the band bins.
#include <algorithm>

#include "coherence/coherence.hpp"

namespace tramel::coherence {
namespace {

// Floor of the noise spectrum, so the coherence ratio never divides by zero.
constexpr float kFloor = 1.0e-6f;

}  // namespace

std::vector<float> noise_spectrum(std::span<const float> residual, const Band& band,
                                  const Taper* taper, const numeric::FftPlan& plan) {
  const int length = band.frame_length;
  const int frames = static_cast<int>(residual.size()) / length;
  const int bins = band.bin_count();
  const double reciprocal = 1.0 / length;
  const float* weights = taper != nullptr ? taper->weights.data() : nullptr;
  std::vector<float> spectrum(static_cast<std::size_t>(bins), 0.0f);

  // The frames go through the transform numeric::kFftLanes at a time, each lane bit for bit
  // the transform of its frame alone.
  numeric::FrameBatch batch(plan);
  for (int f0 = 0; f0 < frames; f0 += numeric::kFftLanes) {
    const int count = std::min(numeric::kFftLanes, frames - f0);
    batch.transform(residual.data() + static_cast<std::ptrdiff_t>(f0) * length, count, weights);
    // Frame after frame: Re(F(k) F(lb-k)) / lb. For a real frame F(lb-k) is the conjugate of
    // F(k), so this is |F(k)|^2 / lb; the Nyquist bin of an even lb pairs with itself. Each
    // ordinate is rounded to single and added to a single-precision sum.
    for (int q = 0; q < count; ++q) {
      for (int i = 0; i < bins; ++i) {
        const int k = band.first_bin + i;
        const int mirror = length - k;
        const double ordinate = reciprocal * (batch.real(k, q) * batch.real(mirror, q) -
                                              batch.imag(k, q) * batch.imag(mirror, q));
        spectrum[i] = spectrum[i] + static_cast<float>(ordinate);
      }
    }
  }

  // Mean over the frames, scaled by the taper power when tapered, rounded once.
  for (float& s : spectrum) {
    double mean = static_cast<double>(s) / frames;
    if (taper != nullptr) mean /= taper->power;
    s = std::max(static_cast<float>(mean), kFloor);
  }
  return spectrum;
}

}  // namespace tramel::coherence
