// Forecast spectra to forecast frames: the mean waveform's coefficients plus the forecast
// deviations at the significant bins, back to lb samples, scaled to the mean waveform's spread.
#include <cmath>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

void forft(std::span<const float> R, std::span<float> column, std::span<const std::int32_t> ik,
           std::span<Complex> f, std::span<const Complex> g, numeric::FftTable& v, float sd, int lb,
           int m, int nahead) {
  const auto n = static_cast<std::size_t>(lb);
  const auto nv = 2 * static_cast<std::size_t>(m);
  for (int q = 0; q < nahead; ++q) {
    const float* Rq = R.data() + static_cast<std::size_t>(q) * nv;
    for (std::size_t k = 0; k < n; ++k) f[k] = Complex(0.0, 0.0);
    f[0] = g[0];
    for (int k = 0; k < m; ++k) {
      const int b = ik[k];
      const double re = static_cast<double>(Rq[2 * k]) + g[b].real();
      const double im = static_cast<double>(Rq[2 * k + 1]) + g[b].imag();
      // The conjugate at bin b and the value at its mirror: the forward transform of this
      // spectrum is lb times the inverse transform of the forecast spectrum, a real frame.
      // At lb/2 the two are one entry, which keeps (re, im).
      f[b] = Complex(re, -im);
      f[n - b] = Complex(re, im);
    }
    numeric::cfftf(lb, f.first(n), v);

    float* y = column.data() + static_cast<std::size_t>(q) * n;
    const double rlb = 1.0 / lb;
    long double s1 = 0, s2 = 0;
    for (std::size_t j = 0; j < n; ++j) {
      y[j] = static_cast<float>(rlb * f[j].real());
      s1 += y[j];
      s2 += static_cast<long double>(y[j]) * y[j];
    }
    const long double mean = s1 / lb;
    const auto spread = static_cast<float>(std::sqrt((s2 - mean * (mean * lb)) / (lb - 1)));
    // Scaled about zero (the mean stays). A frame without spread (a variance that is zero or
    // rounds below it) has nothing to scale and is stored as it is.
    if (!(spread > 0.0f)) continue;
    const float scale = sd / spread;
    for (std::size_t j = 0; j < n; ++j) y[j] = scale * y[j];
  }
}

}  // namespace tramel::forecast
