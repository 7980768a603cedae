// The forecast recursion: the fitted VAR run forward from the last p observed frames.
#include <cmath>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

void forvar(std::span<const float> Z, std::span<float> R, std::span<const double> c,
            std::span<const float> s, std::span<float> state, int nv, int p, int nahead, int nf) {
  const auto unv = static_cast<std::size_t>(nv);
  const auto nr = unv * static_cast<std::size_t>(p);
  const auto rows = static_cast<std::size_t>(nf);

  // Most recent frame first; with more lags than frames the frames before frame 1 are zero.
  for (int l = 1; l <= p; ++l) {
    const int t = nf - l + 1;
    for (std::size_t j = 0; j < unv; ++j)
      state[(l - 1) * unv + j] = t >= 1 ? Z[j * rows + static_cast<std::size_t>(t - 1)] : 0.0f;
  }

  for (int q = 0; q < nahead; ++q) {
    float* Rq = R.data() + static_cast<std::size_t>(q) * unv;
    for (std::size_t i = 0; i < unv; ++i) {
      long double sum = 0;
      for (std::size_t u = 0; u < nr; ++u) {
        const std::size_t g = i * nr + u;
        // The t rule: a coefficient whose t value (single coefficient over its standard
        // error, rounded to single as the report prints it) is below 1 in magnitude does not
        // enter the forecast. A quotient that is not a number keeps the coefficient.
        const float t = static_cast<float>(c[g]) / s[g];
        const double b = std::fabs(t) < 1.0f ? 0.0 : c[g];
        sum += static_cast<long double>(b) * state[u];
      }
      Rq[i] = static_cast<float>(sum);
    }
    // Shift by one frame; the forecast becomes the newest frame.
    for (std::size_t u = nr; u-- > unv;) state[u] = state[u - unv];
    for (std::size_t i = 0; i < unv; ++i) state[i] = Rq[i];
  }
}

}  // namespace tramel::forecast
