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
      // Off-diagonal magnitudes of column i and row i, each partial sum rounded.
      float column_sum = 0.0f;
      float row_sum = 0.0f;
      for (int j = 1; j <= n; ++j) {
        if (j == i) continue;
        column_sum = static_cast<float>(static_cast<double>(column_sum) + std::fabs(A(j, i)));
        row_sum = static_cast<float>(static_cast<double>(row_sum) + std::fabs(A(i, j)));
      }
      // A row or column with no off-diagonal part is left alone. So is one whose sum is not
      // finite: an infinite column sum would never be scaled down to the row's size, and
      // nothing sensible comes of scaling by an infinite or undefined factor.
      if (column_sum == 0.0f || row_sum == 0.0f || !std::isfinite(column_sum) ||
          !std::isfinite(row_sum))
        continue;

      // The power of 2 that brings the scaled column sum within a factor 2 of the row sum. The
      // column sum follows the square of the scale: the row is divided by it as the column is
      // multiplied.
      const float lower_bound = static_cast<float>(static_cast<double>(row_sum) * 0.5);
      float scale = 1.0f;
      const float total = static_cast<float>(static_cast<double>(column_sum) + row_sum);
      while (column_sum < lower_bound) {
        scale = static_cast<float>(2.0 * scale);
        column_sum = static_cast<float>(4.0 * column_sum);
      }
      const float upper_bound = static_cast<float>(2.0 * row_sum);
      while (column_sum > upper_bound) {
        scale = static_cast<float>(0.5 * scale);
        column_sum = static_cast<float>(0.25 * column_sum);
      }
      // The test itself is made in double, without rounding either side.
      if ((static_cast<double>(column_sum) + row_sum) / scale <
          static_cast<double>(kLimit) * total) {
        changed = true;
        const float reciprocal = static_cast<float>(1.0 / scale);
        for (int j = 1; j <= n; ++j)
          A(i, j) = static_cast<float>(static_cast<double>(A(i, j)) * reciprocal);
        for (int j = 1; j <= n; ++j)
          A(j, i) = static_cast<float>(static_cast<double>(A(j, i)) * scale);
      }
    }
  }
}

}  // namespace tramel::numeric
