// Frame Fourier coefficients of the significant bins: the variables of the VAR.
#include "forecast/forecast.hpp"

namespace tramel::forecast {

void ft(std::span<const float> y, std::span<float> Z, std::span<const std::int32_t> ik,
        std::span<Complex> f, numeric::FftTable& v, int nf, int lb, int m) {
  const auto rows = static_cast<std::size_t>(nf);
  for (int t = 0; t < nf; ++t) {
    // Frame t as it stands in the residual series: no taper, no mean removal.
    const auto first = static_cast<std::size_t>(t) * static_cast<std::size_t>(lb);
    for (int j = 0; j < lb; ++j) f[j] = Complex(static_cast<double>(y[first + j]), 0.0);
    numeric::cfftf(lb, f.first(static_cast<std::size_t>(lb)), v);
    for (int k = 0; k < m; ++k) {
      const int b = ik[k];
      const Complex z = f[b];
      Z[(2 * static_cast<std::size_t>(k)) * rows + t] = static_cast<float>(z.real());
      // The coefficient at lb/2 of a real frame is real: its imaginary part is stored as
      // exactly zero rather than the transform's rounding residue.
      Z[(2 * static_cast<std::size_t>(k) + 1) * rows + t] =
          (2 * b == lb) ? 0.0f : static_cast<float>(z.imag());
    }
  }
}

}  // namespace tramel::forecast
