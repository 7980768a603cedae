// The size rule and the least-squares fit of the models that follow the level.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <stdexcept>

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

// The t rule on coefficient (equation, regressor): whether the forecast keeps it. A cross term
// of the level's equation (equation 0, a regressor other than bin 0's own lags) must pass
// kLevelCrossTermT, every other coefficient kTermT. A quotient that is not a number keeps it.
bool kept(double coefficient, double std_error, int equation, int regressor, int variables) {
  const double t = std::fabs(coefficient / std_error);
  if (equation == 0 && regressor % variables != 0) return !(t <= kLevelCrossTermT);
  return !(t < kTermT);
}

// `m` (rows x columns, by rows) by columns.
std::vector<double> transposed(std::span<const double> m, std::size_t rows, std::size_t columns) {
  std::vector<double> t(m.size());
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < columns; ++c) t[c * rows + r] = m[r * columns + c];
  return t;
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

namespace {

template <class Inputs>
std::vector<double> mean_of(const Inputs& in, int variables, ModelKind kind, int frames) {
  const int shift = kind == ModelKind::Changes ? 1 : 0;
  const int length = std::max(frames - shift, 0);
  std::vector<double> mean(static_cast<std::size_t>(variables), 0.0);
  for (int v = 0; v < variables && length > 0; ++v) {
    long double sum = 0;
    for (int t = 0; t < length; ++t) sum += shift ? in.at(t + 1, v) - in.at(t, v) : in.at(t, v);
    mean[v] = static_cast<double>(sum / length);
  }
  return mean;
}

}  // namespace

std::vector<double> fitted_mean(const ModelInputs& in, ModelKind kind, int frames) {
  return mean_of(in, in.variables, kind, frames);
}

std::vector<double> fitted_mean(const SpectraVariables& in, ModelKind kind, int frames) {
  return mean_of(in, in.variables(), kind, frames);
}

SpectraVariables::SpectraVariables(const FrameSpectra& spectra, std::vector<int> bins)
    : spectra_(spectra), bins_(std::move(bins)) {
  bin_.push_back(0);
  imaginary_.push_back(false);
  for (const int b : bins_) {
    bin_.push_back(b);
    imaginary_.push_back(false);
    if (2 * b == spectra.frame_length) continue;
    bin_.push_back(b);
    imaginary_.push_back(true);
  }
}

ModelSums::ModelSums(ModelKind kind, int variables, int lags, std::vector<double> reference)
    : kind_(kind), variables_(variables), lags_(std::max(lags, 0)), reference_(std::move(reference)) {
  width_ = variables_ * (lags_ + 1);
  const auto width = static_cast<std::size_t>(width_);
  row_.assign(width, 0.0);
  totals_.assign(static_cast<std::size_t>(variables_), 0.0);
  sums_.assign(width, 0.0);
  products_.assign(width * width, 0.0);
}

bool ModelSums::take(std::span<const double> frame) {
  const auto nv = static_cast<std::size_t>(variables_);
  ++frames_;
  if (kind_ == ModelKind::Changes && previous_.empty()) {
    previous_.assign(frame.begin(), frame.end());
    return false;
  }
  // The row moves back one lag; the new value about the reference leads it.
  std::copy_backward(row_.begin(), row_.end() - static_cast<std::ptrdiff_t>(nv), row_.end());
  for (std::size_t v = 0; v < nv; ++v) {
    const double value = kind_ == ModelKind::Changes ? frame[v] - previous_[v] : frame[v];
    row_[v] = value - reference_[v];
    totals_[v] += row_[v];
  }
  if (kind_ == ModelKind::Changes) previous_.assign(frame.begin(), frame.end());
  return ++length_ > lags_;
}

void ModelSums::accumulate(std::span<const double> rows) {
  // Up to kRowsAtOnce rows in one pass over the products, which is what the sums' time goes on.
  const auto width = static_cast<std::size_t>(width_);
  const std::size_t count = rows.size() / width;
  const double* r = rows.data();
  for (std::size_t u = 0; u < width; ++u) {
    double* products = products_.data() + u * width;
    if (count == kRowsAtOnce) {
      const double x0 = r[u], x1 = r[width + u], x2 = r[2 * width + u], x3 = r[3 * width + u];
      const double *r0 = r, *r1 = r + width, *r2 = r + 2 * width, *r3 = r + 3 * width;
      sums_[u] += ((x0 + x1) + x2) + x3;
      for (std::size_t w = u; w < width; ++w) products[w] += ((x0 * r0[w] + x1 * r1[w]) + x2 * r2[w]) + x3 * r3[w];
      continue;
    }
    for (std::size_t k = 0; k < count; ++k) {
      const double* row = r + k * width;
      const double x = row[u];
      sums_[u] += x;
      for (std::size_t w = u; w < width; ++w) products[w] += x * row[w];
    }
  }
}

void ModelSums::add_frames(const ModelInputs& inputs, int frames) { add_from(inputs, frames); }

void ModelSums::add_frames(const SpectraVariables& inputs, int frames) { add_from(inputs, frames); }

template <class Inputs>
void ModelSums::add_from(const Inputs& inputs, int frames) {
  std::vector<double> frame(static_cast<std::size_t>(variables_));
  std::vector<double> block;
  block.reserve(kRowsAtOnce * static_cast<std::size_t>(width_));
  for (int f = frames_; f < frames; ++f) {
    for (int v = 0; v < variables_; ++v) frame[static_cast<std::size_t>(v)] = inputs.at(f, v);
    if (take(frame)) block.insert(block.end(), row_.begin(), row_.end());
    if (block.size() == block.capacity() || f + 1 == frames) {
      accumulate(block);
      block.clear();
    }
  }
}

std::optional<ModelFit> ModelSums::fit(std::span<const int> variables) const {
  // The fitted model's variable v is the sums' variable index[v].
  std::vector<int> index(variables.begin(), variables.end());
  if (index.empty())
    for (int v = 0; v < variables_; ++v) index.push_back(v);
  const int nv = static_cast<int>(index.size());
  const int lags = lags_;
  const int n = length_ - lags;
  const int nr = nv * lags;
  const auto unv = static_cast<std::size_t>(nv);
  const auto unr = static_cast<std::size_t>(nr);
  const auto width = static_cast<std::size_t>(width_);
  ModelFit fit;
  fit.kind = kind_;
  fit.variables = nv;
  fit.lags = lags;
  fit.observations = n;
  fit.degrees_of_freedom = n - nr - 1;
  fit.sample_length = length_;
  if (nv < 1 || fit.degrees_of_freedom < 1) return std::nullopt;

  // The series is taken about its mean: the row's sums about the reference become
  //   sum (x - m)(y - m') = sum x y - m' sum x - m sum y + n m m',
  // m the mean's offset from the reference of the row entry's variable.
  std::vector<double> offset(unv);
  fit.mean.resize(unv);
  for (std::size_t v = 0; v < unv; ++v) {
    const auto at = static_cast<std::size_t>(index[v]);
    offset[v] = totals_[at] / length_;
    fit.mean[v] = reference_[at] + offset[v];
  }
  // Row entry u of the fitted model (its variable u % nv at lag u / nv) is entry entry[u] of the
  // sums' rows.
  std::vector<std::size_t> entry(unv * static_cast<std::size_t>(lags + 1));
  for (std::size_t u = 0; u < entry.size(); ++u)
    entry[u] = u / unv * static_cast<std::size_t>(variables_) + static_cast<std::size_t>(index[u % unv]);
  const auto centred = [&](std::size_t u, std::size_t w) {
    if (entry[w] < entry[u]) std::swap(u, w);
    const double mu = offset[u % unv], mw = offset[w % unv];
    const std::size_t a = entry[u], b = entry[w];
    return products_[a * width + b] - mw * sums_[a] - mu * sums_[b] + n * mu * mw;
  };
  // Regressor u is row entry nv + u (variable u % nv at lag u / nv + 1); equation i's
  // left-hand side is entry i.
  std::vector<double> g(unr * unr), rhs(unv * unr);
  for (std::size_t u = 0; u < unr; ++u) {
    for (std::size_t w = u; w < unr; ++w) g[w * unr + u] = g[u * unr + w] = centred(unv + u, unv + w);
    for (std::size_t i = 0; i < unv; ++i) rhs[i * unr + u] = centred(i, unv + u);
  }
  const std::vector<double> gram = g;
  fit.coefficients.assign(unv * unr, 0.0);
  if (nr > 0) {
    if (!numeric::invert_positive_definite(g, nr)) return std::nullopt;
    // Every equation's coefficients from the one inverse (symmetric: its columns are its rows).
    for (std::size_t i = 0; i < unv; ++i)
      numeric::weighted_row_sum(std::span(rhs).subspan(i * unr, unr), g,
                                std::span(fit.coefficients).subspan(i * unr, unr));
    fit.regressor_inverse = g;
  }

  // The residual cross-products of the fit as fitted: y'y - b_i' X'y_j, the normal equations
  // making X'r zero. The t rule's residuals r + X d' (d the coefficients it drops) add d X'X d'.
  // Row i of b X'y is sum over u of b_i(u) times row u of X'y by regressor (`by_regressor`).
  const std::vector<double> by_regressor = transposed(rhs, unv, unr);
  std::vector<double> fitted(unv * unv), explained(unv);
  for (std::size_t i = 0; i < unv; ++i) {
    numeric::weighted_row_sum(std::span(fit.coefficients).subspan(i * unr, unr), by_regressor, explained);
    for (std::size_t j = 0; j <= i; ++j) {
      double sum = centred(i, j) - explained[j];
      if (i == j) sum = std::max(sum, 0.0);
      fitted[i * unv + j] = fitted[j * unv + i] = sum;
    }
  }

  // Least-squares standard errors, and the t rule.
  fit.std_errors.assign(fit.coefficients.size(), 0.0);
  fit.effective = fit.coefficients;
  std::vector<double> dropped(fit.coefficients.size(), 0.0);
  std::vector<bool> drops(unv, false);
  for (std::size_t i = 0; i < unv; ++i) {
    for (std::size_t u = 0; u < unr; ++u) {
      const std::size_t k = i * unr + u;
      fit.std_errors[k] = std::sqrt(fitted[i * unv + i] / fit.degrees_of_freedom * g[u * unr + u]);
      if (kept(fit.coefficients[k], fit.std_errors[k], static_cast<int>(i), static_cast<int>(u), nv)) continue;
      fit.effective[k] = 0.0;
      dropped[k] = fit.coefficients[k];
      drops[i] = true;
    }
  }
  std::vector<double> spread(unv * unr, 0.0);  // X'X d_i' per equation that drops a term
  for (std::size_t i = 0; i < unv; ++i)
    if (drops[i])
      numeric::weighted_row_sum(std::span(dropped).subspan(i * unr, unr), gram, std::span(spread).subspan(i * unr, unr));
  const std::vector<double> spread_by_regressor = transposed(spread, unv, unr);
  std::vector<double> added(unv);
  fit.residual_covariance.resize(unv * unv);
  for (std::size_t i = 0; i < unv; ++i) {
    if (drops[i]) numeric::weighted_row_sum(std::span(dropped).subspan(i * unr, unr), spread_by_regressor, added);
    for (std::size_t j = 0; j <= i; ++j) {
      const double sum = fitted[i * unv + j] + (drops[i] && drops[j] ? added[j] : 0.0);
      const double value = sum / fit.degrees_of_freedom;
      fit.residual_covariance[i * unv + j] = fit.residual_covariance[j * unv + i] = value;
    }
  }

  // R square of the fit as fitted: its residual sum of squares, over all equations, against
  // that of the regressands about their means.
  double residual_sum = 0, total_sum = 0;
  for (std::size_t i = 0; i < unv; ++i) {
    residual_sum += fitted[i * unv + i];
    total_sum += centred(i, i);
  }
  fit.r_square = total_sum > 0 ? 1 - residual_sum / total_sum : 0.0;
  return fit;
}

std::vector<int> SpectraVariables::indices_of(std::span<const int> subset) const {
  std::vector<int> out = {0};
  std::size_t k = 0;
  for (int v = 1; v < variables() && k < subset.size(); ++v) {
    const int b = bin_[static_cast<std::size_t>(v)];
    if (b < subset[k]) continue;
    if (b > subset[k]) break;  // subset[k] is not among the bins
    out.push_back(v);
    if (v + 1 == variables() || bin_[static_cast<std::size_t>(v) + 1] != b) ++k;  // the bin's last variable
  }
  if (k != subset.size()) throw std::invalid_argument("SpectraVariables::indices_of: a bin not among its bins");
  return out;
}

void merge_bins(std::vector<int>& all, std::span<const int> bins) {
  std::vector<int> both;
  std::set_union(all.begin(), all.end(), bins.begin(), bins.end(), std::back_inserter(both));
  all = std::move(both);
}

std::optional<ModelFit> fit_model(const ModelInputs& inputs, ModelKind kind, int lags) {
  if (lags < 0) return std::nullopt;
  ModelSums sums(kind, inputs.variables, lags, fitted_mean(inputs, kind, inputs.frames));
  sums.add_frames(inputs, inputs.frames);
  return sums.fit();
}

}  // namespace tramel::forecast
