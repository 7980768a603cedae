// The work space of the fit: one normal-matrix block of order nr (the blocks of all nv
// equations are equal), the nv right-hand sides, the Cholesky diagonal and the residual
// standard deviations. Allocated and freed per series.
#include <exception>
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

void var(std::span<const float> Z, std::span<float> e, std::span<double> c, std::span<float> s,
         float& rsq, int nv, int p, int nf, int& ier, textio::Sink& msg) {
  const auto nr = static_cast<std::size_t>(nv) * static_cast<std::size_t>(p);
  const auto nc = static_cast<std::size_t>(nv) * nr;
  std::vector<double> G, rhs, pd;
  std::vector<float> sigma;
  try {
    G.assign(nr * nr, 0.0);  // entries the fit does not fill stay zero
    rhs.assign(nc, 0.0);
    pd.assign(nr, 0.0);
    sigma.assign(static_cast<std::size_t>(nv), 0.0f);
  } catch (const std::exception&) {  // memory exhausted, or a size beyond any vector
    textio::list(msg, "Unable to allocate work space for arrays in var");
    throw Stop{1};
  }
  fit(Z, e, G, rhs, pd, nv, p, nf, static_cast<int>(nc), c, s, rsq, sigma, ier, msg);
}

}  // namespace tramel::forecast
