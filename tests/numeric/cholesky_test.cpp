// Cholesky factor, solve and inverse.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

using Mat = std::vector<double>;  // column-major, leading dimension n

double& at(Mat& a, int n, int i, int j) { return a[(i - 1) + (j - 1) * n]; }

TEST(Cholesky, FailingPivotStopsAtOnce) {
  // A zero diagonal entry with a zero row in the upper triangle at row 2 (pivot exactly 0):
  // row 1 is factored, then the factor gives up.
  Mat a = {4, 0, 0, /**/ 0, 0, 0, /**/ 2, 0, 5};
  Mat diagonal(3, -7.0);
  EXPECT_FALSE(cholesky_factor(a, 3, diagonal));
  EXPECT_EQ(diagonal, Mat({2.0, -7.0, -7.0}));
  EXPECT_EQ(at(a, 3, 3, 1), 1.0);

  // A negative first pivot: nothing written to the matrix or the diagonal.
  const Mat neg = {-1, 9, 9, 2, 3, 9, 1, 1, 4};
  a = neg;
  diagonal.assign(3, -7.0);
  EXPECT_FALSE(cholesky_factor(a, 3, diagonal));
  EXPECT_EQ(a, neg);
  EXPECT_EQ(diagonal, Mat(3, -7.0));

  // A pivot that is not a number is not a failure.
  a = {std::numeric_limits<double>::quiet_NaN()};
  EXPECT_TRUE(cholesky_factor(a, 1, diagonal));
  EXPECT_TRUE(std::isnan(diagonal[0]));
}

// A random positive definite B^T B + n I, upper triangle only; the lower triangle holds
// garbage that must not be read. The factor is checked bit for bit against the plain
// one-sum-at-a-time loops (the routine runs four sums side by side, each in its own order),
// the solve against the right-hand side and the inverse against the identity.
TEST(Cholesky, RandomSpdMatrices) {
  for (int n : {1, 2, 7, 33, 50}) {
    SCOPED_TRACE(n);
    std::mt19937 gen(17u + n);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Mat b(n * n), orig(n * n, 1.0e300);
    for (double& v : b) v = u(gen);
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= j; ++i) {
        double s = i == j ? n : 0.0;
        for (int k = 1; k <= n; ++k) s += at(b, n, k, i) * at(b, n, k, j);
        at(orig, n, i, j) = s;
      }
    auto full = [&](int i, int j) { return i <= j ? at(orig, n, i, j) : at(orig, n, j, i); };

    Mat a = orig, diagonal(n), rhs(n), x(n);
    ASSERT_TRUE(cholesky_factor(a, n, diagonal));
    Mat r = orig, want_diagonal(n);
    for (int i = 1; i <= n; ++i)
      for (int j = i; j <= n; ++j) {
        long double s = at(r, n, i, j);
        for (int k = i - 1; k >= 1; --k) s = s - at(r, n, i, k) * at(r, n, j, k);
        if (j == i) want_diagonal[i - 1] = std::sqrt(static_cast<double>(s));
        if (j > i) at(r, n, j, i) = static_cast<double>(s) / want_diagonal[i - 1];
      }
    ASSERT_EQ(a, r);  // also: upper triangle and diagonal untouched
    ASSERT_EQ(diagonal, want_diagonal);

    for (int i = 0; i < n; ++i) rhs[i] = std::sin(1.0 + i);
    cholesky_solve(a, n, diagonal, rhs, x);
    for (int i = 1; i <= n; ++i) {
      long double res = -rhs[i - 1];
      for (int k = 1; k <= n; ++k) res += full(i, k) * x[k - 1];
      EXPECT_LT(std::fabs(static_cast<double>(res)), 1e-12 * n);
    }

    cholesky_inverse(a, n, diagonal);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) {
        long double s = 0.0L;
        for (int k = 1; k <= n; ++k) s += full(i, k) * at(a, n, k, j);
        EXPECT_NEAR(static_cast<double>(s), i == j ? 1.0 : 0.0, 1e-13 * n) << i << "," << j;
      }
  }
}

// The models' double-precision inverse: against the identity on random positive definite
// matrices (both triangles filled, by rows), and refusing a matrix with a pivot that is not
// positive (a singular one, and an indefinite one whose second pivot goes negative).
TEST(Cholesky, PositiveDefiniteInverseInDouble) {
  for (int n : {1, 3, 34, 71}) {
    SCOPED_TRACE(n);
    std::mt19937 gen(5u + n);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    Mat b(n * n), a(n * n);
    for (double& v : b) v = u(gen);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        double s = i == j ? 0.5 : 0.0;
        for (int k = 0; k < n; ++k) s += b[k * n + i] * b[k * n + j];
        a[i * n + j] = s;
      }
    Mat inverse = a;
    ASSERT_TRUE(invert_positive_definite(inverse, n));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) {
        EXPECT_EQ(inverse[i * n + j], inverse[j * n + i]);
        long double s = 0.0L;
        for (int k = 0; k < n; ++k) s += a[i * n + k] * inverse[k * n + j];
        EXPECT_NEAR(static_cast<double>(s), i == j ? 1.0 : 0.0, 1e-11 * n) << i << "," << j;
      }
  }
  Mat singular = {1, 2, 2, 4};
  EXPECT_FALSE(invert_positive_definite(singular, 2));
  Mat indefinite = {1, 2, 0, 2, 1, 0, 0, 0, 1};
  EXPECT_FALSE(invert_positive_definite(indefinite, 3));
}

}  // namespace
}  // namespace tramel::numeric
