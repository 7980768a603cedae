// Frame Fourier coefficients of the significant bins: the variables of the VAR.
#include <algorithm>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

FrameCoefficients frame_coefficients(std::span<const float> residual, std::span<const int> bins,
                                     const numeric::FftPlan& plan) {
  const int length = plan.length();
  FrameCoefficients z;
  z.frames = static_cast<int>(residual.size()) / length;
  z.variables = 2 * static_cast<int>(bins.size());
  z.values.resize(static_cast<std::size_t>(z.frames) * static_cast<std::size_t>(z.variables));
  const auto rows = static_cast<std::size_t>(z.frames);

  // The frames go through the transform numeric::kFftLanes at a time, each lane bit for bit
  // the transform of its frame alone.
  numeric::FrameBatch batch(plan);
  for (int t0 = 0; t0 < z.frames; t0 += numeric::kFftLanes) {
    const int count = std::min(numeric::kFftLanes, z.frames - t0);
    batch.transform(residual.data() + static_cast<std::size_t>(t0) * length, count);
    for (int q = 0; q < count; ++q) {
      const auto t = static_cast<std::size_t>(t0 + q);
      for (std::size_t k = 0; k < bins.size(); ++k) {
        const int b = bins[k];
        z.values[(2 * k) * rows + t] = static_cast<float>(batch.real(b, q));
        // The coefficient at lb/2 of a real frame is real: its imaginary part is stored as
        // exactly zero rather than the transform's rounding residue.
        z.values[(2 * k + 1) * rows + t] = (2 * b == length) ? 0.0f : static_cast<float>(batch.imag(b, q));
      }
    }
  }
  return z;
}

}  // namespace tramel::forecast
