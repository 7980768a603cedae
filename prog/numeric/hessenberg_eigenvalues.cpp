// Eigenvalues of an upper Hessenberg matrix by the Francis double-shift QR iteration, with
// exceptional shifts after 10 and 20 fruitless iterations and a give-up after 30. Eigenvalues
// are isolated from the bottom of the matrix upwards: one real value when a subdiagonal entry
// above it becomes negligible, or a pair from a trailing 2 x 2 block.
//
// Storage and the scalars of the iteration are single precision. Every expression is formed in
// double from them and rounded to single where it is stored (into a, wr, wi or a scalar). The
// two negligibility tests add the small quantity to the large one in double and compare there,
// so an entry counts as negligible only when it is below the double rounding of its
// neighbours, not merely below the single one.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "numeric/numeric.hpp"

namespace tramel::numeric {

namespace {

inline float rnd(double v) { return static_cast<float>(v); }
inline double dbl(float v) { return static_cast<double>(v); }
inline double mag(float v) { return std::fabs(static_cast<double>(v)); }

}  // namespace

bool hessenberg_eigenvalues(std::span<float> a, int n, std::span<float> wr,
                            std::span<float> wi) {
  auto A = [&](int i, int j) -> float& {
    return a[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * n];
  };
  if (n < 1) return true;  // nothing to do, and no a(1, 1) to read

  // A scale for the negligibility test where two diagonal entries are both zero: the first
  // diagonal entry and the Hessenberg part of rows 2..n (row 1 right of the diagonal is not
  // counted), each partial sum rounded.
  float anorm = std::fabs(A(1, 1));
  for (int i = 2; i <= n; ++i)
    for (int j = i - 1; j <= n; ++j) anorm = rnd(dbl(anorm) + mag(A(i, j)));

  int nn = n;
  float t = 0.0f;  // the exceptional shifts taken so far, added back to every eigenvalue
  float p = 0.0f, q = 0.0f, r = 0.0f, s = 0.0f, w = 0.0f, x = 0.0f, y = 0.0f, z = 0.0f;
  while (nn >= 1) {
    int its = 0;
    int l = 1;
    for (;;) {
      // Upwards from row nn, the first negligible subdiagonal entry a(l, l-1) splits off the
      // active block l..nn (l = 1 when there is none).
      for (l = nn; l >= 2; --l) {
        s = rnd(mag(A(l - 1, l - 1)) + mag(A(l, l)));
        if (s == 0.0f) s = anorm;
        if (mag(A(l, l - 1)) + dbl(s) == dbl(s)) break;
      }

      x = A(nn, nn);
      if (l == nn) {  // one real eigenvalue
        wr[nn - 1] = rnd(dbl(x) + t);
        wi[nn - 1] = 0.0f;
        nn = nn - 1;
        break;
      }
      y = A(nn - 1, nn - 1);
      w = rnd(dbl(A(nn, nn - 1)) * A(nn - 1, nn));
      if (l == nn - 1) {  // a pair from the trailing 2 x 2 block
        p = rnd(0.5 * (dbl(y) - x));
        q = rnd(dbl(p) * p + w);
        z = rnd(std::sqrt(mag(q)));
        x = rnd(dbl(x) + t);
        if (q >= 0.0f) {
          // A real pair: the root on the side of p's sign first, the other from the product.
          z = rnd(p >= 0.0f ? dbl(p) + mag(z) : dbl(p) - mag(z));
          wr[nn - 2] = wr[nn - 1] = rnd(dbl(x) + z);
          if (z != 0.0f) wr[nn - 1] = rnd(dbl(x) - dbl(w) / z);
          wi[nn - 2] = wi[nn - 1] = 0.0f;
        } else {
          // A complex pair: the lower index takes the negative imaginary part.
          wr[nn - 2] = wr[nn - 1] = rnd(dbl(x) + p);
          wi[nn - 2] = -z;
          wi[nn - 1] = z;
        }
        nn = nn - 2;
        break;
      }

      // No eigenvalue isolated yet: one more double-shift step on the block l..nn.
      if (its == 30) return false;  // gives up
      if (its == 10 || its == 20) {
        // Exceptional shift: take x off the diagonal and shift by an ad hoc amount.
        t = rnd(dbl(t) + x);
        for (int i = 1; i <= nn; ++i) A(i, i) = rnd(dbl(A(i, i)) - x);
        s = rnd(mag(A(nn, nn - 1)) + mag(A(nn - 1, nn - 2)));
        x = y = rnd(0.75 * s);
        w = rnd(-0.4375 * s * s);
      }
      ++its;

      // Start the step at the lowest m where two consecutive subdiagonal entries are small
      // together, or at l.
      int m = nn - 2;
      for (; m >= l; --m) {
        z = A(m, m);
        r = rnd(dbl(x) - z);
        s = rnd(dbl(y) - z);
        p = rnd((dbl(r) * s - w) / A(m + 1, m) + A(m, m + 1));
        q = rnd(dbl(A(m + 1, m + 1)) - z - r - s);
        r = A(m + 2, m + 1);
        s = rnd(mag(p) + mag(q) + mag(r));
        p = rnd(dbl(p) / s);
        q = rnd(dbl(q) / s);
        r = rnd(dbl(r) / s);
        if (m == l) break;
        const float u = rnd(mag(A(m, m - 1)) * (mag(q) + mag(r)));
        const float v = rnd(mag(p) * (mag(A(m - 1, m - 1)) + mag(z) + mag(A(m + 1, m + 1))));
        if (dbl(u) + dbl(v) == dbl(v)) break;
      }
      for (int i = m + 2; i <= nn; ++i) {
        A(i, i - 2) = 0.0f;
        if (i != m + 2) A(i, i - 3) = 0.0f;
      }

      for (int k = m; k <= nn - 1; ++k) {
        if (k != m) {
          p = A(k, k - 1);
          q = A(k + 1, k - 1);
          r = 0.0f;
          if (k != nn - 1) r = A(k + 2, k - 1);
          x = rnd(mag(p) + mag(q) + mag(r));
          if (x != 0.0f) {
            p = rnd(dbl(p) / x);
            q = rnd(dbl(q) / x);
            r = rnd(dbl(r) / x);
          }
        }
        const double norm = std::sqrt(dbl(p) * p + dbl(q) * q + dbl(r) * r);
        s = rnd(p >= 0.0f ? norm : -norm);
        if (s == 0.0f) continue;
        if (k == m) {
          if (l != m) A(k, k - 1) = -A(k, k - 1);
        } else {
          A(k, k - 1) = rnd(-dbl(s) * x);
        }
        p = rnd(dbl(p) + s);
        x = rnd(dbl(p) / s);
        y = rnd(dbl(q) / s);
        z = rnd(dbl(r) / s);
        q = rnd(dbl(q) / p);
        r = rnd(dbl(r) / p);

        // Rows k..k+2 (k+1 in the last step), columns k..nn.
        for (int j = k; j <= nn; ++j) {
          p = rnd(A(k, j) + dbl(q) * A(k + 1, j));
          if (k != nn - 1) {
            p = rnd(dbl(p) + dbl(r) * A(k + 2, j));
            A(k + 2, j) = rnd(A(k + 2, j) - dbl(p) * z);
          }
          A(k + 1, j) = rnd(A(k + 1, j) - dbl(p) * y);
          A(k, j) = rnd(A(k, j) - dbl(p) * x);
        }
        // Columns k..k+2 (k+1 in the last step), rows l..min(nn, k+3).
        const int mmin = std::min(nn, k + 3);
        float* ck = &A(1, k);  // ck[i - 1] = a(i, k)
        float* ck1 = &A(1, k + 1);
        for (int i = l; i <= mmin; ++i) {
          p = rnd(dbl(x) * ck[i - 1] + dbl(y) * ck1[i - 1]);
          if (k != nn - 1) {
            float& aik2 = A(i, k + 2);
            p = rnd(dbl(p) + dbl(z) * aik2);
            aik2 = rnd(aik2 - dbl(p) * r);
          }
          ck1[i - 1] = rnd(ck1[i - 1] - dbl(p) * q);
          ck[i - 1] = rnd(ck[i - 1] - dbl(p));
        }
      }
    }
  }
  return true;
}

}  // namespace tramel::numeric
