// Frame Fourier coefficients of the significant bins: the variables of the VAR.
#include <algorithm>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

// The coefficients of frames [first, last) into z. The frames go through the transform
// numeric::kFftLanes at a time, each lane bit for bit the transform of its frame alone.
void transform_frames(std::span<const float> residual, std::span<const int> bins,
                      const numeric::FftPlan& plan, std::int64_t first, std::int64_t last,
                      FrameCoefficients& z) {
  const int length = plan.length();
  const auto rows = static_cast<std::size_t>(z.frames);
  numeric::FrameBatch batch(plan);
  for (std::int64_t t0 = first; t0 < last; t0 += numeric::kFftLanes) {
    const int count = static_cast<int>(std::min<std::int64_t>(numeric::kFftLanes, last - t0));
    batch.transform(residual.data() + t0 * length, count);
    for (int q = 0; q < count; ++q) {
      const auto t = static_cast<std::size_t>(t0 + q);
      for (std::size_t k = 0; k < bins.size(); ++k) {
        const int b = bins[k];
        z.values[(2 * k) * rows + t] = static_cast<float>(batch.real(b, q));
        // The coefficient at lb/2 of a real frame is real: its imaginary part is stored as
        // exactly zero rather than the transform's rounding residue.
        z.values[(2 * k + 1) * rows + t] =
            (2 * b == length) ? 0.0f : static_cast<float>(batch.imag(b, q));
      }
    }
  }
}

}  // namespace

FrameCoefficients frame_coefficients(std::span<const float> residual, std::span<const int> bins,
                                     const numeric::FftPlan& plan, parallel::Threads threads) {
  FrameCoefficients z;
  z.frames = static_cast<int>(residual.size()) / plan.length();
  z.variables = 2 * static_cast<int>(bins.size());
  z.values.resize(static_cast<std::size_t>(z.frames) * static_cast<std::size_t>(z.variables));
  // The threads share out batches of frames; each frame's values are its own.
  const std::int64_t frames = z.frames;
  const std::int64_t batches = (frames + numeric::kFftLanes - 1) / numeric::kFftLanes;
  parallel::for_chunks(batches, threads, [&](std::int64_t b0, std::int64_t b1) {
    transform_frames(residual, bins, plan, b0 * numeric::kFftLanes,
                     std::min(frames, b1 * numeric::kFftLanes), z);
  });
  return z;
}

}  // namespace tramel::forecast
