// The VAR fit: a hand solution, the one-block fit against the full normal matrix, the failure
// for a variable that is zero in every frame, too few frames, and the time of large fits.
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>

#include "support.hpp"

namespace tramel::forecast {
namespace {

using testing::cholesky_ready;
using testing::formatter_ready;

struct FitResult {
  std::vector<double> c;
  std::vector<float> s, e;
  float rsq = 0;
  int ier = 0;
};

FitResult run_var(const std::vector<float>& Z, int nv, int p, int nf, textio::Sink& msg) {
  FitResult r;
  const std::size_t nc = static_cast<std::size_t>(nv * nv * p);
  r.c.assign(nc, 0.0);
  r.s.assign(nc, 0.0f);
  r.e.assign(static_cast<std::size_t>(nf * nv), 0.0f);
  var(Z, r.e, r.c, r.s, r.rsq, nv, p, nf, r.ier, msg);
  return r;
}

std::vector<float> random_Z(int nf, int nv, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> Z(static_cast<std::size_t>(nf * nv));
  for (float& z : Z) z = u(gen);
  return Z;
}

// One significant bin, one lag: b(i, .) solves Gamma(0) b = Gamma_i.(1), nf cancelling.
TEST(Fit, OneLagTwoVariablesMatchHandSolution) {
  REQUIRE(cholesky_ready());
  const int nf = 6;
  const std::vector<float> Z{1, 2, 0, -1, 1, 3, /* z2 */ 0, 1, -1, 2, 1, 0};
  auto z = [&](int j, int t) { return static_cast<double>(Z[(j - 1) * nf + t - 1]); };
  auto gamma = [&](int i, int j, int l) {
    double g = 0;
    for (int t = 1; t <= nf - l; ++t) g += z(i, t + l) * z(j, t);
    return g;
  };
  const double a = gamma(1, 1, 0), b = gamma(1, 2, 0), d = gamma(2, 2, 0);
  const double det = a * d - b * b;
  textio::Sink msg;
  const FitResult r = run_var(Z, 2, 1, nf, msg);
  ASSERT_EQ(r.ier, 0);
  double ssr = 0;
  for (int i = 1; i <= 2; ++i) {
    const double r1 = gamma(i, 1, 1), r2 = gamma(i, 2, 1);
    const double b1 = (d * r1 - b * r2) / det, b2 = (a * r2 - b * r1) / det;
    EXPECT_NEAR(r.c[(i - 1) * 2], b1, 1e-12);
    EXPECT_NEAR(r.c[(i - 1) * 2 + 1], b2, 1e-12);
    double ssri = 0;
    for (int t = 2; t <= nf; ++t) {
      const double e = z(i, t) - b1 * z(1, t - 1) - b2 * z(2, t - 1);
      EXPECT_NEAR(r.e[(i - 1) * nf + t - 1], e, 1e-5);
      ssri += e * e;
    }
    EXPECT_EQ(r.e[(i - 1) * nf], 0.0f);  // frames 1..p carry no residual
    ssr += ssri;
    // G^-1 = nf * Gamma(0)^-1; the residual divisor is nf - nr = 4.
    const double sigma = std::sqrt(ssri / (nf - 2));
    EXPECT_NEAR(r.s[(i - 1) * 2], sigma * std::sqrt(nf * d / det), 1e-5);
    EXPECT_NEAR(r.s[(i - 1) * 2 + 1], sigma * std::sqrt(nf * a / det), 1e-5);
  }
  EXPECT_NEAR(r.rsq, 1.0 - ssr / (a + d), 1e-6);  // uncentred total over all frames
}

// The normal matrix of all nc coefficients, built entry by entry, factored, solved and
// inverted whole; residuals and standard errors by the same rules.
FitResult full_solve(const std::vector<float>& Z, int nv, int p, int nf) {
  const int nr = nv * p, nc = nv * nr;
  auto z = [&](int j, int t) { return Z[(j - 1) * nf + t - 1]; };
  std::vector<double> G(static_cast<std::size_t>(nc) * nc, 0.0), rhs(nc, 0.0), pd(nc, 0.0);
  double sst = 0;
  for (int i = 1; i <= nv; ++i)
    for (int l = 0; l <= p; ++l)
      for (int j = 1; j <= nv; ++j) {
        long double sum = 0;
        for (int t = 1; t <= nf - l; ++t) sum += static_cast<long double>(z(i, t + l)) * z(j, t);
        const auto gam = static_cast<double>(sum);
        if (l == 0 && j == i) sst += gam;
        const double v = gam * (1.0 / nf);
        if (l >= 1) rhs[(i - 1) * nr + (l - 1) * nv + j - 1] = v;
        if (l < p)
          for (int k = 1; k <= nv; ++k)
            for (int s = 0; s <= p - l - 1; ++s) {
              const int row = (k - 1) * nr + s * nv + i, col = (k - 1) * nr + (s + l) * nv + j;
              G[static_cast<std::size_t>(col - 1) * nc + row - 1] = v;
            }
      }
  FitResult r;
  r.c.assign(nc, 0.0);
  r.s.assign(nc, 0.0f);
  r.e.assign(static_cast<std::size_t>(nf * nv), 0.0f);
  numeric::dcholdc(G, nc, pd, r.ier);
  if (r.ier != 0) return r;
  numeric::dcholsl(G, nc, pd, rhs, r.c);
  double ssr = 0;
  std::vector<float> sigma(nv);
  for (int i = 1; i <= nv; ++i) {
    long double ssri = 0;
    for (int t = p + 1; t <= nf; ++t) {
      long double S = 0;
      for (int l = 1; l <= p; ++l)
        for (int j = 1; j <= nv; ++j)
          S += static_cast<long double>(r.c[(i - 1) * nr + (l - 1) * nv + j - 1]) * z(j, t - l);
      const long double e = z(i, t) - S;
      r.e[(i - 1) * nf + t - 1] = static_cast<float>(e);
      ssr = static_cast<double>(ssr + e * e);
      ssri += static_cast<float>(e * e);
    }
    sigma[i - 1] = static_cast<float>(std::sqrt(ssri * static_cast<long double>(1.0 / (nf - nr))));
  }
  r.rsq = 1.0f - static_cast<float>(ssr / sst);
  numeric::dinverse(G, nc, pd);
  for (int g = 1; g <= nc; ++g)
    r.s[g - 1] = sigma[(g - 1) / nr] *
                 static_cast<float>(std::sqrt(G[static_cast<std::size_t>(g - 1) * nc + g - 1]));
  return r;
}

TEST(Fit, OneBlockEqualsFullSystemBitForBit) {
  REQUIRE(cholesky_ready());
  for (int m = 1; m <= 3; ++m)
    for (int p = 1; p <= 3; ++p) {
      SCOPED_TRACE("m = " + std::to_string(m) + ", p = " + std::to_string(p));
      const int nv = 2 * m, nf = nv * p + 17;
      const std::vector<float> Z = random_Z(nf, nv, static_cast<unsigned>(10 * m + p));
      textio::Sink msg;
      const FitResult block = run_var(Z, nv, p, nf, msg);
      const FitResult full = full_solve(Z, nv, p, nf);
      ASSERT_EQ(block.ier, 0);
      ASSERT_EQ(full.ier, 0);
      EXPECT_EQ(0, std::memcmp(block.c.data(), full.c.data(), block.c.size() * sizeof(double)));
      EXPECT_EQ(0, std::memcmp(block.s.data(), full.s.data(), block.s.size() * sizeof(float)));
      EXPECT_EQ(0, std::memcmp(block.e.data(), full.e.data(), block.e.size() * sizeof(float)));
      EXPECT_EQ(0, std::memcmp(&block.rsq, &full.rsq, sizeof(float)));
    }
}

TEST(Fit, VariableZeroInEveryFrameFailsTheFactor) {
  REQUIRE(cholesky_ready());
  const int nf = 12;
  std::vector<float> Z = random_Z(nf, 4, 7);
  std::fill(Z.begin() + 2 * nf, Z.begin() + 3 * nf, 0.0f);  // variable 3
  textio::Sink msg;
  const FitResult r = run_var(Z, 4, 2, nf, msg);
  EXPECT_EQ(r.ier, 1);
  if (formatter_ready()) {
    EXPECT_EQ(msg.text(), " DCHOLDC failed, A is not positive definite\n");
  }
}

// As many regressors as frames: the residual divisor is zero, the standard errors are not
// finite, and the fit still returns its coefficients.
TEST(Fit, NoDegreesOfFreedomGiveNonFiniteErrors) {
  REQUIRE(cholesky_ready());
  const int nv = 2, p = 4, nf = 8;
  textio::Sink msg;
  const FitResult r = run_var(random_Z(nf, nv, 3), nv, p, nf, msg);
  ASSERT_EQ(r.ier, 0);
  for (std::size_t g = 0; g < r.c.size(); ++g) {
    EXPECT_TRUE(std::isfinite(r.c[g]));
    EXPECT_FALSE(std::isfinite(r.s[g]));
  }
}

// Not an assertion on speed: the figures are printed and recorded.
TEST(Fit, TimingOfLargeFits) {
  REQUIRE(cholesky_ready());
  const struct { int m, p; } sizes[] = {{10, 5}, {70, 2}};
  for (const auto& size : sizes) {
    const int nv = 2 * size.m, nf = 2000;
    const std::vector<float> Z = random_Z(nf, nv, 11);
    textio::Sink msg;
    // Processor time: the machine may be shared.
    const std::clock_t start = std::clock();
    const FitResult r = run_var(Z, nv, size.p, nf, msg);
    const double ms = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    EXPECT_EQ(r.ier, 0);
    const std::string name = "fit_ms_m" + std::to_string(size.m) + "_p" + std::to_string(size.p);
    RecordProperty(name, std::to_string(ms));
    std::printf("fit m = %d, p = %d, nc = %zu on %d frames: %.1f ms processor time\n", size.m,
                size.p, r.c.size(), nf, ms);
  }
}

}  // namespace
}  // namespace tramel::forecast
