// The least-squares fit of the VAR across frames, in Yule-Walker form: the normal equations
// are built from the lagged cross-products of the frame coefficients over all frame pairs
// that exist, divided by the number of frames.
//
// Over all variables * regressors coefficients the normal matrix is block diagonal: one block
// of order `regressors` per equation, all blocks equal, exact zeros between them. The Cholesky
// factor, the solves and the inverse of the whole matrix therefore reproduce, block for block
// and bit for bit, those of one block (the zeros only ever subtract or add exact zeros), so
// the fit builds, factors and inverts a single block (the Gram matrix of the regressors) and
// solves the right-hand sides of all equations with it.
#include <algorithm>
#include <cmath>
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

// sums[j] = sum over t = 1..frames-lag of z_i(t+lag) z_j(t) for every variable j, where z_i is
// `own` and z_j the j-th of the `variables` series that follow one another from `series`; each
// sum in extended precision from zero in increasing t. Four sums run side by side so that their
// additions overlap; each keeps its own order.
void cross_products(const float* own, const float* series, int variables, int frames, int lag,
                    double* sums) {
  const int length = frames - lag;
  const float* leading = own + (length > 0 ? lag : 0);
  int j = 0;
  for (; j + 4 <= variables; j += 4) {
    const float* b0 = series + static_cast<std::size_t>(j) * frames;
    const float* b1 = b0 + frames;
    const float* b2 = b1 + frames;
    const float* b3 = b2 + frames;
    long double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    for (int t = 0; t < length; ++t) {
      const long double x = leading[t];
      s0 += x * b0[t];
      s1 += x * b1[t];
      s2 += x * b2[t];
      s3 += x * b3[t];
    }
    sums[j] = static_cast<double>(s0);
    sums[j + 1] = static_cast<double>(s1);
    sums[j + 2] = static_cast<double>(s2);
    sums[j + 3] = static_cast<double>(s3);
  }
  for (; j < variables; ++j) {
    const float* b = series + static_cast<std::size_t>(j) * frames;
    long double s = 0;
    for (int t = 0; t < length; ++t) s += static_cast<long double>(leading[t]) * b[t];
    sums[j] = static_cast<double>(s);
  }
}

// The residuals of equation i at frames lags+1..frames, from its coefficients: their squares,
// unrounded, into `squares` (frame t at t - lags), and the sum of the squares rounded to single
// precision (in extended precision) returned. Four frames are predicted side by side; each
// prediction is summed in its own fixed order, lag by lag and variable by variable, from zero.
long double residual_squares(const FrameCoefficients& data, int i, const double* coefficients,
                             int lags, long double* squares) {
  const int variables = data.variables;
  const int frames = data.frames;
  const float* values = data.values.data();
  const float* own = values + static_cast<std::size_t>(i) * frames;
  long double rounded_sum = 0;
  auto finish = [&](int t, long double prediction) {
    const long double r = static_cast<long double>(own[t]) - prediction;
    squares[t - lags] = r * r;
    rounded_sum += static_cast<float>(r * r);
  };
  int t = lags;  // 0-based frame index of frame lags+1
  for (; t + 4 <= frames; t += 4) {
    long double sum0 = 0, sum1 = 0, sum2 = 0, sum3 = 0;
    for (int l = 1; l <= lags; ++l) {
      const double* at_lag = coefficients + static_cast<std::size_t>(l - 1) * variables;
      for (int j = 0; j < variables; ++j) {
        const float* lagged = values + static_cast<std::size_t>(j) * frames + (t - l);
        const long double c = at_lag[j];
        sum0 += c * lagged[0];
        sum1 += c * lagged[1];
        sum2 += c * lagged[2];
        sum3 += c * lagged[3];
      }
    }
    finish(t, sum0);
    finish(t + 1, sum1);
    finish(t + 2, sum2);
    finish(t + 3, sum3);
  }
  for (; t < frames; ++t) {
    long double sum = 0;
    for (int l = 1; l <= lags; ++l) {
      const double* at_lag = coefficients + static_cast<std::size_t>(l - 1) * variables;
      for (int j = 0; j < variables; ++j)
        sum += static_cast<long double>(at_lag[j]) *
               values[static_cast<std::size_t>(j) * frames + (t - l)];
    }
    finish(t, sum);
  }
  return rounded_sum;
}

}  // namespace

float VarFit::t_value(std::size_t g) const {
  return static_cast<float>(coefficients[g]) / std_errors[g];
}

std::optional<VarFit> fit_var(const FrameCoefficients& data, int lags, StandardErrors errors,
                              parallel::Threads threads) {
  const int variables = data.variables;
  const int frames = data.frames;
  const int regressors = variables * lags;
  const auto stride = static_cast<std::size_t>(regressors);  // a Gram column, an equation
  const auto series_length = static_cast<std::size_t>(frames);
  const double reciprocal_frames = 1.0 / frames;
  const float* values = data.values.data();

  VarFit fit;
  fit.variables = variables;
  fit.lags = lags;
  // One block of the normal matrix (entries the fit does not fill stay zero), the right-hand
  // sides of all equations, the Cholesky diagonal.
  std::vector<double> gram(stride * stride, 0.0);
  std::vector<double> rhs(static_cast<std::size_t>(variables) * stride, 0.0);
  std::vector<double> diagonal(stride, 0.0);

  // 1. Cross-products of variable i with every variable j at lags 0..lags, the threads sharing
  // out the variables i; for lag 0 only j >= i, the sums for j < i being the same products in
  // the same order. cross_sums(i, l) holds those of variable i at lag l.
  const auto lag_rows = static_cast<std::size_t>(lags + 1);
  std::vector<double> cross_sum_table(static_cast<std::size_t>(variables) * lag_rows * variables);
  const auto cross_sums = [&](int i, int l) {
    return cross_sum_table.data() + ((static_cast<std::size_t>(i - 1) * lag_rows + l) * variables);
  };
  parallel::for_each_index(variables, threads, [&](std::int64_t index) {
    const int i = static_cast<int>(index) + 1;
    const float* own = values + (i - 1) * series_length;
    for (int l = 0; l <= lags; ++l) {
      const int first_formed = l == 0 ? i : 1;  // the first variable whose sum is formed here
      cross_products(own, values + (first_formed - 1) * series_length,
                     variables - (first_formed - 1), frames, l,
                     cross_sums(i, l) + (first_formed - 1));
    }
  });

  // Then, equation by equation, lag 0..lags, variable by variable: at lag l < lags each
  // cross-product fills the (lag s+1, lag s+l+1) sub-blocks of the block's upper part (both
  // triangles of the lag-0 diagonal sub-blocks); at lag l >= 1 it is the right-hand side entry
  // of equation i for regressor (lag l, variable j). The total sum of squares is the uncentred
  // one of every variable over all frames. At lag 0 the value for j < i is taken, already
  // divided by the number of frames, from where (j, i) put it in the first diagonal sub-block.
  double total_sum_of_squares = 0.0;
  for (int i = 1; i <= variables; ++i) {
    for (int l = 0; l <= lags; ++l) {
      const int first_formed = l == 0 ? i : 1;
      const double* sums = cross_sums(i, l);
      for (int j = 1; j <= variables; ++j) {
        const double sum = sums[j - 1];
        if (l == 0 && j == i) total_sum_of_squares += sum;
        const double entry =
            j < first_formed ? gram[(i - 1) * stride + (j - 1)] : sum * reciprocal_frames;
        if (l >= 1)
          rhs[(i - 1) * stride + static_cast<std::size_t>((l - 1) * variables + j - 1)] = entry;
        for (int shift = 0; shift + l < lags; ++shift) {
          const auto row = static_cast<std::size_t>(shift * variables + i - 1);
          const auto column = static_cast<std::size_t>((shift + l) * variables + j - 1);
          gram[column * stride + row] = entry;
        }
      }
    }
  }
  std::vector<double>().swap(cross_sum_table);

  // 2. Factor the block.
  if (!numeric::cholesky_factor(gram, regressors, diagonal)) return std::nullopt;

  // 3. The coefficients of each equation.
  fit.coefficients.assign(static_cast<std::size_t>(variables) * stride, 0.0);
  for (int i = 0; i < variables; ++i)
    numeric::cholesky_solve(gram, regressors, diagonal,
                            std::span<const double>(rhs).subspan(i * stride, stride),
                            std::span<double>(fit.coefficients).subspan(i * stride, stride));

  // 4. Residual standard deviations, the threads sharing out the equations. Traditionally the
  // divisor is frames - regressors, although only frames - lags residuals enter each sum;
  // least squares divides by the residual degrees of freedom. The residual sum of squares adds
  // every squared residual, equation after equation, in double.
  const int degrees_of_freedom =
      errors == StandardErrors::LeastSquares ? frames - lags - regressors : frames - regressors;
  fit.residual_degrees_of_freedom = degrees_of_freedom;
  const double reciprocal_degrees = 1.0 / degrees_of_freedom;
  const auto residuals = static_cast<std::size_t>(std::max(frames - lags, 0));
  std::vector<long double> squares(static_cast<std::size_t>(variables) * residuals);
  std::vector<float> residual_std_dev(static_cast<std::size_t>(variables));
  parallel::for_each_index(variables, threads, [&](std::int64_t i) {
    const long double rounded_sum =
        residual_squares(data, static_cast<int>(i), fit.coefficients.data() + i * stride, lags,
                         squares.data() + i * residuals);
    residual_std_dev[i] = static_cast<float>(
        std::sqrt(rounded_sum * static_cast<long double>(reciprocal_degrees)));
  });
  double residual_sum_of_squares = 0.0;
  for (const long double square : squares)
    residual_sum_of_squares = static_cast<double>(residual_sum_of_squares + square);
  std::vector<long double>().swap(squares);

  // 5. R square against the uncentred total of all frames.
  fit.r_square = 1.0f - static_cast<float>(residual_sum_of_squares / total_sum_of_squares);

  // 6, 7. Standard errors from the diagonal of the inverse, shared by every equation. The
  // block is the normal matrix divided by the number of frames; least squares undoes that.
  numeric::cholesky_inverse(gram, regressors, diagonal);
  fit.std_errors.assign(fit.coefficients.size(), 0.0f);
  for (std::size_t u = 0; u < stride; ++u) {
    const double inverse = gram[u * stride + u];
    const float root = static_cast<float>(
        std::sqrt(errors == StandardErrors::LeastSquares ? inverse / frames : inverse));
    for (int i = 0; i < variables; ++i) fit.std_errors[i * stride + u] = residual_std_dev[i] * root;
  }
  return fit;
}

}  // namespace tramel::forecast
