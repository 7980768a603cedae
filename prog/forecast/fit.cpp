// The least-squares fit of the VAR across frames, in Yule-Walker form: the normal equations
// are built from the lagged cross-products of the frame coefficients over all frame pairs
// that exist, divided by the number of frames.
//
// Over all nc coefficients the normal matrix is block diagonal: one block of order nr per
// equation, all blocks equal, exact zeros between them. The Cholesky factor, the solves and
// the inverse of the whole matrix therefore reproduce, block for block and bit for bit, those
// of one block (the zeros only ever subtract or add exact zeros), so the fit builds, factors
// and inverts a single block and solves the nv right-hand sides with it.
#include <cmath>
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

// gam[j] = sum over t = 1..nf-l of z_i(t+l) z_j(t) for every variable j, each sum in extended
// precision from zero in increasing t. Four sums run side by side so that their additions
// overlap; each keeps its own order.
void cross_products(const float* zi, const float* Z, int nv, int nf, int l, double* gam) {
  const int len = nf - l;
  const float* a = zi + (len > 0 ? l : 0);
  int j = 0;
  for (; j + 4 <= nv; j += 4) {
    const float* b0 = Z + static_cast<std::size_t>(j) * nf;
    const float* b1 = b0 + nf;
    const float* b2 = b1 + nf;
    const float* b3 = b2 + nf;
    long double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int t = 0; t < len; ++t) {
      const long double x = a[t];
      s0 += x * b0[t];
      s1 += x * b1[t];
      s2 += x * b2[t];
      s3 += x * b3[t];
    }
    gam[j] = static_cast<double>(s0);
    gam[j + 1] = static_cast<double>(s1);
    gam[j + 2] = static_cast<double>(s2);
    gam[j + 3] = static_cast<double>(s3);
  }
  for (; j < nv; ++j) {
    const float* b = Z + static_cast<std::size_t>(j) * nf;
    long double s = 0;
    for (int t = 0; t < len; ++t) s += static_cast<long double>(a[t]) * b[t];
    gam[j] = static_cast<double>(s);
  }
}

// Residuals of equation i (coefficients b, nr of them) at frames p+1..nf into e (1-based t
// maps to e[t-1]); returns through ssr (the running total over all equations, double) and
// ssri (this equation's sum of the single-precision squares, extended). Four frames are
// predicted side by side; each prediction is summed in its own fixed order, lag by lag and
// variable by variable, from zero.
void residuals(const float* Z, const float* zi, const double* b, float* e, int nv, int p, int nf,
               double& ssr, long double& ssri) {
  auto finish = [&](int t, long double S) {
    const long double r = static_cast<long double>(zi[t]) - S;
    e[t] = static_cast<float>(r);
    ssr = static_cast<double>(ssr + r * r);
    ssri += static_cast<float>(r * r);
  };
  int t = p;  // 0-based frame index of frame p+1
  for (; t + 4 <= nf; t += 4) {
    long double S0 = 0, S1 = 0, S2 = 0, S3 = 0;
    for (int l = 1; l <= p; ++l) {
      const double* bl = b + static_cast<std::size_t>(l - 1) * nv;
      for (int j = 0; j < nv; ++j) {
        const float* zj = Z + static_cast<std::size_t>(j) * nf + (t - l);
        const long double c = bl[j];
        S0 += c * zj[0];
        S1 += c * zj[1];
        S2 += c * zj[2];
        S3 += c * zj[3];
      }
    }
    finish(t, S0);
    finish(t + 1, S1);
    finish(t + 2, S2);
    finish(t + 3, S3);
  }
  for (; t < nf; ++t) {
    long double S = 0;
    for (int l = 1; l <= p; ++l) {
      const double* bl = b + static_cast<std::size_t>(l - 1) * nv;
      for (int j = 0; j < nv; ++j)
        S += static_cast<long double>(bl[j]) * Z[static_cast<std::size_t>(j) * nf + (t - l)];
    }
    finish(t, S);
  }
}

}  // namespace

void fit(std::span<const float> Z, std::span<float> e, std::span<double> G, std::span<double> rhs,
         std::span<double> pd, int nv, int p, int nf, int nc, std::span<double> c,
         std::span<float> s, float& rsq, std::span<float> sigma, int& ier, textio::Sink& msg) {
  (void)nc;
  const int nr = nv * p;
  const auto unr = static_cast<std::size_t>(nr);
  const auto unf = static_cast<std::size_t>(nf);
  const double rnf = 1.0 / nf;

  // 1. Cross-products, equation by equation, lag 0..p, variable by variable. Each is formed
  // once: at lag l < p it fills the (lag s+1, lag s+l+1) sub-blocks of the block's upper part
  // (both triangles of the lag-0 diagonal sub-blocks); at lag l >= 1 it is the right-hand side
  // entry of equation i for regressor (lag l, variable j). SST is the uncentred sum of squares
  // of every variable over all frames. At lag 0 the sum for (i, j) is the sum for (j, i), term
  // by term the same products in the same order, so for j < i it is taken, already divided
  // by the number of frames, from where (j, i) put it in the first diagonal sub-block.
  double sst = 0.0;
  std::vector<double> gam(static_cast<std::size_t>(nv));
  for (int i = 1; i <= nv; ++i) {
    const float* zi = Z.data() + (i - 1) * unf;
    for (int l = 0; l <= p; ++l) {
      const int j0 = l == 0 ? i : 1;  // the first variable whose sum is formed here
      cross_products(zi, Z.data() + (j0 - 1) * unf, nv - (j0 - 1), nf, l, gam.data() + (j0 - 1));
      for (int j = 1; j <= nv; ++j) {
        const double g = gam[j - 1];
        if (l == 0 && j == i) sst += g;
        const double v = j < j0 ? G[(i - 1) * unr + (j - 1)] : g * rnf;
        if (l >= 1) rhs[(i - 1) * unr + static_cast<std::size_t>((l - 1) * nv + j - 1)] = v;
        for (int sl = 0; sl + l < p; ++sl) {
          const auto row = static_cast<std::size_t>(sl * nv + i - 1);
          const auto col = static_cast<std::size_t>((sl + l) * nv + j - 1);
          G[col * unr + row] = v;
        }
      }
    }
  }

  // 2. Factor the block.
  numeric::cholesky_factor(G.first(unr * unr), nr, pd.first(unr), ier);
  if (ier != 0) {
    textio::list(msg, "DCHOLDC failed, A is not positive definite");
    return;
  }

  // 3. The coefficients of each equation.
  for (int i = 0; i < nv; ++i)
    numeric::cholesky_solve(G.first(unr * unr), nr, pd.first(unr), rhs.subspan(i * unr, unr),
                     c.subspan(i * unr, unr));

  // 4. Residuals. The divisor is nf - nr although only nf - p residuals enter each sum.
  double ssr = 0.0;
  const double rdf = 1.0 / (nf - nr);
  for (int i = 0; i < nv; ++i) {
    float* ei = e.data() + i * unf;
    for (int t = 0; t < p && t < nf; ++t) ei[t] = 0.0f;
    long double ssri = 0;
    residuals(Z.data(), Z.data() + i * unf, c.data() + i * unr, ei, nv, p, nf, ssr, ssri);
    sigma[i] = static_cast<float>(std::sqrt(ssri * static_cast<long double>(rdf)));
  }

  // 5. R square against the uncentred total of all frames.
  rsq = 1.0f - static_cast<float>(ssr / sst);

  // 6, 7. Standard errors from the diagonal of the inverse, shared by every equation.
  numeric::cholesky_inverse(G.first(unr * unr), nr, pd.first(unr));
  for (int i = 0; i < nv; ++i)
    for (std::size_t u = 0; u < unr; ++u)
      s[i * unr + u] = sigma[i] * static_cast<float>(std::sqrt(G[u * unr + u]));
}

}  // namespace tramel::forecast
