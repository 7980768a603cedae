// The size rule and the least-squares fit of the models that follow the level.
#include <algorithm>
#include <cmath>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

int observations(ModelKind kind, int frames, int lags) {
  return frames - lags - (kind == ModelKind::Changes ? 1 : 0);
}

// Residual degrees of freedom per equation of a model with `variables` variables.
int degrees_of_freedom(const ModelSize& size, int variables, int lags) {
  return observations(size.kind, size.frames, lags) - (variables * lags + 1);
}

bool fits(const ModelSize& size, int variables, int lags) {
  return degrees_of_freedom(size, variables, lags) >= kDegreesPerRegressor * (variables * lags + 1);
}

// The series the VAR is fitted to, column-major, and the means taken out of it: levels the
// variables less their means, changes the frame-to-frame changes less the mean change.
struct Centred {
  int length = 0;
  std::vector<double> values;
  std::vector<double> mean;
  double at(int t, int v) const {
    return values[static_cast<std::size_t>(v) * static_cast<std::size_t>(length) +
                  static_cast<std::size_t>(t)];
  }
};

Centred centre(const ModelInputs& in, ModelKind kind) {
  Centred c;
  const int nv = in.variables;
  const int shift = kind == ModelKind::Changes ? 1 : 0;
  c.length = std::max(in.frames - shift, 0);
  c.values.resize(static_cast<std::size_t>(c.length) * static_cast<std::size_t>(nv));
  c.mean.assign(static_cast<std::size_t>(nv), 0.0);
  for (int v = 0; v < nv; ++v) {
    double* column = c.values.data() + static_cast<std::size_t>(v) * c.length;
    for (int t = 0; t < c.length; ++t)
      column[t] = shift ? in.at(t + 1, v) - in.at(t, v) : in.at(t, v);
    long double sum = 0;
    for (int t = 0; t < c.length; ++t) sum += column[t];
    const double mean = c.length > 0 ? static_cast<double>(sum / c.length) : 0.0;
    for (int t = 0; t < c.length; ++t) column[t] -= mean;
    c.mean[v] = mean;
  }
  return c;
}

// The residuals of every equation with coefficients b (equation i at i * regressors), row t
// (t = lags .. length - 1) at t - lags of column i.
std::vector<double> residuals(const Centred& c, int nv, int lags, const std::vector<double>& b) {
  const int n = c.length - lags;
  const auto nr = static_cast<std::size_t>(nv) * static_cast<std::size_t>(lags);
  std::vector<double> r(static_cast<std::size_t>(n) * static_cast<std::size_t>(nv));
  for (int i = 0; i < nv; ++i) {
    for (int t = lags; t < c.length; ++t) {
      long double prediction = 0;
      for (int l = 1; l <= lags; ++l)
        for (int j = 0; j < nv; ++j)
          prediction += static_cast<long double>(b[i * nr + static_cast<std::size_t>((l - 1) * nv + j)]) *
                        c.at(t - l, j);
      r[static_cast<std::size_t>(i) * n + static_cast<std::size_t>(t - lags)] =
          static_cast<double>(c.at(t, i) - prediction);
    }
  }
  return r;
}

std::vector<double> covariance(const std::vector<double>& r, int nv, int n, int dof) {
  std::vector<double> s(static_cast<std::size_t>(nv) * static_cast<std::size_t>(nv));
  for (int i = 0; i < nv; ++i) {
    for (int j = 0; j <= i; ++j) {
      long double sum = 0;
      for (int t = 0; t < n; ++t)
        sum += static_cast<long double>(r[static_cast<std::size_t>(i) * n + t]) *
               r[static_cast<std::size_t>(j) * n + t];
      const double value = static_cast<double>(sum / dof);
      s[static_cast<std::size_t>(j) * nv + i] = value;
      s[static_cast<std::size_t>(i) * nv + j] = value;
    }
  }
  return s;
}

// The t rule on coefficient (equation, regressor): whether the forecast keeps it. A cross term
// of the level's equation (equation 0, a regressor other than bin 0's own lags) must pass
// kLevelCrossTermT, every other coefficient kTermT. A quotient that is not a number keeps it.
bool kept(double coefficient, double std_error, int equation, int regressor, int variables) {
  const double t = std::fabs(coefficient / std_error);
  if (equation == 0 && regressor % variables != 0) return !(t <= kLevelCrossTermT);
  return !(t < kTermT);
}

}  // namespace

BinChoice choose_bins(std::span<const RankedBin> candidates, const ModelSize& size) {
  std::vector<RankedBin> ranked(candidates.begin(), candidates.end());
  std::stable_sort(ranked.begin(), ranked.end(), [](const RankedBin& a, const RankedBin& b) {
    return a.strength > b.strength || (a.strength == b.strength && a.bin < b.bin);
  });
  BinChoice choice;
  int lags = std::max(size.lags, 0);
  while (lags > 0 && !fits(size, 1, lags)) --lags;
  choice.lags = lags;
  if (fits(size, 1, lags)) {
    choice.fits = true;
    int variables = 1;
    std::size_t k = 0;
    // The most coherent bins in turn, as long as they fit.
    for (; k < ranked.size(); ++k) {
      const int cost = 2 * ranked[k].bin == size.frame_length ? 1 : 2;
      if (!fits(size, variables + cost, lags)) break;
      choice.kept.push_back(ranked[k].bin);
      variables += cost;
    }
    for (; k < ranked.size(); ++k) choice.left_out.push_back(ranked[k].bin);
  } else {
    // Nothing meets the rule: the mean (or the drift) alone, if one degree of freedom is left.
    choice.fits = degrees_of_freedom(size, 1, 0) >= 1;
    for (const RankedBin& r : ranked) choice.left_out.push_back(r.bin);
  }
  std::sort(choice.kept.begin(), choice.kept.end());
  std::sort(choice.left_out.begin(), choice.left_out.end());
  return choice;
}

std::optional<ModelFit> fit_model(const ModelInputs& inputs, ModelKind kind, int lags) {
  const int nv = inputs.variables;
  const Centred c = centre(inputs, kind);
  const int n = c.length - lags;
  const int nr = nv * lags;
  const auto unr = static_cast<std::size_t>(nr);
  ModelFit fit;
  fit.kind = kind;
  fit.variables = nv;
  fit.lags = lags;
  fit.observations = n;
  fit.degrees_of_freedom = n - nr - 1;
  fit.mean = c.mean;
  fit.sample_length = c.length;
  if (lags < 0 || nv < 1 || fit.degrees_of_freedom < 1) return std::nullopt;

  // The cross-products of the lagged variables (regressor u: variable u % nv at lag u / nv + 1)
  // and with each equation's left-hand side, every sum in extended precision in increasing t.
  const auto regressor = [&](int t, std::size_t u) {
    return c.at(t - 1 - static_cast<int>(u / nv), static_cast<int>(u % nv));
  };
  std::vector<double> g(unr * unr), rhs(static_cast<std::size_t>(nv) * unr), diagonal(unr);
  for (std::size_t u = 0; u < unr; ++u) {
    for (std::size_t w = u; w < unr; ++w) {
      long double sum = 0;
      for (int t = lags; t < c.length; ++t)
        sum += static_cast<long double>(regressor(t, u)) * regressor(t, w);
      g[w * unr + u] = g[u * unr + w] = static_cast<double>(sum);
    }
    for (int i = 0; i < nv; ++i) {
      long double sum = 0;
      for (int t = lags; t < c.length; ++t)
        sum += static_cast<long double>(regressor(t, u)) * c.at(t, i);
      rhs[static_cast<std::size_t>(i) * unr + u] = static_cast<double>(sum);
    }
  }
  fit.coefficients.assign(static_cast<std::size_t>(nv) * unr, 0.0);
  if (nr > 0) {
    if (!numeric::cholesky_factor(g, nr, diagonal)) return std::nullopt;
    for (int i = 0; i < nv; ++i)
      numeric::cholesky_solve(g, nr, diagonal, std::span<const double>(rhs).subspan(i * unr, unr),
                              std::span<double>(fit.coefficients).subspan(i * unr, unr));
    numeric::cholesky_inverse(g, nr, diagonal);
    fit.regressor_inverse = g;
  }

  // Least-squares standard errors, and the t rule.
  const std::vector<double> full = covariance(residuals(c, nv, lags, fit.coefficients), nv, n,
                                              fit.degrees_of_freedom);
  fit.std_errors.assign(fit.coefficients.size(), 0.0);
  fit.effective = fit.coefficients;
  for (int i = 0; i < nv; ++i) {
    for (std::size_t u = 0; u < unr; ++u) {
      const std::size_t k = static_cast<std::size_t>(i) * unr + u;
      fit.std_errors[k] = std::sqrt(full[static_cast<std::size_t>(i) * nv + i] * g[u * unr + u]);
      if (!kept(fit.coefficients[k], fit.std_errors[k], i, static_cast<int>(u), nv)) fit.effective[k] = 0.0;
    }
  }
  fit.residual_covariance =
      covariance(residuals(c, nv, lags, fit.effective), nv, n, fit.degrees_of_freedom);

  // R square of the fit as fitted: its residual sum of squares, over all equations, against
  // that of the regressands about their means.
  long double residual_sum = 0, total_sum = 0;
  for (int i = 0; i < nv; ++i) {
    residual_sum += static_cast<long double>(full[static_cast<std::size_t>(i) * nv + i]) *
                    fit.degrees_of_freedom;
    for (int t = lags; t < c.length; ++t)
      total_sum += static_cast<long double>(c.at(t, i)) * c.at(t, i);
  }
  fit.r_square = total_sum > 0 ? static_cast<double>(1 - residual_sum / total_sum) : 0.0;
  return fit;
}

}  // namespace tramel::forecast
