// Reduction of a real matrix to upper Hessenberg form by elimination with row pivoting: for
// each column m-1 the entry of largest magnitude at or below row m is swapped into row m, and
// the entries below it are eliminated by similarity transformations (row i minus y times row
// m, then column m plus y times column i). The multipliers y are left below the subdiagonal;
// the eigenvalue iteration treats those places as zero.
//
// Storage and scalars are single precision; every expression is formed in double and rounded
// to single where it is stored.
#include <cmath>
#include <cstddef>
#include <utility>

#include "numeric/numeric.hpp"

namespace tramel::numeric {

void reduce_to_hessenberg(std::span<float> a, int n) {
  auto A = [&](int i, int j) -> float& {
    return a[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * n];
  };
  for (int m = 2; m <= n - 1; ++m) {
    // The pivot: the first entry of largest magnitude in rows m..n of column m-1.
    float x = 0.0f;
    int i = m;
    for (int j = m; j <= n; ++j) {
      if (std::fabs(A(j, m - 1)) > std::fabs(x)) {
        x = A(j, m - 1);
        i = j;
      }
    }
    if (i != m) {
      for (int j = m - 1; j <= n; ++j) std::swap(A(i, j), A(m, j));
      for (int j = 1; j <= n; ++j) std::swap(A(j, i), A(j, m));
    }
    if (x != 0.0f) {
      for (i = m + 1; i <= n; ++i) {
        float y = A(i, m - 1);
        if (y == 0.0f) continue;
        y = static_cast<float>(static_cast<double>(y) / x);
        A(i, m - 1) = y;
        for (int j = m; j <= n; ++j)
          A(i, j) = static_cast<float>(A(i, j) - static_cast<double>(y) * A(m, j));
        float* ci = &A(1, i);
        float* cm = &A(1, m);
        for (int j = 0; j < n; ++j)
          cm[j] = static_cast<float>(cm[j] + static_cast<double>(y) * ci[j]);
      }
    }
  }
}

}  // namespace tramel::numeric
