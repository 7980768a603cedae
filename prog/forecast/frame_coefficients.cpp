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
  batch.transform_each(residual.data(), first, last, nullptr, [&](std::int64_t t0, int count) {
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
  });
}

}  // namespace

FrameCoefficients frame_coefficients(std::span<const float> residual, std::span<const int> bins,
                                     const numeric::FftPlan& plan, parallel::Threads threads) {
  FrameCoefficients z;
  z.frames = static_cast<int>(residual.size()) / plan.length();
  z.variables = 2 * static_cast<int>(bins.size());
  z.values.resize(static_cast<std::size_t>(z.frames) * static_cast<std::size_t>(z.variables));
  // The threads share out batches of frames; each frame's values are its own.
  parallel::for_blocks(z.frames, numeric::kFftLanes, threads, [&](std::int64_t first, std::int64_t last) {
    transform_frames(residual, bins, plan, first, last, z);
  });
  return z;
}

}  // namespace tramel::forecast
