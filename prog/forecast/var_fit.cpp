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
#include <cstdint>
#include <functional>
#include <numeric>
#include <stdexcept>
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

namespace {

// The lagged cross-products of the frame coefficients: variable i at lag l with variable j,
// sum over the frame pairs that exist of z_i(t + l) z_j(t) (for lag 0 only j >= i is used).
struct CrossSums {
  int variables = 0;
  int lags = 0;
  std::vector<double> table;
  CrossSums(int v, int p)
      : variables(v), lags(p),
        table(static_cast<std::size_t>(v) * static_cast<std::size_t>(p + 1) * static_cast<std::size_t>(v)) {}
  // Those of variable i (1-based) at lag l, for every j.
  double* at(int i, int l) {
    return table.data() + ((static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(lags + 1) +
                            static_cast<std::size_t>(l)) * static_cast<std::size_t>(variables));
  }
};

// Per equation the sum of its squared residuals each rounded to single precision (the
// residual standard deviation's), and the sum of all squared residuals (R square's).
struct ResidualSums {
  std::vector<long double> rounded;
  double total = 0.0;
};

// How the coefficients are solved for: by the Cholesky factor, in extended precision, as fit_var
// solves; or with the inverse the standard errors need anyway, in double, where the fit only
// needs to agree to single precision (GrowingVar).
enum class Solve : std::uint8_t { Factor, Inverse };

// The fit from the cross-products over `frames` frames, with the residual sums that
// `residuals` finds for the coefficients.
std::optional<VarFit> fit_from_cross_sums(CrossSums& sums, int frames, StandardErrors errors, Solve solve,
                                          const std::function<ResidualSums(const VarFit&)>& residuals) {
  const int variables = sums.variables;
  const int lags = sums.lags;
  const int regressors = variables * lags;
  const auto stride = static_cast<std::size_t>(regressors);  // a Gram column, an equation
  const double reciprocal_frames = 1.0 / frames;

  VarFit fit;
  fit.variables = variables;
  fit.lags = lags;
  // One block of the normal matrix (entries the fit does not fill stay zero), the right-hand
  // sides of all equations, the Cholesky diagonal.
  std::vector<double> gram(stride * stride, 0.0);
  std::vector<double> rhs(static_cast<std::size_t>(variables) * stride, 0.0);
  std::vector<double> diagonal(stride, 0.0);

  // Equation by equation, lag 0..lags, variable by variable: at lag l < lags each
  // cross-product fills the (lag s+1, lag s+l+1) sub-blocks of the block's upper part (both
  // triangles of the lag-0 diagonal sub-blocks); at lag l >= 1 it is the right-hand side entry
  // of equation i for regressor (lag l, variable j). The total sum of squares is the uncentred
  // one of every variable over all frames. At lag 0 the value for j < i is taken, already
  // divided by the number of frames, from where (j, i) put it in the first diagonal sub-block.
  double total_sum_of_squares = 0.0;
  for (int i = 1; i <= variables; ++i) {
    for (int l = 0; l <= lags; ++l) {
      const int first_formed = l == 0 ? i : 1;
      const double* row = sums.at(i, l);
      for (int j = 1; j <= variables; ++j) {
        const double sum = row[j - 1];
        if (l == 0 && j == i) total_sum_of_squares += sum;
        const double entry =
            j < first_formed ? gram[(i - 1) * stride + (j - 1)] : sum * reciprocal_frames;
        if (l >= 1)
          rhs[(i - 1) * stride + static_cast<std::size_t>((l - 1) * variables + j - 1)] = entry;
        for (int shift = 0; shift + l < lags; ++shift) {
          const auto row_index = static_cast<std::size_t>(shift * variables + i - 1);
          const auto column = static_cast<std::size_t>((shift + l) * variables + j - 1);
          gram[column * stride + row_index] = entry;
        }
      }
    }
  }
  std::vector<double>().swap(sums.table);

  // 2. Factor the block.
  if (!numeric::cholesky_factor(gram, regressors, diagonal)) return std::nullopt;

  // 3. The coefficients of each equation.
  fit.coefficients.assign(static_cast<std::size_t>(variables) * stride, 0.0);
  std::vector<double> inverse;
  if (solve == Solve::Factor) {
    numeric::cholesky_solve(gram, regressors, diagonal, rhs, fit.coefficients);
  } else {
    inverse = gram;
    numeric::cholesky_inverse(inverse, regressors, diagonal);
    for (std::size_t i = 0; i < static_cast<std::size_t>(variables); ++i) {
      double* b = fit.coefficients.data() + i * stride;
      for (std::size_t w = 0; w < stride; ++w) {
        const double r = rhs[i * stride + w];
        const double* column = inverse.data() + w * stride;
        for (std::size_t u = 0; u < stride; ++u) b[u] += column[u] * r;
      }
    }
  }

  // 4. Residual standard deviations. Traditionally the divisor is frames - regressors,
  // although only frames - lags residuals enter each sum; least squares divides by the
  // residual degrees of freedom.
  const int degrees_of_freedom =
      errors == StandardErrors::LeastSquares ? frames - lags - regressors : frames - regressors;
  fit.residual_degrees_of_freedom = degrees_of_freedom;
  const double reciprocal_degrees = 1.0 / degrees_of_freedom;
  const ResidualSums residual = residuals(fit);
  std::vector<float> residual_std_dev(static_cast<std::size_t>(variables));
  for (int i = 0; i < variables; ++i)
    residual_std_dev[i] = static_cast<float>(
        std::sqrt(residual.rounded[i] * static_cast<long double>(reciprocal_degrees)));

  // 5. R square against the uncentred total of all frames.
  fit.r_square = 1.0f - static_cast<float>(residual.total / total_sum_of_squares);

  // 6, 7. Standard errors from the diagonal of the inverse, shared by every equation. The
  // block is the normal matrix divided by the number of frames; least squares undoes that.
  if (inverse.empty()) {
    numeric::cholesky_inverse(gram, regressors, diagonal);
  } else {
    gram = std::move(inverse);
  }
  fit.std_errors.assign(fit.coefficients.size(), 0.0f);
  for (std::size_t u = 0; u < stride; ++u) {
    const double inverse = gram[u * stride + u];
    const float root = static_cast<float>(
        std::sqrt(errors == StandardErrors::LeastSquares ? inverse / frames : inverse));
    for (int i = 0; i < variables; ++i) fit.std_errors[i * stride + u] = residual_std_dev[i] * root;
  }
  return fit;
}

}  // namespace

std::optional<VarFit> fit_var(const FrameCoefficients& data, int lags, StandardErrors errors,
                              parallel::Threads threads) {
  const int variables = data.variables;
  const int frames = data.frames;
  const auto series_length = static_cast<std::size_t>(frames);
  const float* values = data.values.data();

  // 1. Cross-products of variable i with every variable j at lags 0..lags, the threads sharing
  // out the variables i; for lag 0 only j >= i, the sums for j < i being the same products in
  // the same order.
  CrossSums sums(variables, lags);
  parallel::for_each_index(variables, threads, [&](std::int64_t index) {
    const int i = static_cast<int>(index) + 1;
    const float* own = values + (i - 1) * series_length;
    for (int l = 0; l <= lags; ++l) {
      const int first_formed = l == 0 ? i : 1;  // the first variable whose sum is formed here
      cross_products(own, values + (first_formed - 1) * series_length,
                     variables - (first_formed - 1), frames, l, sums.at(i, l) + (first_formed - 1));
    }
  });

  // The residuals from the data, the threads sharing out the equations. The residual sum of
  // squares adds every squared residual, equation after equation, in double.
  const auto residuals = [&](const VarFit& fit) {
    const auto stride = static_cast<std::size_t>(fit.regressors());
    const auto count = static_cast<std::size_t>(std::max(frames - lags, 0));
    std::vector<long double> squares(static_cast<std::size_t>(variables) * count);
    ResidualSums r;
    r.rounded.resize(static_cast<std::size_t>(variables));
    parallel::for_each_index(variables, threads, [&](std::int64_t i) {
      r.rounded[i] = residual_squares(data, static_cast<int>(i), fit.coefficients.data() + i * stride, lags,
                                      squares.data() + i * count);
    });
    for (const long double square : squares) r.total = static_cast<double>(r.total + square);
    return r;
  };
  return fit_from_cross_sums(sums, frames, errors, Solve::Factor, residuals);
}

FrameCoefficients residual_coefficients(const FrameSpectra& raw, int frames, std::span<const int> bins) {
  const int lb = raw.frame_length;
  FrameCoefficients z;
  z.frames = frames;
  z.variables = 2 * static_cast<int>(bins.size());
  z.values.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(z.variables));
  const auto rows = static_cast<std::size_t>(frames);
  for (std::size_t k = 0; k < bins.size(); ++k) {
    Complex mean(0.0, 0.0);
    for (int f = 0; f < frames; ++f) mean += raw.at(f, bins[k]);
    mean /= static_cast<double>(frames);
    for (int f = 0; f < frames; ++f) {
      const Complex c = raw.at(f, bins[k]) - mean;
      z.values[(2 * k) * rows + static_cast<std::size_t>(f)] = static_cast<float>(c.real());
      z.values[(2 * k + 1) * rows + static_cast<std::size_t>(f)] = 2 * bins[k] == lb ? 0.0f : static_cast<float>(c.imag());
    }
  }
  return z;
}

GrowingVar::GrowingVar(const FrameSpectra& raw, std::span<const int> bins, int lags)
    : raw_(raw), bins_(bins.begin(), bins.end()), variables_(2 * static_cast<int>(bins.size())),
      lags_(std::max(lags, 0)) {
  const auto nv = static_cast<std::size_t>(variables_);
  const auto width = nv * static_cast<std::size_t>(lags_ + 1);
  totals_.assign(nv, 0.0);
  row_.assign(width, 0.0);
  lagged_.assign(nv * static_cast<std::size_t>(lags_ + 1) * nv, 0.0);
}

GrowingVar::At GrowingVar::at(int frames, StandardErrors errors, std::span<const int> bins) {
  const int lb = raw_.frame_length;
  const int p = lags_;
  const auto all = static_cast<std::size_t>(variables_);
  // A frame's variables, about the reference.
  const auto values = [&](int f, std::vector<double>& out) {
    for (std::size_t k = 0; k < bins_.size(); ++k) {
      const Complex c = raw_.at(f, bins_[k]);
      out[2 * k] = c.real();
      out[2 * k + 1] = 2 * bins_[k] == lb ? 0.0 : c.imag();
    }
    for (std::size_t v = 0; v < out.size() && !reference_.empty(); ++v) out[v] -= reference_[v];
  };
  std::vector<double> y(all);
  if (added_ == 0) {
    reference_.assign(all, 0.0);
    for (int f = 0; f < frames; ++f) {
      values(f, y);
      for (std::size_t v = 0; v < all; ++v) reference_[v] += y[v];
    }
    for (double& r : reference_) r = frames > 0 ? r / frames : 0.0;
  }
  for (int t = added_; t < frames; ++t) {
    values(t, y);
    std::copy_backward(row_.begin(), row_.end() - static_cast<std::ptrdiff_t>(all), row_.end());
    std::copy(y.begin(), y.end(), row_.begin());
    for (std::size_t v = 0; v < all; ++v) totals_[v] += y[v];
    if (t < p) first_.insert(first_.end(), y.begin(), y.end());
    // y_i(t) y_j(t - l): the pair (t - l, t) of lag l.
    for (int l = 0; l <= std::min(p, t); ++l)
      for (std::size_t i = 0; i < all; ++i) {
        double* sums = lagged_.data() + (i * static_cast<std::size_t>(p + 1) + static_cast<std::size_t>(l)) * all;
        const double* earlier = row_.data() + static_cast<std::size_t>(l) * all;
        for (std::size_t j = 0; j < all; ++j) sums[j] += y[i] * earlier[j];
      }
  }
  added_ = frames;

  // The fit's variables: those of `bins` (all of the sums' when empty), variable v being the
  // sums' variable index[v].
  const std::span<const int> fitted = bins.empty() ? std::span<const int>(bins_) : bins;
  std::vector<std::size_t> index;
  for (std::size_t k = 0, at = 0; k < fitted.size(); ++k) {
    while (at < bins_.size() && bins_[at] != fitted[k]) ++at;
    if (at == bins_.size()) throw std::invalid_argument("GrowingVar::at: a bin the sums do not hold");
    index.push_back(2 * at);
    index.push_back(2 * at + 1);
  }
  const int nv = static_cast<int>(index.size());
  const auto unv = static_cast<std::size_t>(nv);
  const auto width = unv * static_cast<std::size_t>(p + 1);
  const auto lagged = [&](std::size_t i, int l, std::size_t j) {
    return lagged_[(index[i] * static_cast<std::size_t>(p + 1) + static_cast<std::size_t>(l)) * all + index[j]];
  };

  At out;
  out.data = residual_coefficients(raw_, frames, fitted);
  if (frames <= p) return out;
  std::vector<double> mean(unv);  // the mean's offset from the reference
  for (std::size_t v = 0; v < unv; ++v) mean[v] = totals_[index[v]] / frames;

  // The cross sums about the mean: sum (y_i(t + l) - m_i)(y_j(t) - m_j) over t < frames - l is
  // the sum about the reference less m_j times y_i's sum over [l, frames), less m_i times y_j's
  // over [0, frames - l), plus (frames - l) m_i m_j.
  CrossSums sums(nv, p);
  for (int l = 0; l <= p; ++l) {
    std::vector<double> from_l(unv), to_end(unv);  // y's sum over [l, frames), over [0, frames - l)
    for (std::size_t v = 0; v < unv; ++v) {
      double head = 0.0, tail = 0.0;
      for (int t = 0; t < l; ++t) {
        head += first_[static_cast<std::size_t>(t) * all + index[v]];
        tail += row_[static_cast<std::size_t>(t) * all + index[v]];
      }
      from_l[v] = totals_[index[v]] - head;
      to_end[v] = totals_[index[v]] - tail;
    }
    for (std::size_t i = 0; i < unv; ++i) {
      double* centred = sums.at(static_cast<int>(i) + 1, l);
      for (std::size_t j = 0; j < unv; ++j)
        centred[j] = lagged(i, l, j) - mean[j] * from_l[i] - mean[i] * to_end[j] + (frames - l) * mean[i] * mean[j];
    }
  }
  // Equation i's residuals are the row (y_t, y_{t-1}, .., y_{t-lags}, t = lags .. frames - 1)
  // times (e_i, -b_i): their sum of squares is that quadratic form of the rows' cross-products
  // about the mean. The rows' entries at lags a <= b: sum over s from lags - a to frames - 1 - a
  // of y_s(i) y_{s-d}(j), d = b - a, which is the cross sum at lag d less its first terms (s
  // below lags - a, among the first frames) and its last (s from frames - a, among the last).
  const double rows = frames - p;
  const auto value = [&](int s, std::size_t v) {  // y_s(v) for s among the first or last frames
    return s < p ? first_[static_cast<std::size_t>(s) * all + index[v]]
                 : row_[static_cast<std::size_t>(frames - 1 - s) * all + index[v]];
  };
  std::vector<double> row_sums(width);  // per row entry: y_i's sum over s from lags - a to frames - 1 - a
  for (int a = 0; a <= p; ++a)
    for (std::size_t i = 0; i < unv; ++i) {
      double sum = totals_[index[i]];
      for (int s = 0; s < p - a; ++s) sum -= value(s, i);
      for (int s = frames - a; s < frames; ++s) sum -= value(s, i);
      row_sums[static_cast<std::size_t>(a) * unv + i] = sum;
    }
  const auto residuals = [&](const VarFit& fit) {
    const auto stride = static_cast<std::size_t>(fit.regressors());
    std::vector<double> gram(width * width);
    for (int a = 0; a <= p; ++a)
      for (int b = a; b <= p; ++b) {
        const int d = b - a;
        for (std::size_t i = 0; i < unv; ++i) {
          for (std::size_t j = 0; j < unv; ++j) {
            double sum = lagged(i, d, j);
            for (int s = d; s < p - a; ++s) sum -= value(s, i) * value(s - d, j);
            for (int s = frames - a; s < frames; ++s) sum -= value(s, i) * value(s - d, j);
            const std::size_t u = static_cast<std::size_t>(a) * unv + i, w = static_cast<std::size_t>(b) * unv + j;
            const double centred = sum - mean[j] * row_sums[u] - mean[i] * row_sums[w] + rows * mean[i] * mean[j];
            gram[u * width + w] = gram[w * width + u] = centred;
          }
        }
      }
    ResidualSums r;
    std::vector<double> beta(width), product(width);
    for (std::size_t i = 0; i < unv; ++i) {
      std::fill(beta.begin(), beta.end(), 0.0);
      beta[i] = 1.0;
      for (std::size_t u = 0; u < stride; ++u) beta[unv + u] = -fit.coefficients[i * stride + u];
      // beta' G beta: G's rows weighted by beta summed side by side, then dotted with beta.
      numeric::weighted_row_sum(beta, gram, product);
      const double square = std::max(std::inner_product(beta.begin(), beta.end(), product.begin(), 0.0), 0.0);
      r.rounded.push_back(square);
      r.total += square;
    }
    return r;
  };
  out.fit = fit_from_cross_sums(sums, frames, errors, Solve::Inverse, residuals);
  return out;
}

}  // namespace tramel::forecast
