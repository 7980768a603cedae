// Eigenvalues of an upper Hessenberg matrix by the Francis double-shift QR iteration, with
// exceptional shifts after 10 and 20 fruitless iterations and a give-up after 30. Eigenvalues
// are isolated from the bottom of the matrix upwards: one real value when a subdiagonal entry
// above it becomes negligible, or a pair from a trailing 2 x 2 block.
//
// Storage and the scalars of the iteration are single precision. Every expression is formed in
// double from them and rounded to single where it is stored (into a, real, imag or a scalar).
// The two negligibility tests add the small quantity to the large one in double and compare
// there, so an entry counts as negligible only when it is below the double rounding of its
// neighbours, not merely below the single one.
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "numeric/numeric.hpp"

namespace tramel::numeric {

namespace {

// Rounded to single precision, widened to double, and the magnitude in double.
inline float single(double v) { return static_cast<float>(v); }
inline double wide(float v) { return static_cast<double>(v); }
inline double magnitude(float v) { return std::fabs(static_cast<double>(v)); }

}  // namespace

bool hessenberg_eigenvalues(std::span<float> a, int n, std::span<float> real,
                            std::span<float> imag) {
  auto A = [&](int i, int j) -> float& {
    return a[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * n];
  };
  if (n < 1) return true;  // nothing to do, and no a(1, 1) to read

  // A scale for the negligibility test where two diagonal entries are both zero: the first
  // diagonal entry and the Hessenberg part of rows 2..n (row 1 right of the diagonal is not
  // counted), each partial sum rounded.
  float norm_estimate = std::fabs(A(1, 1));
  for (int i = 2; i <= n; ++i)
    for (int j = i - 1; j <= n; ++j)
      norm_estimate = single(wide(norm_estimate) + magnitude(A(i, j)));

  int last = n;
  float t = 0.0f;  // the exceptional shifts taken so far, added back to every eigenvalue
  // The scalars of the double-shift step, named as the method's usual statement names them:
  // x, y, w the shift terms from the trailing 2 x 2 block, p, q, r the first column of the
  // shifted product and then of each reflection, s its norm and z a work value.
  float p = 0.0f, q = 0.0f, r = 0.0f, s = 0.0f, w = 0.0f, x = 0.0f, y = 0.0f, z = 0.0f;
  while (last >= 1) {
    int iterations = 0;
    int l = 1;
    for (;;) {
      // Upwards from the last row, the first negligible subdiagonal entry a(l, l-1) splits off the
      // active block l..last (l = 1 when there is none).
      for (l = last; l >= 2; --l) {
        s = single(magnitude(A(l - 1, l - 1)) + magnitude(A(l, l)));
        if (s == 0.0f) s = norm_estimate;
        if (magnitude(A(l, l - 1)) + wide(s) == wide(s)) break;
      }

      x = A(last, last);
      if (l == last) {  // one real eigenvalue
        real[last - 1] = single(wide(x) + t);
        imag[last - 1] = 0.0f;
        last = last - 1;
        break;
      }
      y = A(last - 1, last - 1);
      w = single(wide(A(last, last - 1)) * A(last - 1, last));
      if (l == last - 1) {  // a pair from the trailing 2 x 2 block
        p = single(0.5 * (wide(y) - x));
        q = single(wide(p) * p + w);
        z = single(std::sqrt(magnitude(q)));
        x = single(wide(x) + t);
        if (q >= 0.0f) {
          // A real pair: the root on the side of p's sign first, the other from the product.
          z = single(p >= 0.0f ? wide(p) + magnitude(z) : wide(p) - magnitude(z));
          real[last - 2] = real[last - 1] = single(wide(x) + z);
          if (z != 0.0f) real[last - 1] = single(wide(x) - wide(w) / z);
          imag[last - 2] = imag[last - 1] = 0.0f;
        } else {
          // A complex pair: the lower index takes the negative imaginary part.
          real[last - 2] = real[last - 1] = single(wide(x) + p);
          imag[last - 2] = -z;
          imag[last - 1] = z;
        }
        last = last - 2;
        break;
      }

      // No eigenvalue isolated yet: one more double-shift step on the block l..last.
      if (iterations == 30) return false;  // gives up
      if (iterations == 10 || iterations == 20) {
        // Exceptional shift: take x off the diagonal and shift by an ad hoc amount.
        t = single(wide(t) + x);
        for (int i = 1; i <= last; ++i) A(i, i) = single(wide(A(i, i)) - x);
        s = single(magnitude(A(last, last - 1)) + magnitude(A(last - 1, last - 2)));
        x = y = single(0.75 * s);
        w = single(-0.4375 * s * s);
      }
      ++iterations;

      // Start the step at the lowest m where two consecutive subdiagonal entries are small
      // together, or at l.
      int m = last - 2;
      for (; m >= l; --m) {
        z = A(m, m);
        r = single(wide(x) - z);
        s = single(wide(y) - z);
        p = single((wide(r) * s - w) / A(m + 1, m) + A(m, m + 1));
        q = single(wide(A(m + 1, m + 1)) - z - r - s);
        r = A(m + 2, m + 1);
        s = single(magnitude(p) + magnitude(q) + magnitude(r));
        p = single(wide(p) / s);
        q = single(wide(q) / s);
        r = single(wide(r) / s);
        if (m == l) break;
        const float u = single(magnitude(A(m, m - 1)) * (magnitude(q) + magnitude(r)));
        const float v = single(magnitude(p) * (magnitude(A(m - 1, m - 1)) + magnitude(z) +
                                               magnitude(A(m + 1, m + 1))));
        if (wide(u) + wide(v) == wide(v)) break;
      }
      for (int i = m + 2; i <= last; ++i) {
        A(i, i - 2) = 0.0f;
        if (i != m + 2) A(i, i - 3) = 0.0f;
      }

      for (int k = m; k <= last - 1; ++k) {
        if (k != m) {
          p = A(k, k - 1);
          q = A(k + 1, k - 1);
          r = 0.0f;
          if (k != last - 1) r = A(k + 2, k - 1);
          x = single(magnitude(p) + magnitude(q) + magnitude(r));
          if (x != 0.0f) {
            p = single(wide(p) / x);
            q = single(wide(q) / x);
            r = single(wide(r) / x);
          }
        }
        const double norm = std::sqrt(wide(p) * p + wide(q) * q + wide(r) * r);
        s = single(p >= 0.0f ? norm : -norm);
        if (s == 0.0f) continue;
        if (k == m) {
          if (l != m) A(k, k - 1) = -A(k, k - 1);
        } else {
          A(k, k - 1) = single(-wide(s) * x);
        }
        p = single(wide(p) + s);
        x = single(wide(p) / s);
        y = single(wide(q) / s);
        z = single(wide(r) / s);
        q = single(wide(q) / p);
        r = single(wide(r) / p);

        // Rows k..k+2 (k+1 in the last step), columns k..last.
        for (int j = k; j <= last; ++j) {
          p = single(A(k, j) + wide(q) * A(k + 1, j));
          if (k != last - 1) {
            p = single(wide(p) + wide(r) * A(k + 2, j));
            A(k + 2, j) = single(A(k + 2, j) - wide(p) * z);
          }
          A(k + 1, j) = single(A(k + 1, j) - wide(p) * y);
          A(k, j) = single(A(k, j) - wide(p) * x);
        }
        // Columns k..k+2 (k+1 in the last step), rows l..min(last, k+3).
        const int last_row = std::min(last, k + 3);
        float* ck = &A(1, k);  // ck[i - 1] = a(i, k)
        float* ck1 = &A(1, k + 1);
        for (int i = l; i <= last_row; ++i) {
          p = single(wide(x) * ck[i - 1] + wide(y) * ck1[i - 1]);
          if (k != last - 1) {
            float& aik2 = A(i, k + 2);
            p = single(wide(p) + wide(z) * aik2);
            aik2 = single(aik2 - wide(p) * r);
          }
          ck1[i - 1] = single(ck1[i - 1] - wide(p) * q);
          ck[i - 1] = single(ck[i - 1] - wide(p));
        }
      }
    }
  }
  return true;
}

}  // namespace tramel::numeric
