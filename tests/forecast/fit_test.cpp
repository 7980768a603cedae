// The VAR fit: a hand solution, the one-block fit against the full normal matrix, too few
// frames, and the time of large fits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <random>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

struct FitResult {
  std::vector<double> c;
  std::vector<float> s, e;
  float rsq = 0;
  int ier = 0;
  FitResult(int nv, int p, int nf) : c(nv * nv * p), s(c.size()), e(nf * nv) {}
};

FitResult run_var(const std::vector<float>& Z, int nv, int p, int nf, textio::Sink& msg) {
  FitResult r(nv, p, nf);
  var(Z, r.e, r.c, r.s, r.rsq, nv, p, nf, r.ier, msg);
  return r;
}

std::vector<float> random_Z(int nf, int nv, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> Z(nf * nv);
  for (float& z : Z) z = u(gen);
  return Z;
}

// One bin, one lag: b(i, .) solves Gamma(0) b = Gamma_i.(1); G^-1 = nf Gamma(0)^-1.
TEST(Fit, OneLagTwoVariablesMatchHandSolution) {
  const int nf = 6;
  const std::vector<float> Z{1, 2, 0, -1, 1, 3, /* z2 */ 0, 1, -1, 2, 1, 0};
  auto z = [&](int j, int t) { return double(Z[(j - 1) * nf + t - 1]); };
  auto gamma = [&](int i, int j, int l) {
    double g = 0;
    for (int t = 1; t <= nf - l; ++t) g += z(i, t + l) * z(j, t);
    return g;
  };
  const double a = gamma(1, 1, 0), b = gamma(1, 2, 0), d = gamma(2, 2, 0), det = a * d - b * b;
  textio::Sink msg;
  const FitResult r = run_var(Z, 2, 1, nf, msg);
  ASSERT_EQ(r.ier, 0);
  double ssr = 0;
  for (int i = 1; i <= 2; ++i) {
    const double r1 = gamma(i, 1, 1), r2 = gamma(i, 2, 1);
    const double b1 = (d * r1 - b * r2) / det, b2 = (a * r2 - b * r1) / det;
    EXPECT_NEAR(r.c[2 * i - 2], b1, 1e-12);
    EXPECT_NEAR(r.c[2 * i - 1], b2, 1e-12);
    double ssri = 0;
    for (int t = 2; t <= nf; ++t)
      ssri += std::pow(z(i, t) - b1 * z(1, t - 1) - b2 * z(2, t - 1), 2);
    ssr += ssri;
    const double sigma = std::sqrt(ssri / (nf - 2));  // divisor nf - nr
    EXPECT_NEAR(r.s[2 * i - 2], sigma * std::sqrt(nf * d / det), 1e-5);
    EXPECT_NEAR(r.s[2 * i - 1], sigma * std::sqrt(nf * a / det), 1e-5);
  }
  EXPECT_NEAR(r.rsq, 1.0 - ssr / (a + d), 1e-6);  // uncentred total over all frames
}

// The normal matrix of all nc coefficients built entry by entry, factored, solved and
// inverted whole; residuals and standard errors by the same rules.
FitResult full_solve(const std::vector<float>& Z, int nv, int p, int nf) {
  const int nr = nv * p, nc = nv * nr;
  auto z = [&](int j, int t) { return Z[(j - 1) * nf + t - 1]; };
  std::vector<double> G(nc * nc, 0.0), rhs(nc, 0.0), pd(nc, 0.0);
  double sst = 0;
  for (int i = 1; i <= nv; ++i)
    for (int l = 0; l <= p; ++l)
      for (int j = 1; j <= nv; ++j) {
        long double sum = 0;
        for (int t = 1; t <= nf - l; ++t) sum += static_cast<long double>(z(i, t + l)) * z(j, t);
        if (l == 0 && j == i) sst += double(sum);
        const double v = double(sum) * (1.0 / nf);
        if (l >= 1) rhs[(i - 1) * nr + (l - 1) * nv + j - 1] = v;
        for (int k = 1; k <= nv && l < p; ++k)
          for (int s = 0; s <= p - l - 1; ++s)
            G[((k - 1) * nr + (s + l) * nv + j - 1) * nc + (k - 1) * nr + s * nv + i - 1] = v;
      }
  FitResult r(nv, p, nf);
  numeric::dcholdc(G, nc, pd, r.ier);
  numeric::dcholsl(G, nc, pd, rhs, r.c);
  double ssr = 0;
  std::vector<float> sigma(nv);
  for (int i = 1; i <= nv; ++i) {
    long double ssri = 0;
    for (int t = p + 1; t <= nf; ++t) {
      long double S = 0;
      for (int u = 1; u <= nr; ++u)
        S += static_cast<long double>(r.c[(i - 1) * nr + u - 1]) *
             z((u - 1) % nv + 1, t - (u - 1) / nv - 1);
      const long double e = z(i, t) - S;
      r.e[(i - 1) * nf + t - 1] = float(e);
      ssr = double(ssr + e * e);
      ssri += float(e * e);
    }
    sigma[i - 1] = float(std::sqrt(ssri * static_cast<long double>(1.0 / (nf - nr))));
  }
  r.rsq = 1.0f - float(ssr / sst);
  numeric::dinverse(G, nc, pd);
  for (int g = 0; g < nc; ++g) r.s[g] = sigma[g / nr] * float(std::sqrt(G[g * nc + g]));
  return r;
}

TEST(Fit, OneBlockEqualsFullSystemBitForBit) {
  for (int m = 1; m <= 3; ++m)
    for (int p = 1; p <= 3; ++p) {
      SCOPED_TRACE("m = " + std::to_string(m) + ", p = " + std::to_string(p));
      const int nv = 2 * m, nf = nv * p + 17;
      const std::vector<float> Z = random_Z(nf, nv, static_cast<unsigned>(10 * m + p));
      textio::Sink msg;
      const FitResult block = run_var(Z, nv, p, nf, msg), full = full_solve(Z, nv, p, nf);
      ASSERT_EQ(block.ier + full.ier, 0);
      EXPECT_EQ(0, std::memcmp(block.c.data(), full.c.data(), block.c.size() * sizeof(double)));
      EXPECT_EQ(0, std::memcmp(block.s.data(), full.s.data(), block.s.size() * sizeof(float)));
      EXPECT_EQ(0, std::memcmp(block.e.data(), full.e.data(), block.e.size() * sizeof(float)));
      EXPECT_EQ(0, std::memcmp(&block.rsq, &full.rsq, sizeof(float)));
    }
}

// As many regressors as frames: the residual divisor is zero, the standard errors are not
// finite, and the coefficients are there all the same.
TEST(Fit, NoDegreesOfFreedomGiveNonFiniteErrors) {
  textio::Sink msg;
  const FitResult r = run_var(random_Z(8, 2, 3), 2, 4, 8, msg);
  ASSERT_EQ(r.ier, 0);
  for (std::size_t g = 0; g < r.c.size(); ++g) {
    EXPECT_TRUE(std::isfinite(r.c[g]));
    EXPECT_FALSE(std::isfinite(r.s[g]));
  }
}

// Not an assertion on speed: the figures are printed and recorded.
TEST(Fit, TimingOfLargeFits) {
  for (const auto& [m, p] : {std::pair{10, 5}, std::pair{70, 2}}) {
    const int nf = 2000;
    const std::vector<float> Z = random_Z(nf, 2 * m, 11);
    textio::Sink msg;
    const std::clock_t start = std::clock();  // processor time: the machine may be shared
    EXPECT_EQ(run_var(Z, 2 * m, p, nf, msg).ier, 0);
    const double ms = 1000.0 * double(std::clock() - start) / CLOCKS_PER_SEC;
    RecordProperty("fit_ms_m" + std::to_string(m) + "_p" + std::to_string(p), std::to_string(ms));
    std::printf("fit m = %d, p = %d (nc = %d), %d frames: %.1f ms\n", m, p, 4 * m * m * p, nf, ms);
  }
}

}  // namespace
}  // namespace tramel::forecast
