// The VAR fit: the one-block fit against the full normal matrix, and too few frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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
  numeric::cholesky_factor(G, nc, pd, r.ier);
  numeric::cholesky_solve(G, nc, pd, rhs, r.c);
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
  numeric::cholesky_inverse(G, nc, pd);
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

}  // namespace
}  // namespace tramel::forecast
