// Coherence probability of every bin of the pass band for one series.
#include "coherence/coherence.hpp"

namespace tramel::coherence {

namespace {
// Number of tapered values at each end of a frame and the taper power. Kept from call to
// call; amp sets both on every call before spc reads u2.
int ntap = 0;
float u2 = 1.0f;
}  // namespace

void coh(std::span<float> a, std::span<float> sp, std::span<float> y, std::span<float> w,
         std::span<Complex> f, numeric::FftTable& v, std::span<Complex> g, float& sd, int n,
         int lb, int kl, int nb, float pct, textio::Sink& msg) {
  const double k2 = 2.0 * (static_cast<double>(n) / (static_cast<double>(lb) * lb));

  amp(y, a, w, g, v, n, lb, kl, nb, ntap, pct, sd, u2, msg);
  spc(y, w, sp, f, v, n, lb, kl, nb, pct, u2, msg);

  // Statistic 2K A/S with K = n / lb^2, referred to chi-square with 2 degrees of freedom.
  for (int i = 0; i < nb; ++i) {
    const float x = static_cast<float>(static_cast<double>(a[i]) / sp[i] * k2);
    float p = 0.0f;
    numeric::chi_square_distribution(x, 2.0f, p, msg);
    a[i] = p;
  }
}

}  // namespace tramel::coherence
