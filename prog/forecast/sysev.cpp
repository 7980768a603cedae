// The eigenvalues of the fitted system: the companion matrix of the VAR, its eigenvalues, and
// each as a magnitude and a period in frames.
#include <algorithm>
#include <cmath>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

void sysev(std::span<const float> b, std::span<float> a, std::span<float> wr, std::span<float> wi,
           int nv, int nr, textio::Sink& msg) {
  const auto n = static_cast<std::size_t>(nr);
  const auto unv = static_cast<std::size_t>(nv);
  // Rows 1..nv: [B_1 ... B_p]; below them the identity block that shifts each lag down.
  for (std::size_t u = 0; u < n; ++u) {
    float* col = a.data() + u * n;
    for (std::size_t i = 0; i < unv; ++i) col[i] = b[i * n + u];
    for (std::size_t k = 0; k < n - unv; ++k) col[unv + k] = (k == u) ? 1.0f : 0.0f;
  }

  // Entries the solver does not reach (it gives up after too many iterations) read as zero.
  std::fill(wr.begin(), wr.begin() + nr, 0.0f);
  std::fill(wi.begin(), wi.begin() + nr, 0.0f);
  numeric::balance(a.first(n * n), nr, nr);
  numeric::reduce_to_hessenberg(a.first(n * n), nr, nr);
  numeric::hessenberg_eigenvalues(a.first(n * n), nr, nr, wr, wi, msg);

  const auto pi = static_cast<float>(std::acos(-1.0));
  for (std::size_t i = 0; i < n; ++i) {
    const double re = wr[i];
    const double im = wi[i];
    const auto magnitude = static_cast<float>(std::sqrt(re * re + im * im));
    float period = 0.0f;
    if (std::fabs(wi[i]) > 1.0e-7f) {
      const auto theta = static_cast<float>(std::atan2(im, re));
      period = static_cast<float>(2.0 * static_cast<double>(pi) / theta);
    }
    wr[i] = magnitude;
    wi[i] = period;
  }
}

}  // namespace tramel::forecast
