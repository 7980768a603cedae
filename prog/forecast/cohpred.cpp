// Frame regression and forecast of one series: the frame coefficients of the significant
// bins, the VAR fit, the forecast recursion and the forecast frames.
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

void cohpred(std::span<const float> y, std::span<float> column, std::span<Complex> f,
             std::span<const Complex> g, numeric::FftTable& v, std::span<double> c,
             std::span<float> work, std::span<float> s, float& rsq,
             std::span<const std::int32_t> ik, float sd, std::span<float> state, int nf, int lb,
             int m, int p, int nahead, textio::Sink& msg) {
  const int nv = 2 * m;
  std::vector<float> Z(static_cast<std::size_t>(nf) * static_cast<std::size_t>(nv));
  ft(y, Z, ik, f, v, nf, lb, m);

  int ier = 0;
  var(Z, work, c, s, rsq, nv, p, nf, ier, msg);
  if (ier > 0) {
    textio::list(msg, "Error in subroutine var ier = ", ier);
    throw Stop{1};
  }

  // The residual work is spent; it now holds the forecasts R.
  forvar(Z, work, c, s, state, nv, p, nahead, nf);
  forft(work, column, ik, f, g, v, sd, lb, m, nahead);
}

}  // namespace tramel::forecast
