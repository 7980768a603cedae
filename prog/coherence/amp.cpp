// Band powers of the tapered mean waveform; builds the FFT table of the frame length that
// every later transform of the series reuses.
#include "coherence/coherence.hpp"

namespace tramel::coherence {

void amp(std::span<float> x, std::span<float> m, std::span<float> w, std::span<Complex> z,
         numeric::FftTable& v, int n, int lb, int kl, int nb, int& ntap, float pct, float& sd,
         float& u2, textio::Sink& msg) {
  wave(x, m, n, lb, sd);

  if (pct > 0.0f) {
    // Fewer than two tapered values (or a taper refused) means no taper at all: unit
    // weights, so the frames are transformed as they are.
    if (!taper(w, lb, pct, u2, ntap, msg) || ntap < 2) {
      ntap = 0;
      u2 = 1.0f;
      for (int j = 0; j < lb; ++j) w[j] = 1.0f;
    }
  } else {
    u2 = 1.0f;
  }

  numeric::cffti(lb, v);

  if (pct > 0.0f) {
    for (int j = 0; j < lb; ++j) m[j] = m[j] * w[j];
  }
  for (int j = 0; j < lb; ++j) z[j] = Complex(m[j], 0.0);
  numeric::cfftf(lb, z.first(lb), v);

  // Raw periodogram ordinates |F(k)|^2 of the band bins, formed in double.
  for (int i = 0; i < nb; ++i) {
    const Complex c = z[kl + i];
    m[i] = static_cast<float>(c.real() * c.real() + c.imag() * c.imag());
  }
}

}  // namespace tramel::coherence
