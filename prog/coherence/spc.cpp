// Noise spectrum: the averaged periodogram of the tapered residual frames at the band bins.
#include <algorithm>
#include <new>
#include <vector>

#include "coherence/coherence.hpp"
#include "numeric/numeric.hpp"

namespace tramel::coherence {

namespace {
// Floor of the noise spectrum, so the coherence ratio never divides by zero.
constexpr float kFloor = 1.0e-6f;
}  // namespace

void spc(std::span<const float> x, std::span<const float> w, std::span<float> s,
         std::span<Complex> z, numeric::FftTable& v, int n, int lb, int kl, int nb, float pct,
         float u2, textio::Sink& msg) {
  // The frames are transformed numeric::kFftLanes at a time, one per lane; each lane is the
  // transform of its frame alone, bit for bit.
  constexpr int kLanes = numeric::kFftLanes;
  const auto values = 2 * static_cast<std::size_t>(lb) * kLanes;
  std::vector<double> lanes, work;
  try {
    lanes.resize(values);
    work.resize(values);
  } catch (const std::bad_alloc&) {
    textio::list(msg, "Unable to allocate work space for array a");
    throw Stop{1};
  }
  auto re = [&](int k, int q) { return lanes[2 * static_cast<std::size_t>(k) * kLanes + q]; };
  auto im = [&](int k, int q) { return lanes[(2 * static_cast<std::size_t>(k) + 1) * kLanes + q]; };

  const int nf = n / lb;
  const double rlb = 1.0 / lb;
  for (int i = 0; i < nb; ++i) s[i] = 0.0f;

  for (int f0 = 0; f0 < nf; f0 += kLanes) {
    const int count = std::min(kLanes, nf - f0);
    // The tapered frames in single precision, as the real parts.
    numeric::load_frames(lb, x.data() + static_cast<std::ptrdiff_t>(f0) * lb, count,
                         pct > 0.0f ? w.data() : nullptr, lanes);
    numeric::cfftf_many(lb, lanes, work, v);

    // Frame after frame: Re(F(k) F(lb-k)) / lb. For a real frame F(lb-k) is the conjugate of
    // F(k), so this is |F(k)|^2 / lb; the Nyquist bin of an even lb pairs with itself. Each
    // ordinate is rounded to single and added to a single-precision sum.
    for (int q = 0; q < count; ++q) {
      for (int i = 0; i < nb; ++i) {
        const int k = kl + i;
        const double g = rlb * (re(k, q) * re(lb - k, q) - im(k, q) * im(lb - k, q));
        s[i] = s[i] + static_cast<float>(g);
      }
    }
    if (f0 + count == nf) {  // the transform of the last frame stays in z
      for (int k = 0; k < lb; ++k) z[k] = Complex(re(k, count - 1), im(k, count - 1));
    }
  }

  // Mean over the frames, scaled by the taper power when tapered, rounded once.
  for (int i = 0; i < nb; ++i) {
    double q = static_cast<double>(s[i]) / nf;
    if (pct > 0.0f) q /= u2;
    s[i] = static_cast<float>(q);
    if (s[i] < kFloor) s[i] = kFloor;
  }
}

}  // namespace tramel::coherence
