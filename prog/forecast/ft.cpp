// Frame Fourier coefficients of the significant bins: the variables of the VAR.
#include <algorithm>
#include <vector>

#include "forecast/forecast.hpp"
#include "numeric/numeric.hpp"

namespace tramel::forecast {

void ft(std::span<const float> y, std::span<float> Z, std::span<const std::int32_t> ik,
        std::span<Complex> f, numeric::FftTable& v, int nf, int lb, int m) {
  // The frames are transformed numeric::kFftLanes at a time, one per lane; each lane is the
  // transform of its frame alone, bit for bit.
  constexpr int kLanes = numeric::kFftLanes;
  const auto values = 2 * static_cast<std::size_t>(lb) * kLanes;
  std::vector<double> lanes(values), work(values);
  auto re = [&](int k, int q) { return lanes[2 * static_cast<std::size_t>(k) * kLanes + q]; };
  auto im = [&](int k, int q) { return lanes[(2 * static_cast<std::size_t>(k) + 1) * kLanes + q]; };

  const auto rows = static_cast<std::size_t>(nf);
  for (int t0 = 0; t0 < nf; t0 += kLanes) {
    const int count = std::min(kLanes, nf - t0);
    // Frames as they stand in the residual series: no taper, no mean removal.
    numeric::load_frames(lb, y.data() + static_cast<std::size_t>(t0) * lb, count, nullptr, lanes);
    numeric::cfftf_many(lb, lanes, work, v);
    for (int q = 0; q < count; ++q) {
      const auto t = static_cast<std::size_t>(t0 + q);
      for (int k = 0; k < m; ++k) {
        const int b = ik[k];
        Z[(2 * static_cast<std::size_t>(k)) * rows + t] = static_cast<float>(re(b, q));
        // The coefficient at lb/2 of a real frame is real: its imaginary part is stored as
        // exactly zero rather than the transform's rounding residue.
        Z[(2 * static_cast<std::size_t>(k) + 1) * rows + t] =
            (2 * b == lb) ? 0.0f : static_cast<float>(im(b, q));
      }
    }
    if (t0 + count == nf) {  // the transform of the last frame stays in f
      for (int k = 0; k < lb; ++k) f[k] = Complex(re(k, count - 1), im(k, count - 1));
    }
  }
}

}  // namespace tramel::forecast
