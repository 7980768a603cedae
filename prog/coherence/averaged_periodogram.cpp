// Noise spectrum: the averaged periodogram of the tapered residual frames at the band bins.
#include <algorithm>

#include "coherence/coherence.hpp"

namespace tramel::coherence {
namespace {

// The periodogram ordinates of frames [first, last) at the band bins, each rounded to single
// precision, handed to add(frame, band position, ordinate) frame after frame. The frames go
// through the transform numeric::kFftLanes at a time, each lane bit for bit the transform of
// its frame alone.
template <class Add>
void ordinates(std::span<const float> residual, const Band& band, const float* weights,
               const numeric::FftPlan& plan, std::int64_t first, std::int64_t last, Add add) {
  const int length = band.frame_length;
  const int bins = band.bin_count();
  const double reciprocal = 1.0 / length;
  numeric::FrameBatch batch(plan);
  batch.transform_each(residual.data(), first, last, weights, [&](std::int64_t f0, int count) {
    // Re(F(k) F(lb-k)) / lb. For a real frame F(lb-k) is the conjugate of F(k), so this is
    // |F(k)|^2 / lb; the Nyquist bin of an even lb pairs with itself.
    for (int q = 0; q < count; ++q) {
      for (int i = 0; i < bins; ++i) {
        const int k = band.first_bin + i;
        const int mirror = length - k;
        const double ordinate = reciprocal * (batch.real(k, q) * batch.real(mirror, q) -
                                              batch.imag(k, q) * batch.imag(mirror, q));
        add(f0 + q, i, static_cast<float>(ordinate));
      }
    }
  });
}

}  // namespace

std::vector<float> noise_spectrum(std::span<const float> residual, const Band& band,
                                  const Taper* taper, const numeric::FftPlan& plan,
                                  parallel::Threads threads) {
  const std::int64_t frames = static_cast<std::int64_t>(residual.size()) / band.frame_length;
  const auto bins = static_cast<std::size_t>(band.bin_count());
  const float* weights = taper != nullptr ? taper->weights.data() : nullptr;
  std::vector<float> spectrum(bins, 0.0f);

  // Each ordinate is added to a single-precision sum, frame after frame.
  if (threads.single()) {
    ordinates(residual, band, weights, plan, 0, frames,
              [&](std::int64_t, int i, float g) { spectrum[i] = spectrum[i] + g; });
  } else {
    // The transforms shared out over the threads, the ordinates kept; then the same sums.
    std::vector<float> all(static_cast<std::size_t>(frames) * bins);
    parallel::for_blocks(frames, numeric::kFftLanes, threads, [&](std::int64_t first, std::int64_t last) {
      ordinates(residual, band, weights, plan, first, last,
                [&](std::int64_t f, int i, float g) { all[f * bins + i] = g; });
    });
    for (std::int64_t f = 0; f < frames; ++f)
      for (std::size_t i = 0; i < bins; ++i) spectrum[i] = spectrum[i] + all[f * bins + i];
  }

  // Mean over the frames, scaled by the taper power when tapered, rounded once.
  for (float& s : spectrum) {
    double mean = static_cast<double>(s) / frames;
    if (taper != nullptr) mean /= taper->power;
    s = std::max(static_cast<float>(mean), kNoiseFloor);
  }
  return spectrum;
}

}  // namespace tramel::coherence
