// Balancing of a real matrix by exact powers of 2 before its eigenvalues are sought: row i
// is divided and column i multiplied by the same power of 2 until no such scaling lowers the
// sum of the off-diagonal magnitudes of row and column i by 5 % or more. The eigenvalues are
// unchanged and the reduction that follows meets entries of like size.
//
// Storage and scalars are single precision; every expression is formed in double and rounded
// to single where it is stored.
#include <cmath>
#include <cstddef>

#include "numeric/numeric.hpp"

namespace tramel::numeric {

void balance(std::span<float> a, int n) {
  auto A = [&](int i, int j) -> float& {
    return a[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * n];
  };
  const float kLimit = 0.95f;  // the single-precision constant, widened for the test

  bool changed = true;
  while (changed) {
    changed = false;
    for (int i = 1; i <= n; ++i) {
      // Off-diagonal magnitudes of column i (c) and row i (r), each partial sum rounded.
      float c = 0.0f;
      float r = 0.0f;
      for (int j = 1; j <= n; ++j) {
        if (j == i) continue;
        c = static_cast<float>(static_cast<double>(c) + std::fabs(A(j, i)));
        r = static_cast<float>(static_cast<double>(r) + std::fabs(A(i, j)));
      }
      // A row or column with no off-diagonal part is left alone. So is one whose sum is not
      // finite: an infinite column sum would never be scaled down to the row's size, and
      // nothing sensible comes of scaling by an infinite or undefined factor.
      if (c == 0.0f || r == 0.0f || !std::isfinite(c) || !std::isfinite(r)) continue;

      float g = static_cast<float>(static_cast<double>(r) * 0.5);
      float f = 1.0f;
      const float s = static_cast<float>(static_cast<double>(c) + r);
      while (c < g) {
        f = static_cast<float>(2.0 * f);
        c = static_cast<float>(4.0 * c);
      }
      g = static_cast<float>(2.0 * r);
      while (c > g) {
        f = static_cast<float>(0.5 * f);
        c = static_cast<float>(0.25 * c);
      }
      // The test itself is made in double, without rounding either side.
      if ((static_cast<double>(c) + r) / f < static_cast<double>(kLimit) * s) {
        changed = true;
        g = static_cast<float>(1.0 / f);
        for (int j = 1; j <= n; ++j) A(i, j) = static_cast<float>(static_cast<double>(A(i, j)) * g);
        for (int j = 1; j <= n; ++j) A(j, i) = static_cast<float>(static_cast<double>(A(j, i)) * f);
      }
    }
  }
}

}  // namespace tramel::numeric
