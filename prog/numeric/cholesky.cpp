// Cholesky factor, solve and inverse of a symmetric positive definite matrix in double
// precision. The factor L goes into the strict lower triangle of `a` and its diagonal into a
// separate vector, so the input's upper triangle and diagonal stay as they were.
//
// Every sum is accumulated in long double, starting from the value it names, with each product
// formed in double; the sum is rounded to double before it is stored, divided by a pivot or
// square-rooted. Where several sums run side by side so that neighbouring entries of a column
// are read together, each sum still receives its terms in its own order, so the results are
// those of one sum at a time, bit for bit.
//
// The models' inverse and the weighted sums of rows at the end are plain double precision, each
// sum in a fixed order, their inner loops running along rows.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "numeric/numeric.hpp"

namespace tramel::numeric {

namespace {

// a(i, j), 1-based, column-major with leading dimension n.
inline std::size_t at(int i, int j, int n) {
  return static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * n;
}

}  // namespace

bool cholesky_factor(std::span<double> a, int n, std::span<double> diagonal) {
  for (int i = 1; i <= n; ++i) {
    // The pivot. A pivot that is zero or negative stops the factorisation before anything of
    // row i is written; one that is not a number does not compare as <= 0 and goes on.
    long double s = a[at(i, i, n)];
    for (int k = i - 1; k >= 1; --k) s = s - a[at(i, k, n)] * a[at(i, k, n)];
    const double pivot = static_cast<double>(s);
    if (pivot <= 0.0) return false;
    const double d = std::sqrt(pivot);
    diagonal[i - 1] = d;

    // Column i of L below the diagonal, four rows at a time: the four sums run together
    // through k = i-1 down to 1, reading four neighbouring entries of column k.
    int j = i + 1;
    for (; j + 3 <= n; j += 4) {
      long double s0 = a[at(i, j, n)], s1 = a[at(i, j + 1, n)];
      long double s2 = a[at(i, j + 2, n)], s3 = a[at(i, j + 3, n)];
      for (int k = i - 1; k >= 1; --k) {
        const double lik = a[at(i, k, n)];
        const double* c = &a[at(j, k, n)];
        s0 = s0 - lik * c[0];
        s1 = s1 - lik * c[1];
        s2 = s2 - lik * c[2];
        s3 = s3 - lik * c[3];
      }
      double* out = &a[at(j, i, n)];
      out[0] = static_cast<double>(s0) / d;
      out[1] = static_cast<double>(s1) / d;
      out[2] = static_cast<double>(s2) / d;
      out[3] = static_cast<double>(s3) / d;
    }
    for (; j <= n; ++j) {
      long double t = a[at(i, j, n)];
      for (int k = i - 1; k >= 1; --k) t = t - a[at(i, k, n)] * a[at(j, k, n)];
      a[at(j, i, n)] = static_cast<double>(t) / d;
    }
  }
  return true;
}

void cholesky_solve(std::span<const double> a, int n, std::span<const double> diagonal,
             std::span<const double> b, std::span<double> x) {
  // The rows of L, each laid out in one run: the forward solve reads a row of L, the backward
  // one a column. The sums are those of the row as stored, in the same order.
  const auto un = static_cast<std::size_t>(n);
  std::vector<double> rows(un * un);
  for (int i = 1; i <= n; ++i)
    for (int k = 1; k < i; ++k) rows[static_cast<std::size_t>(i - 1) * un + static_cast<std::size_t>(k - 1)] = a[at(i, k, n)];
  for (std::size_t first = 0; first + un <= b.size() && n > 0; first += un) {
    const double* rhs = b.data() + first;
    double* out = x.data() + first;
    // Forward: L y = b, each row's terms from the nearest column back to the first.
    for (int i = 1; i <= n; ++i) {
      const double* row = rows.data() + static_cast<std::size_t>(i - 1) * un;
      long double s = rhs[i - 1];
      for (int k = i - 1; k >= 1; --k) s = s - row[k - 1] * out[k - 1];
      out[i - 1] = static_cast<double>(s) / diagonal[i - 1];
    }
    // Backward: L^T x = y, down column i of L.
    for (int i = n; i >= 1; --i) {
      long double s = out[i - 1];
      for (int k = i + 1; k <= n; ++k) s = s - a[at(k, i, n)] * out[k - 1];
      out[i - 1] = static_cast<double>(s) / diagonal[i - 1];
    }
  }
}

void cholesky_inverse(std::span<double> a, int n, std::span<const double> diagonal) {
  // 1. L^-1 over L in the lower triangle with the diagonal, column by column. Entry (j, i)
  //    sums -a(j, k) * a(k, i) for k = i..j-1: the L value of row j times the L^-1 value of
  //    column i formed before it (for k = i, a(j, i) is still L). Four rows go together:
  //    first the terms all four have, then the terms from the entries of the group itself,
  //    each formed just before.
  for (int i = 1; i <= n; ++i) {
    a[at(i, i, n)] = 1.0 / diagonal[i - 1];
    double* ci = &a[at(1, i, n)];  // ci[k - 1] = a(k, i)
    int j = i + 1;
    for (; j + 3 <= n; j += 4) {
      long double s0 = 0.0L, s1 = 0.0L, s2 = 0.0L, s3 = 0.0L;
      for (int k = i; k <= j - 1; ++k) {
        const double* r = &a[at(j, k, n)];
        const double inv = ci[k - 1];
        s0 = s0 - r[0] * inv;
        s1 = s1 - r[1] * inv;
        s2 = s2 - r[2] * inv;
        s3 = s3 - r[3] * inv;
      }
      ci[j - 1] = static_cast<double>(s0) / diagonal[j - 1];
      s1 = s1 - a[at(j + 1, j, n)] * ci[j - 1];
      s2 = s2 - a[at(j + 2, j, n)] * ci[j - 1];
      s3 = s3 - a[at(j + 3, j, n)] * ci[j - 1];
      ci[j] = static_cast<double>(s1) / diagonal[j];
      s2 = s2 - a[at(j + 2, j + 1, n)] * ci[j];
      s3 = s3 - a[at(j + 3, j + 1, n)] * ci[j];
      ci[j + 1] = static_cast<double>(s2) / diagonal[j + 1];
      s3 = s3 - a[at(j + 3, j + 2, n)] * ci[j + 1];
      ci[j + 2] = static_cast<double>(s3) / diagonal[j + 2];
    }
    for (; j <= n; ++j) {
      long double t = 0.0L;
      for (int k = i; k <= j - 1; ++k) t = t - a[at(j, k, n)] * ci[k - 1];
      ci[j - 1] = static_cast<double>(t) / diagonal[j - 1];
    }
  }

  // 2. A^-1 = (L^-1)^T L^-1 into the upper triangle, row by row. Row i's off-diagonal entries
  //    come before its diagonal, and rows go upwards in index, so every L^-1 value is read
  //    before it is overwritten. Entry (i, j) sums a(k, i) * a(k, j) for k = j..n; four
  //    entries go together: each first takes its own leading terms, then all four run
  //    through the rows they share.
  for (int i = 1; i <= n; ++i) {
    const double* ci = &a[at(1, i, n)];  // ci[k - 1] = a(k, i)
    int j = i + 1;
    for (; j + 3 <= n; j += 4) {
      const double* c0 = &a[at(1, j, n)];
      const double* c1 = &a[at(1, j + 1, n)];
      const double* c2 = &a[at(1, j + 2, n)];
      const double* c3 = &a[at(1, j + 3, n)];
      long double s0 = 0.0L, s1 = 0.0L, s2 = 0.0L, s3 = 0.0L;
      s0 = s0 + ci[j - 1] * c0[j - 1];
      s0 = s0 + ci[j] * c0[j];
      s1 = s1 + ci[j] * c1[j];
      s0 = s0 + ci[j + 1] * c0[j + 1];
      s1 = s1 + ci[j + 1] * c1[j + 1];
      s2 = s2 + ci[j + 1] * c2[j + 1];
      for (int k = j + 3; k <= n; ++k) {
        const double v = ci[k - 1];
        s0 = s0 + v * c0[k - 1];
        s1 = s1 + v * c1[k - 1];
        s2 = s2 + v * c2[k - 1];
        s3 = s3 + v * c3[k - 1];
      }
      a[at(i, j, n)] = static_cast<double>(s0);
      a[at(i, j + 1, n)] = static_cast<double>(s1);
      a[at(i, j + 2, n)] = static_cast<double>(s2);
      a[at(i, j + 3, n)] = static_cast<double>(s3);
    }
    for (; j <= n; ++j) {
      const double* cj = &a[at(1, j, n)];
      long double t = 0.0L;
      for (int k = j; k <= n; ++k) t = t + ci[k - 1] * cj[k - 1];
      a[at(i, j, n)] = static_cast<double>(t);
    }
    long double t = 0.0L;
    for (int k = i; k <= n; ++k) t = t + ci[k - 1] * ci[k - 1];
    a[at(i, i, n)] = static_cast<double>(t);
  }

  // 3. The lower triangle from the upper.
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j) a[at(j, i, n)] = a[at(i, j, n)];
}

// Aligned to a cache line: this loop is the largest part of auto's time (a fifth to a quarter),
// and where it fell among 64-byte lines (which moves with any change to the code before it)
// moved auto's time by a tenth.
[[gnu::aligned(64)]] void weighted_row_sum(std::span<const double> weights, std::span<const double> rows,
                                           std::span<double> out) {
  std::fill(out.begin(), out.end(), 0.0);
  const std::size_t width = out.size();
  for (std::size_t k = 0; k < weights.size(); ++k) {
    const double f = weights[k];
    if (f == 0.0) continue;
    const double* row = rows.data() + k * width;
    for (std::size_t j = 0; j < width; ++j) out[j] += f * row[j];
  }
}

bool invert_positive_definite(std::span<double> a, int n) {
  const auto un = static_cast<std::size_t>(n);
  double* m = a.data();
  // 1. U by rows, in the upper triangle: row j of the trailing matrix over its pivot's root,
  //    then each later row loses row j's outer product.
  for (std::size_t j = 0; j < un; ++j) {
    double* row = m + j * un;
    const double pivot = row[j];
    if (pivot <= 0.0) return false;
    const double d = std::sqrt(pivot);
    for (std::size_t k = j + 1; k < un; ++k) row[k] /= d;
    row[j] = d;
    for (std::size_t i = j + 1; i < un; ++i) {
      const double f = row[i];
      double* target = m + i * un;
      for (std::size_t k = i; k < un; ++k) target[k] -= f * row[k];
    }
  }
  // 2. V = U^-1 (upper) by rows from the last: row i is -(U(i, i+1..) V(i+1.., .)) / U(i, i),
  //    its diagonal 1 / U(i, i); then W = V', so that row k of W holds column k of V.
  std::vector<double> v(un * un, 0.0), sum(un);
  for (std::size_t i = un; i-- > 0;) {
    const double* u = m + i * un;
    std::fill(sum.begin(), sum.end(), 0.0);
    for (std::size_t r = i + 1; r < un; ++r) {
      const double f = u[r];
      const double* vr = v.data() + r * un;
      for (std::size_t k = r; k < un; ++k) sum[k] += f * vr[k];
    }
    double* vi = v.data() + i * un;
    vi[i] = 1.0 / u[i];
    for (std::size_t k = i + 1; k < un; ++k) vi[k] = -sum[k] / u[i];
  }
  std::vector<double> w(un * un, 0.0);
  for (std::size_t i = 0; i < un; ++i)
    for (std::size_t k = i; k < un; ++k) w[k * un + i] = v[i * un + k];
  // 3. A^-1 = V V': row a is the sum over k >= a of V(a, k) times row k of W, from column a.
  for (std::size_t r = 0; r < un; ++r) {
    double* out = m + r * un;
    std::fill(out + r, out + un, 0.0);
    const double* vr = v.data() + r * un;
    for (std::size_t k = r; k < un; ++k) {
      const double f = vr[k];
      const double* wk = w.data() + k * un;
      for (std::size_t c = r; c <= k; ++c) out[c] += f * wk[c];
    }
  }
  for (std::size_t r = 0; r < un; ++r)
    for (std::size_t c = 0; c < r; ++c) m[r * un + c] = m[c * un + r];
  return true;
}

}  // namespace tramel::numeric
