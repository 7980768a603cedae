// Balancing, Hessenberg reduction and the QR eigenvalue iteration.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

using FloatMatrix = std::vector<float>;  // column-major, leading dimension n
using cld = std::complex<long double>;

float& at(FloatMatrix& a, int n, int i, int j) { return a[(i - 1) + (j - 1) * n]; }

// Column-major matrix from rows written out in the test.
FloatMatrix from_rows(int n, std::initializer_list<float> rows) {
  FloatMatrix a(n * n);
  int k = 0;
  for (float v : rows) {
    a[(k / n) + (k % n) * n] = v;
    ++k;
  }
  return a;
}

struct Eig {
  std::vector<float> wr, wi;
  bool converged = false;
};

// The three routines in the order the system calls them. Entries the iteration does not reach
// stay NaN.
Eig eigenvalues(FloatMatrix a, int n) {
  Eig e{std::vector<float>(n, std::numeric_limits<float>::quiet_NaN()),
        std::vector<float>(n, std::numeric_limits<float>::quiet_NaN())};
  balance(a, n);
  reduce_to_hessenberg(a, n);
  e.converged = hessenberg_eigenvalues(a, n, e.wr, e.wi);
  return e;
}

// Pairs with a nonzero imaginary part sit next to each other, the lower index negative.
void expect_pairs_ordered(const Eig& e) {
  const int n = static_cast<int>(e.wr.size());
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(std::isfinite(e.wr[i]) && std::isfinite(e.wi[i])) << "entry " << i + 1;
    if (e.wi[i] == 0.0f) continue;
    ASSERT_LT(e.wi[i], 0.0f) << "entry " << i + 1;
    ASSERT_LT(i + 1, n);
    EXPECT_EQ(e.wi[i + 1], -e.wi[i]);
    EXPECT_EQ(e.wr[i + 1], e.wr[i]);
    ++i;
  }
}

TEST(Eigen, SmallKnownSpectraExactly) {
  struct Case {
    const char* name;
    int n;
    FloatMatrix a;
    std::vector<float> wr, wi;
  };
  const Case cases[] = {
      {"1x1", 1, {-2.5f}, {-2.5f}, {0.0f}},
      {"rotation", 2, from_rows(2, {0, -1, 1, 0}), {0, 0}, {-1, 1}},
      // The negligible subdiagonal isolates 3 first, into the higher index.
      {"diagonal", 2, from_rows(2, {2, 0, 0, 3}), {2, 3}, {0, 0}},
      {"upper triangular", 3, from_rows(3, {1, 5, 6, 0, -2, 7, 0, 0, 4}), {1, -2, 4}, {0, 0, 0}},
      // A real pair from a 2 x 2 block: p = 0, so x + z = 3 takes the lower index and
      // x - w/z = 1 the higher; with z = 0 (w = 0) both entries are x.
      {"real pair", 2, from_rows(2, {2, 1, 1, 2}), {3, 1}, {0, 0}},
      {"double root", 2, from_rows(2, {2, 0, 1, 2}), {2, 2}, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Eig e = eigenvalues(c.a, c.n);
    EXPECT_EQ(e.wr, c.wr);
    EXPECT_EQ(e.wi, c.wi);
    EXPECT_TRUE(e.converged);
  }
}

// Sorted by real part, then imaginary part.
bool before(std::complex<double> x, std::complex<double> y) {
  return x.real() != y.real() ? x.real() < y.real() : x.imag() < y.imag();
}

TEST(Eigen, CompanionMatricesOfKnownPolynomials) {
  using C = std::complex<double>;
  const std::vector<std::vector<C>> root_sets = {
      {{1, 0}, {2, 0}, {-3, 0}, {0.5, 0.5}, {0.5, -0.5}, {-1, 2}, {-1, -2}},
      {{0.9, 0.3}, {0.9, -0.3}, {-0.7, 0}, {0.2, 0.8}, {0.2, -0.8}, {0.05, 0}},
      // Roots of unity of order 4 and 3: the cyclic shifts, where plain shifts stall and the
      // exceptional shifts have to break the symmetry.
      {{1, 0}, {0, 1}, {-1, 0}, {0, -1}},
      {{1, 0}, {-0.5, std::sqrt(0.75)}, {-0.5, -std::sqrt(0.75)}},
  };
  for (const auto& roots : root_sets) {
    const int n = static_cast<int>(roots.size());
    SCOPED_TRACE(n);
    // x^n = c1 x^(n-1) + ... + cn: the first row holds c, the subdiagonal ones.
    std::vector<C> poly = {1.0};  // highest power first
    for (const C& r : roots) {
      std::vector<C> next(poly.size() + 1, 0.0);
      for (std::size_t k = 0; k < poly.size(); ++k) {
        next[k] += poly[k];
        next[k + 1] -= r * poly[k];
      }
      poly = next;
    }
    FloatMatrix a(n * n, 0.0f);
    for (int j = 1; j <= n; ++j) at(a, n, 1, j) = static_cast<float>(-poly[j].real());
    for (int i = 2; i <= n; ++i) at(a, n, i, i - 1) = 1.0f;

    const Eig e = eigenvalues(a, n);
    EXPECT_TRUE(e.converged);
    expect_pairs_ordered(e);
    std::vector<C> got, want = roots;
    for (int i = 0; i < n; ++i) got.emplace_back(e.wr[i], e.wi[i]);
    std::sort(got.begin(), got.end(), before);
    std::sort(want.begin(), want.end(), before);
    for (int i = 0; i < n; ++i) EXPECT_LT(std::abs(got[i] - want[i]), 2e-5) << got[i] << want[i];
  }
}

// ---- Random matrices, checked without a second eigenvalue solver -----------------------------

// An upper bound on the smallest singular value of a - lambda I: a few steps of inverse
// iteration, by Gaussian elimination with partial pivoting in long double.
long double sigma_min(const FloatMatrix& a, int n, cld lambda) {
  std::vector<cld> x(n);
  for (int i = 0; i < n; ++i) x[i] = std::polar(1.0L / std::sqrt(1.0L * n), 1.0L + i * i);
  long double est = std::numeric_limits<long double>::infinity();
  for (int it = 0; it < 4; ++it) {
    std::vector<cld> m(n * (n + 1));  // [a - lambda I | x], row-major, n + 1 columns
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j)
        m[i * (n + 1) + j] = cld(a[i + j * n]) - (i == j ? lambda : cld(0.0L));
      m[i * (n + 1) + n] = x[i];
    }
    for (int k = 0; k < n; ++k) {
      int p = k;
      for (int i = k + 1; i < n; ++i)
        if (std::abs(m[i * (n + 1) + k]) > std::abs(m[p * (n + 1) + k])) p = i;
      for (int j = 0; j <= n; ++j) std::swap(m[k * (n + 1) + j], m[p * (n + 1) + j]);
      if (std::abs(m[k * (n + 1) + k]) == 0) return 0;
      for (int i = k + 1; i < n; ++i) {
        const cld f = m[i * (n + 1) + k] / m[k * (n + 1) + k];
        for (int j = k; j <= n; ++j) m[i * (n + 1) + j] -= f * m[k * (n + 1) + j];
      }
    }
    long double ny = 0;
    for (int i = n - 1; i >= 0; --i) {
      cld v = m[i * (n + 1) + n];
      for (int k = i + 1; k < n; ++k) v -= m[i * (n + 1) + k] * x[k];
      x[i] = v / m[i * (n + 1) + i];
      ny += std::norm(x[i]);
    }
    est = std::min(est, 1 / std::sqrt(ny));  // |x| is 1 before the solve
    for (cld& v : x) v /= std::sqrt(ny);
  }
  return est;
}

// Checks the eigenvalues of a as a set: each makes a - lambda I singular to the precision of
// the data, and their sum and sum of squares are trace(a) and trace(a^2).
void check_spectrum(const FloatMatrix& a, int n, const Eig& e) {
  expect_pairs_ordered(e);
  EXPECT_TRUE(e.converged);
  long double fro = 0, tr1 = 0, tr2 = 0, mag2 = 0;
  cld sum1 = 0, sum2 = 0;
  for (int i = 0; i < n; ++i) {
    tr1 += a[i + i * n];
    for (int j = 0; j < n; ++j) {
      fro += static_cast<long double>(a[i + j * n]) * a[i + j * n];
      tr2 += static_cast<long double>(a[i + j * n]) * a[j + i * n];
    }
    const cld lam(e.wr[i], e.wi[i]);
    sum1 += lam;
    sum2 += lam * lam;
    mag2 += std::norm(lam);
  }
  fro = std::sqrt(fro);
  for (int i = 0; i < n; ++i)
    EXPECT_LT(sigma_min(a, n, cld(e.wr[i], e.wi[i])), 2e-6L * fro) << "entry " << i + 1;
  EXPECT_NEAR(static_cast<double>(sum1.real()), static_cast<double>(tr1),
              static_cast<double>(1e-5L * n * fro));
  EXPECT_NEAR(static_cast<double>(sum2.real()), static_cast<double>(tr2),
              static_cast<double>(1e-5L * n * (mag2 + fro * fro)));
  EXPECT_EQ(sum1.imag(), 0.0L);
}

TEST(Eigen, RandomMatricesAsASet) {
  // Dense matrices, and the shape the system solves: coefficient rows of nv equations over p
  // lags above the identity block that shifts each lag down (entries of very different size,
  // which the balancing evens out).
  std::mt19937 gen(2024);
  std::normal_distribution<float> u(0.0f, 1.0f);
  struct Shape {
    int nv, p;  // p = 0: dense of order nv
    float scale;
  };
  for (const Shape s : {Shape{5, 0, 1}, Shape{9, 0, 1}, Shape{14, 0, 1}, Shape{23, 0, 1},
                        Shape{40, 0, 1}, Shape{2, 1, 0.5f}, Shape{2, 3, 0.3f}, Shape{4, 5, 0.2f},
                        Shape{6, 6, 0.1f}, Shape{4, 10, 30}}) {
    const int n = s.p == 0 ? s.nv : s.nv * s.p;
    const int rows = s.p == 0 ? n : s.nv;
    SCOPED_TRACE(n);
    FloatMatrix a(n * n, 0.0f);
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= rows; ++i) at(a, n, i, j) = s.scale * u(gen);
    for (int k = 1; k <= n - rows; ++k) at(a, n, rows + k, k) = 1.0f;
    check_spectrum(a, n, eigenvalues(a, n));
  }
}

TEST(Eigen, BalancingScalesByPowersOfTwoAndSkipsEmptyLines) {
  // Column 1 and row 1 off the diagonal: 0.001 and 1000. Row 1 is divided and column 1
  // multiplied by 1024; then nothing more improves.
  FloatMatrix a = from_rows(2, {1.0f, 1000.0f, 0.001f, 2.0f});
  balance(a, 2);
  EXPECT_EQ(a, from_rows(2, {1.0f, 1000.0f / 1024, 0.001f * 1024, 2.0f}));

  // Upper triangular: column 1 and rows 2 and 3 have no off-diagonal part, so no index is
  // scaled, although column 2 holds 1000 against an empty row.
  const FloatMatrix empty = from_rows(3, {1.0f, 1000.0f, 3.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 7.0f});
  a = empty;
  balance(a, 3);
  EXPECT_EQ(a, empty);

  // An infinite column sum is left alone instead of being scaled down for ever.
  const FloatMatrix inf = from_rows(2, {1.0f, 1.0f, std::numeric_limits<float>::infinity(), 2.0f});
  a = inf;
  balance(a, 2);
  EXPECT_EQ(a, inf);
}

TEST(Eigen, ReductionLeavesAHessenbergMatrixAlone) {
  const int n = 7;
  std::mt19937 gen(3);
  std::uniform_real_distribution<float> u(-2.0f, 2.0f);
  FloatMatrix a(n * n, 0.0f);
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= std::min(n, j + 1); ++i) at(a, n, i, j) = u(gen);
  const FloatMatrix before_call = a;
  reduce_to_hessenberg(a, n);
  EXPECT_EQ(a, before_call);
}

TEST(Eigen, IterationGivesUpAfterThirtyIterations) {
  // The trailing 5 splits off at once; the block above it holds NaN and never converges.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  FloatMatrix a = from_rows(4, {nan, 1, 1, 1,  //
                        1, nan, 1, 1,  //
                        0, nan, 1, 1,  //
                        0, 0, 0, 5});
  std::vector<float> wr(4, -7.0f), wi(4, -7.0f);
  EXPECT_FALSE(hessenberg_eigenvalues(a, 4, wr, wi));
  EXPECT_EQ(wr, std::vector<float>({-7.0f, -7.0f, -7.0f, 5.0f}));
  EXPECT_EQ(wi, std::vector<float>({-7.0f, -7.0f, -7.0f, 0.0f}));
}

}  // namespace
}  // namespace tramel::numeric
