// The least-squares fit of the VAR across frames, in Yule-Walker form: the normal equations
// are built from the lagged cross-products of the frame coefficients over all frame pairs
// that exist, divided by the number of frames.
//
// Over all nc coefficients the normal matrix is block diagonal: one block of order nr per
// equation, all blocks equal, exact zeros between them. The Cholesky factor, the solves and
// the inverse of the whole matrix therefore reproduce, block for block and bit for bit, those
// of one block (the zeros only ever subtract or add exact zeros), so the fit builds, factors
// and inverts a single block and solves the nv right-hand sides with it.
#include <algorithm>
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

// The residuals of equation i at frames lags+1..frames, from its coefficients b: their
// squares, unrounded, into `squares` (frame t at t - lags), and the sum of the squares rounded
// to single precision (in extended precision) returned. Four frames are predicted side by
// side; each prediction is summed in its own fixed order, lag by lag and variable by variable,
// from zero.
long double residual_squares(const FrameCoefficients& z, int i, const double* b, int lags,
                             long double* squares) {
  const int nv = z.variables;
  const int nf = z.frames;
  const float* Z = z.values.data();
  const float* zi = Z + static_cast<std::size_t>(i) * nf;
  long double own = 0;
  auto finish = [&](int t, long double prediction) {
    const long double r = static_cast<long double>(zi[t]) - prediction;
    squares[t - lags] = r * r;
    own += static_cast<float>(r * r);
  };
  int t = lags;  // 0-based frame index of frame lags+1
  for (; t + 4 <= nf; t += 4) {
    long double S0 = 0, S1 = 0, S2 = 0, S3 = 0;
    for (int l = 1; l <= lags; ++l) {
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
    for (int l = 1; l <= lags; ++l) {
      const double* bl = b + static_cast<std::size_t>(l - 1) * nv;
      for (int j = 0; j < nv; ++j)
        S += static_cast<long double>(bl[j]) * Z[static_cast<std::size_t>(j) * nf + (t - l)];
    }
    finish(t, S);
  }
  return own;
}

}  // namespace

std::optional<VarFit> fit_var(const FrameCoefficients& data, int lags, StandardErrors errors,
                              parallel::Threads threads) {
  const int nv = data.variables;
  const int p = lags;
  const int nf = data.frames;
  const int nr = nv * p;
  const auto unr = static_cast<std::size_t>(nr);
  const auto unf = static_cast<std::size_t>(nf);
  const double rnf = 1.0 / nf;
  const float* Z = data.values.data();

  VarFit fit;
  fit.variables = nv;
  fit.lags = p;
  // One block of the normal matrix (entries the fit does not fill stay zero), the right-hand
  // sides of all equations, the Cholesky diagonal.
  std::vector<double> G(unr * unr, 0.0);
  std::vector<double> rhs(static_cast<std::size_t>(nv) * unr, 0.0);
  std::vector<double> diagonal(unr, 0.0);

  // 1. Cross-products of variable i with every variable j at lags 0..p, the threads sharing
  // out the variables i; for lag 0 only j >= i, the sums for j < i being the same products in
  // the same order. gam(i, l) holds those of variable i at lag l.
  const auto lag_rows = static_cast<std::size_t>(p + 1);
  std::vector<double> table(static_cast<std::size_t>(nv) * lag_rows * nv);
  const auto gam = [&](int i, int l) {
    return table.data() + ((static_cast<std::size_t>(i - 1) * lag_rows + l) * nv);
  };
  parallel::for_each_index(nv, threads, [&](std::int64_t index) {
    const int i = static_cast<int>(index) + 1;
    const float* zi = Z + (i - 1) * unf;
    for (int l = 0; l <= p; ++l) {
      const int j0 = l == 0 ? i : 1;  // the first variable whose sum is formed here
      cross_products(zi, Z + (j0 - 1) * unf, nv - (j0 - 1), nf, l, gam(i, l) + (j0 - 1));
    }
  });

  // Then, equation by equation, lag 0..p, variable by variable: at lag l < p each cross-product
  // fills the (lag s+1, lag s+l+1) sub-blocks of the block's upper part (both triangles of the
  // lag-0 diagonal sub-blocks); at lag l >= 1 it is the right-hand side entry of equation i for
  // regressor (lag l, variable j). SST is the uncentred sum of squares of every variable over
  // all frames. At lag 0 the value for j < i is taken, already divided by the number of
  // frames, from where (j, i) put it in the first diagonal sub-block.
  double sst = 0.0;
  for (int i = 1; i <= nv; ++i) {
    for (int l = 0; l <= p; ++l) {
      const int j0 = l == 0 ? i : 1;
      const double* g_il = gam(i, l);
      for (int j = 1; j <= nv; ++j) {
        const double g = g_il[j - 1];
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
  std::vector<double>().swap(table);

  // 2. Factor the block.
  if (!numeric::cholesky_factor(G, nr, diagonal)) return std::nullopt;

  // 3. The coefficients of each equation.
  fit.coefficients.assign(static_cast<std::size_t>(nv) * unr, 0.0);
  for (int i = 0; i < nv; ++i)
    numeric::cholesky_solve(G, nr, diagonal, std::span<const double>(rhs).subspan(i * unr, unr),
                            std::span<double>(fit.coefficients).subspan(i * unr, unr));

  // 4. Residual standard deviations, the threads sharing out the equations. Traditionally the
  // divisor is frames - regressors, although only frames - lags residuals enter each sum;
  // least squares divides by the residual degrees of freedom. SSR adds every squared residual,
  // equation after equation, in double.
  const int dof = errors == StandardErrors::LeastSquares ? nf - p - nr : nf - nr;
  const double reciprocal_dof = 1.0 / dof;
  const auto residuals = static_cast<std::size_t>(std::max(nf - p, 0));
  std::vector<long double> squares(static_cast<std::size_t>(nv) * residuals);
  std::vector<float> sigma(static_cast<std::size_t>(nv));
  parallel::for_each_index(nv, threads, [&](std::int64_t i) {
    const long double own = residual_squares(data, static_cast<int>(i), fit.coefficients.data() + i * unr,
                                             p, squares.data() + i * residuals);
    sigma[i] = static_cast<float>(std::sqrt(own * static_cast<long double>(reciprocal_dof)));
  });
  double ssr = 0.0;
  for (const long double sq : squares) ssr = static_cast<double>(ssr + sq);
  std::vector<long double>().swap(squares);

  // 5. R square against the uncentred total of all frames.
  fit.r_square = 1.0f - static_cast<float>(ssr / sst);

  // 6, 7. Standard errors from the diagonal of the inverse, shared by every equation. The
  // block is the normal matrix divided by the number of frames; least squares undoes that.
  numeric::cholesky_inverse(G, nr, diagonal);
  fit.std_errors.assign(fit.coefficients.size(), 0.0f);
  for (std::size_t u = 0; u < unr; ++u) {
    const double inverse = G[u * unr + u];
    const float root = static_cast<float>(
        std::sqrt(errors == StandardErrors::LeastSquares ? inverse / nf : inverse));
    for (int i = 0; i < nv; ++i) fit.std_errors[i * unr + u] = sigma[i] * root;
  }
  return fit;
}

}  // namespace tramel::forecast
