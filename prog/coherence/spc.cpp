// Noise spectrum: the averaged periodogram of the tapered residual frames at the band bins.
#include <new>
#include <vector>

#include "coherence/coherence.hpp"

namespace tramel::coherence {

namespace {
// Floor of the noise spectrum, so the coherence ratio never divides by zero.
constexpr float kFloor = 1.0e-6f;
}  // namespace

void spc(std::span<const float> x, std::span<const float> w, std::span<float> s,
         std::span<Complex> z, numeric::FftTable& v, int n, int lb, int kl, int nb, float pct,
         float u2, textio::Sink& msg) {
  std::vector<float> t;
  try {
    t.resize(static_cast<std::size_t>(lb));
  } catch (const std::bad_alloc&) {
    textio::list(msg, "Unable to allocate work space for array a");
    throw Stop{1};
  }

  const int nf = n / lb;
  const double rlb = 1.0 / lb;
  const std::span<Complex> zf = z.first(lb);
  for (int i = 0; i < nb; ++i) s[i] = 0.0f;

  for (int f = 0; f < nf; ++f) {
    const float* frame = x.data() + static_cast<std::ptrdiff_t>(f) * lb;
    if (pct > 0.0f) {
      for (int j = 0; j < lb; ++j) t[j] = frame[j] * w[j];
    } else {
      for (int j = 0; j < lb; ++j) t[j] = frame[j];
    }
    for (int j = 0; j < lb; ++j) zf[j] = Complex(t[j], 0.0);
    numeric::cfftf(lb, zf, v);

    // Re(F(k) F(lb-k)) / lb: for a real frame F(lb-k) is the conjugate of F(k), so this is
    // |F(k)|^2 / lb; the Nyquist bin of an even lb pairs with itself. Each ordinate is
    // rounded to single and added to a single-precision sum.
    for (int i = 0; i < nb; ++i) {
      const int k = kl + i;
      const Complex a = zf[k];
      const Complex b = zf[lb - k];
      const double g = rlb * (a.real() * b.real() - a.imag() * b.imag());
      s[i] = s[i] + static_cast<float>(g);
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
