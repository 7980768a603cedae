// The eigenvalues of the fitted system: the companion matrix of the VAR, its eigenvalues, and
// each as a magnitude and a period in frames.
#include <cmath>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

Eigenvalues companion_eigenvalues(const VarFit& fit) {
  const auto n = static_cast<std::size_t>(fit.regressors());
  const auto nv = static_cast<std::size_t>(fit.variables);
  // Rows 1..nv: [B_1 ... B_p] in single precision; below them the identity block that shifts
  // each lag down.
  std::vector<float> a(n * n);
  for (std::size_t u = 0; u < n; ++u) {
    float* column = a.data() + u * n;
    for (std::size_t i = 0; i < nv; ++i) column[i] = static_cast<float>(fit.coefficients[i * n + u]);
    for (std::size_t k = 0; k < n - nv; ++k) column[nv + k] = (k == u) ? 1.0f : 0.0f;
  }

  // Entries the solver does not reach (it gives up after too many iterations) read as zero.
  std::vector<float> real(n, 0.0f), imag(n, 0.0f);
  const int order = fit.regressors();
  numeric::balance(a, order);
  numeric::reduce_to_hessenberg(a, order);
  Eigenvalues result;
  result.converged = numeric::hessenberg_eigenvalues(a, order, real, imag);

  const auto pi = static_cast<float>(std::acos(-1.0));
  result.values.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    Eigenvalue& e = result.values[i];
    e.real = real[i];
    e.imag = imag[i];
    const double re = real[i];
    const double im = imag[i];
    e.magnitude = static_cast<float>(std::sqrt(re * re + im * im));
    // A real eigenvalue (|im| up to 1e-7, or not a number) has no period.
    if (std::fabs(imag[i]) > 1.0e-7f) {
      const auto theta = static_cast<float>(std::atan2(im, re));
      e.period = static_cast<float>(2.0 * static_cast<double>(pi) / theta);
    }
  }
  return result;
}

}  // namespace tramel::forecast
