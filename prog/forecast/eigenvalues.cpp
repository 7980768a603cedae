// The eigenvalues of the fitted system: the companion matrix of the VAR, its eigenvalues, and
// each as a magnitude and a period in frames.
#include <cmath>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

Eigenvalues companion_eigenvalues(const VarFit& fit) {
  const int order = fit.regressors();
  const auto size = static_cast<std::size_t>(order);
  const auto variables = static_cast<std::size_t>(fit.variables);
  // Rows 1..variables: [B_1 ... B_p] in single precision; below them the identity block that
  // shifts each lag down.
  std::vector<float> companion(size * size);
  for (std::size_t u = 0; u < size; ++u) {
    float* column = companion.data() + u * size;
    for (std::size_t i = 0; i < variables; ++i)
      column[i] = static_cast<float>(fit.coefficients[i * size + u]);
    for (std::size_t k = 0; k < size - variables; ++k)
      column[variables + k] = (k == u) ? 1.0f : 0.0f;
  }

  // Entries the solver does not reach (it gives up after too many iterations) read as zero.
  std::vector<float> real(size, 0.0f), imag(size, 0.0f);
  numeric::balance(companion, order);
  numeric::reduce_to_hessenberg(companion, order);
  Eigenvalues result;
  result.converged = numeric::hessenberg_eigenvalues(companion, order, real, imag);

  const auto pi = static_cast<float>(std::acos(-1.0));
  result.values.resize(size);
  for (std::size_t i = 0; i < size; ++i) {
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
