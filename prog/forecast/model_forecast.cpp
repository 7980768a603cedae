// The forecast of the models that follow the level: the recursion, the forecast frames, the
// forecast-error covariance from the moving-average weights with the error of the estimates,
// and the intervals.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <numeric>
#include <utility>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

using Matrix = std::vector<double>;  // n x n, column-major

Matrix multiply(const Matrix& a, const Matrix& b, int n) {
  Matrix c(static_cast<std::size_t>(n) * n, 0.0);
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < n; ++k) {
      const double bkj = b[static_cast<std::size_t>(j) * n + k];
      for (int i = 0; i < n; ++i)
        c[static_cast<std::size_t>(j) * n + i] += a[static_cast<std::size_t>(k) * n + i] * bkj;
    }
  return c;
}

// m S m'. A multiple of the identity (the weight of one step ahead) takes the short way, to
// the same bits: each entry is (w s) w.
Matrix sandwich(const Matrix& m, const Matrix& s, int n) {
  const double w = m.empty() ? 0.0 : m[0];
  bool scaled_identity = true;
  for (int j = 0; j < n && scaled_identity; ++j)
    for (int i = 0; i < n && scaled_identity; ++i)
      scaled_identity = m[static_cast<std::size_t>(j) * n + i] == (i == j ? w : 0.0);
  if (scaled_identity) {
    Matrix c(s.size());
    for (std::size_t k = 0; k < s.size(); ++k) c[k] = (w * s[k]) * w;
    return c;
  }
  Matrix transposed(m.size());
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) transposed[static_cast<std::size_t>(i) * n + j] = m[static_cast<std::size_t>(j) * n + i];
  return multiply(multiply(m, s, n), transposed, n);
}

// The moving-average weights W_0 .. W_{frames_ahead - 1} of the fitted VAR (its effective
// coefficients): Psi_0 = I, Psi_h = sum_l A_l Psi_{h-l}; for `changes`, of the integrated
// forecast, the cumulative sums Psi_0 + ... + Psi_h.
std::vector<Matrix> moving_average_weights(const ModelFit& fit, int frames_ahead) {
  const int nv = fit.variables;
  const auto nn = static_cast<std::size_t>(nv) * nv;
  const auto nr = static_cast<std::size_t>(fit.regressors());
  // A_l(i, j) = effective(i, (l - 1) nv + j).
  std::vector<Matrix> a(static_cast<std::size_t>(fit.lags), Matrix(nn));
  for (int l = 0; l < fit.lags; ++l)
    for (int i = 0; i < nv; ++i)
      for (int j = 0; j < nv; ++j)
        a[l][static_cast<std::size_t>(j) * nv + i] =
            fit.effective[static_cast<std::size_t>(i) * nr + static_cast<std::size_t>(l * nv + j)];

  std::vector<Matrix> psi, weights;  // Psi_0 .. Psi_{h-1}, and the weights
  for (int h = 0; h < frames_ahead; ++h) {
    Matrix next(nn, 0.0);
    if (h == 0) {
      for (int i = 0; i < nv; ++i) next[static_cast<std::size_t>(i) * nv + i] = 1.0;
    } else {
      for (int l = 1; l <= std::min(h, fit.lags); ++l) {
        const Matrix term = multiply(a[l - 1], psi[h - l], nv);
        for (std::size_t k = 0; k < nn; ++k) next[k] += term[k];
      }
    }
    psi.push_back(next);
    if (fit.kind == ModelKind::Changes && h > 0)
      for (std::size_t k = 0; k < nn; ++k) next[k] += weights.back()[k];
    weights.push_back(std::move(next));
  }
  return weights;
}

// How each variable enters a sample of the frame: sample j is sum_v Re(alpha_v w^(k_v j)) x_v,
// w = exp(2 pi i / lb), from the inverse transform y(j) = (1/lb) [c0 + sum_b w_b (Re c_b
// cos(2 pi j b / lb) - Im c_b sin(2 pi j b / lb))], w_b = 2 but 1 at lb/2: bin 0 at k 0 with
// alpha 1/lb, a bin's real part at k b with alpha w_b / lb, its imaginary part with alpha
// 2i / lb.
struct SampleTerms {
  std::vector<int> bin;
  std::vector<Complex> alpha;
};
SampleTerms sample_terms(const ModelInputs& in) {
  const int lb = in.frame_length;
  SampleTerms t;
  t.bin.push_back(0);
  t.alpha.emplace_back(1.0 / lb, 0.0);
  for (const int b : in.bins) {
    t.bin.push_back(b);
    t.alpha.emplace_back((2 * b == lb ? 1.0 : 2.0) / lb, 0.0);
    if (2 * b == lb) continue;
    t.bin.push_back(b);
    t.alpha.emplace_back(0.0, 2.0 / lb);
  }
  return t;
}

// The variance of every sample of a frame whose variables have covariance c (nv x nv,
// column-major): l_j' c l_j at position j, l_j the samples' terms. A product of two terms is
// (1/2) Re(alpha_a alpha_b w^((k_a + k_b) j) + alpha_a conj(alpha_b) w^((k_a - k_b) j)), so
// the variances are (1/2) Re sum_k D_k w^(k j), D gathering c's entries at k_a + k_b and
// k_a - k_b (mod lb): a sum over the frequencies the bins make instead of a quadratic form
// per sample, with the sines and cosines to the last bit of double (std::cos, std::sin).
std::vector<double> sample_variances(const SampleTerms& t, const std::vector<double>& c, int lb) {
  const auto nv = t.bin.size();
  std::vector<Complex> d(static_cast<std::size_t>(lb), Complex(0.0, 0.0));
  std::vector<bool> used(d.size(), false);
  for (std::size_t b = 0; b < nv; ++b)
    for (std::size_t a = 0; a < nv; ++a) {
      const double cab = c[b * nv + a];
      const auto sum = static_cast<std::size_t>((t.bin[a] + t.bin[b]) % lb);
      const auto difference = static_cast<std::size_t>((t.bin[a] - t.bin[b] + lb) % lb);
      d[sum] += cab * t.alpha[a] * t.alpha[b];
      d[difference] += cab * t.alpha[a] * std::conj(t.alpha[b]);
      used[sum] = used[difference] = true;
    }
  std::vector<double> cosine(static_cast<std::size_t>(lb)), sine(cosine.size());
  for (int m = 0; m < lb; ++m) {
    const double angle = 2.0 * std::numbers::pi * m / lb;
    cosine[m] = std::cos(angle);
    sine[m] = std::sin(angle);
  }
  std::vector<double> out(static_cast<std::size_t>(lb), 0.0);
  for (int k = 0; k < lb; ++k) {
    if (!used[k]) continue;
    const double re = d[k].real(), im = d[k].imag();
    // m = k j mod lb, stepped by k.
    int m = 0;
    for (int j = 0; j < lb; ++j) {
      out[j] += re * cosine[m] - im * sine[m];
      m += k;
      if (m >= lb) m -= lb;
    }
  }
  for (double& v : out) v *= 0.5;
  return out;
}

// The drift's weight at step h (from 1): damping^h for a Damped drift of `changes`, else 1.
double drift_weight(const ModelFit& fit, const Drift& drift, int h) {
  return fit.kind == ModelKind::Changes && drift.kind == DriftKind::Damped ? std::pow(drift.damping, h) : 1.0;
}

constexpr std::array<Drift, 5> kDriftVariants = {
    Drift{DriftKind::Sample, 0, 1.0}, Drift{DriftKind::Recent, 3, 1.0}, Drift{DriftKind::Recent, 5, 1.0},
    Drift{DriftKind::Damped, 0, 0.8}, Drift{DriftKind::Damped, 0, 0.9}};

}  // namespace

std::span<const Drift> drift_variants() { return kDriftVariants; }

std::string drift_name(const Drift& drift) {
  switch (drift.kind) {
    case DriftKind::Recent:
      return "last " + std::to_string(drift.frames) + " frames";
    case DriftKind::Damped: {
      char text[32];
      std::snprintf(text, sizeof text, "damped %.2g", drift.damping);
      return text;
    }
    case DriftKind::Sample:
      break;
  }
  return "sample mean";
}

std::vector<double> forecast_error_covariance(const ModelFit& fit, int frames_ahead) {
  const auto nn = static_cast<std::size_t>(fit.variables) * static_cast<std::size_t>(fit.variables);
  Matrix sum(nn, 0.0);
  std::vector<double> out;
  out.reserve(nn * static_cast<std::size_t>(std::max(frames_ahead, 0)));
  for (const Matrix& weight : moving_average_weights(fit, frames_ahead)) {
    const Matrix term = sandwich(weight, fit.residual_covariance, fit.variables);
    for (std::size_t k = 0; k < nn; ++k) sum[k] += term[k];
    out.insert(out.end(), sum.begin(), sum.end());
  }
  return out;
}

namespace {

// D's diagonal: sqrt(1 + q_i), q_i = k_i' (X'X)^-1 k_i, k_i the state x0 at the regressors
// equation i keeps (0 at those it drops). Equations that keep the same regressors share it.
std::vector<double> estimation_scale(const ModelFit& fit, std::span<const double> state) {
  const int nv = fit.variables;
  const auto nr = static_cast<std::size_t>(fit.regressors());
  std::vector<double> scale(static_cast<std::size_t>(nv), 1.0);
  if (nr == 0 || fit.regressor_inverse.size() != nr * nr) return scale;
  std::vector<double> kept(nr), previous, product(nr);
  double q = 0.0;
  for (int i = 0; i < nv; ++i) {
    const double* b = fit.effective.data() + static_cast<std::size_t>(i) * nr;
    for (std::size_t u = 0; u < nr; ++u) kept[u] = b[u] != 0.0 ? state[u] : 0.0;
    if (kept != previous) {
      numeric::weighted_row_sum(kept, fit.regressor_inverse, product);  // (X'X)^-1 k_i
      q = std::inner_product(kept.begin(), kept.end(), product.begin(), 0.0);
      previous = kept;
    }
    scale[static_cast<std::size_t>(i)] = std::sqrt(1.0 + std::max(q, 0.0));
  }
  return scale;
}

// The constant's covariance S / m, entering step h through w_1 W_{h-1} + ... + w_h W_0. A fit
// without a sample (one made by hand) has no estimate to be uncertain about.
std::vector<double> constant_covariance(const ModelFit& fit, int frames_ahead, const Drift& drift) {
  const int nv = fit.variables;
  const auto nn = static_cast<std::size_t>(nv) * static_cast<std::size_t>(nv);
  const bool recent = fit.kind == ModelKind::Changes && drift.kind == DriftKind::Recent;
  const int m = recent ? std::min(drift.frames, fit.sample_length) : fit.sample_length;
  Matrix constant = fit.residual_covariance;
  for (double& c : constant) c = m > 0 ? c / m : 0.0;
  const std::vector<Matrix> weights = moving_average_weights(fit, frames_ahead);
  std::vector<double> out;
  for (int h = 1; h <= frames_ahead; ++h) {
    Matrix paths(nn, 0.0);
    for (int s = 1; s <= h; ++s) {
      const double w = drift_weight(fit, drift, s);
      const Matrix& weight = weights[static_cast<std::size_t>(h - s)];
      for (std::size_t k = 0; k < nn; ++k) paths[k] += w * weight[k];
    }
    const Matrix term = sandwich(paths, constant, nv);
    out.insert(out.end(), term.begin(), term.end());
  }
  return out;
}

// What the forecasts of one fit with several drifts share: the error covariance of the model,
// the samples' terms, and the scale for its estimates of each state met (the drifts that take
// the series about its sample mean change leave the state as it is, and so the scale).
struct SharedForecast {
  std::vector<double> covariances;
  SampleTerms terms;
  std::vector<std::pair<std::vector<double>, std::vector<double>>> scales;  // state, scale
};

ModelForecast forecast_with(const ModelInputs& inputs, const ModelFit& fit, int frames_ahead,
                            const numeric::FftPlan& plan, const Drift& drift, SharedForecast& shared) {
  const int nv = fit.variables;
  const int p = fit.lags;
  const int lb = inputs.frame_length;
  const auto nr = static_cast<std::size_t>(fit.regressors());
  const bool changes = fit.kind == ModelKind::Changes;
  const int last = inputs.frames - 1;

  ModelForecast out;
  out.frame_length = lb;
  // What the series is taken about: levels the means; changes the drift, for a Recent drift the
  // mean change of the last frames, (x_last - x_{last-k}) / k.
  out.drift_rule = changes ? drift : Drift{};
  out.drift = fit.mean;
  if (changes && drift.kind == DriftKind::Recent) {
    const int k = std::clamp(drift.frames, 1, std::max(last, 1));
    for (int v = 0; v < nv; ++v) out.drift[v] = (inputs.at(last, v) - inputs.at(last - k, v)) / k;
  }
  const std::vector<double>& centre = out.drift;

  // The centred series' last p values, most recent first.
  const auto centred = [&](int t, int v) {
    return changes ? inputs.at(t, v) - inputs.at(t - 1, v) - centre[v] : inputs.at(t, v) - centre[v];
  };
  std::vector<double> state(nr);
  for (int l = 1; l <= p; ++l)
    for (int j = 0; j < nv; ++j) state[static_cast<std::size_t>((l - 1) * nv + j)] = centred(last - l + 1, j);
  auto known = std::find_if(shared.scales.begin(), shared.scales.end(), [&](const auto& s) { return s.first == state; });
  if (known == shared.scales.end()) known = shared.scales.insert(known, {state, estimation_scale(fit, state)});
  const EstimationError estimation{known->second, constant_covariance(fit, frames_ahead, out.drift_rule)};

  out.variables.resize(static_cast<std::size_t>(frames_ahead) * nv);
  std::vector<double> level(static_cast<std::size_t>(nv));
  for (int v = 0; v < nv; ++v) level[v] = inputs.at(last, v);
  for (int h = 0; h < frames_ahead; ++h) {
    std::vector<double> step(static_cast<std::size_t>(nv));
    for (int i = 0; i < nv; ++i) {
      long double sum = 0;
      for (std::size_t u = 0; u < nr; ++u)
        sum += static_cast<long double>(fit.effective[static_cast<std::size_t>(i) * nr + u]) * state[u];
      step[i] = static_cast<double>(sum);
    }
    for (std::size_t u = nr; u-- > static_cast<std::size_t>(nv);) state[u] = state[u - nv];
    for (int i = 0; i < nv && nr > 0; ++i) state[i] = step[i];
    const double weight = drift_weight(fit, out.drift_rule, h + 1);
    for (int i = 0; i < nv; ++i) {
      level[i] = changes ? level[i] + step[i] + weight * centre[i] : step[i] + centre[i];
      out.variables[static_cast<std::size_t>(h) * nv + i] = level[i];
    }
  }

  // The forecast frames: the model's bins from the forecast, the others from the mean waveform;
  // the error covariance: the model's, scaled for its estimated lags, and its constant's.
  const std::vector<double>& covariances = shared.covariances;
  const SampleTerms& terms = shared.terms;
  out.frames.resize(static_cast<std::size_t>(frames_ahead) * lb);
  out.std_dev.resize(out.frames.size());
  const auto nn = static_cast<std::size_t>(nv) * nv;
  for (int h = 0; h < frames_ahead; ++h) {
    std::vector<Complex> spectrum = inputs.mean_spectrum;
    const double* x = out.variables.data() + static_cast<std::size_t>(h) * nv;
    std::size_t v = 0;
    spectrum[0] = Complex(x[v++], 0.0);
    for (const int b : inputs.bins) {
      const double re = x[v++];
      spectrum[b] = Complex(re, 2 * b == lb ? 0.0 : x[v++]);
    }
    const std::vector<double> frame = frame_from_spectrum(spectrum, plan);
    std::vector<double> c(nn);
    for (std::size_t a = 0; a < static_cast<std::size_t>(nv); ++a)
      for (std::size_t b = 0; b < static_cast<std::size_t>(nv); ++b) {
        const std::size_t k = static_cast<std::size_t>(h) * nn + b * nv + a;
        c[b * nv + a] = estimation.scale[a] * covariances[k] * estimation.scale[b] + estimation.constant[k];
      }
    const std::vector<double> modelled = sample_variances(terms, c, lb);
    for (int j = 0; j < lb; ++j) {
      const double variance = inputs.unmodelled_variance[j] + modelled[j];
      const std::size_t at = static_cast<std::size_t>(h) * lb + j;
      out.frames[at] = static_cast<float>(frame[j]);
      out.std_dev[at] = variance > 0 ? std::sqrt(variance) : 0.0;
    }
  }
  return out;
}

}  // namespace

EstimationError estimation_error_covariance(const ModelFit& fit, std::span<const double> state,
                                            int frames_ahead, const Drift& drift) {
  return {estimation_scale(fit, state), constant_covariance(fit, frames_ahead, drift)};
}

std::vector<ModelForecast> forecast_models(const ModelInputs& inputs, const ModelFit& fit, int frames_ahead,
                                           const numeric::FftPlan& plan, std::span<const Drift> drifts) {
  SharedForecast shared{forecast_error_covariance(fit, frames_ahead), sample_terms(inputs), {}};
  std::vector<ModelForecast> out;
  for (const Drift& d : drifts) out.push_back(forecast_with(inputs, fit, frames_ahead, plan, d, shared));
  return out;
}

ModelForecast forecast_model(const ModelInputs& inputs, const ModelFit& fit, int frames_ahead,
                             const numeric::FftPlan& plan, const Drift& drift) {
  return std::move(forecast_models(inputs, fit, frames_ahead, plan, {&drift, 1}).front());
}

double normal_quantile(double probability) {
  // Bisection on Phi(x) = erfc(-x / sqrt 2) / 2 over [-40, 40]: slow beside a rational
  // approximation but exact to the last bits that matter and the same everywhere.
  double lo = -40.0, hi = 40.0;
  for (int i = 0; i < 200 && hi - lo > 1e-15; ++i) {
    const double mid = 0.5 * (lo + hi);
    if (0.5 * std::erfc(-mid / std::numbers::sqrt2) < probability) lo = mid; else hi = mid;
  }
  return 0.5 * (lo + hi);
}

std::vector<ForecastInterval> central_intervals(const Spread& spread, std::span<const float> levels) {
  const auto scale = [&](double v) { return static_cast<float>(spread.log_scale ? std::exp(v) : v); };
  std::vector<ForecastInterval> out;
  for (const float level : levels) {
    ForecastInterval interval;
    interval.level = level;
    const double z = normal_quantile(0.5 + static_cast<double>(level) / 200.0);
    for (std::size_t i = 0; i < spread.centre.size(); ++i) {
      interval.lower.push_back(scale(spread.centre[i] - z * spread.std_dev[i]));
      interval.upper.push_back(scale(spread.centre[i] + z * spread.std_dev[i]));
    }
    out.push_back(std::move(interval));
  }
  return out;
}

std::vector<ForecastInterval> forecast_intervals(const ModelForecast& forecast,
                                                 std::span<const float> levels) {
  const std::vector<double> centre(forecast.frames.begin(), forecast.frames.end());
  return central_intervals({centre, forecast.std_dev}, levels);
}

ModelRun run_model(const FrameSpectra& spectra, std::span<const RankedBin> candidates,
                   const ModelSize& size, int frames_ahead, const numeric::FftPlan& plan,
                   const DriftRequest& drift) {
  const int frames[] = {size.frames};
  const std::vector<RankedBin> ranked(candidates.begin(), candidates.end());
  const std::span<const std::vector<RankedBin>> one(&ranked, 1);
  return std::move(run_nested(spectra, {frames, one, size.kind, size.lags, frames_ahead, drift}, plan).front());
}

std::vector<ModelRun> run_nested(const FrameSpectra& spectra, const NestedRuns& q, const numeric::FftPlan& plan) {
  const std::size_t count = q.frames.size();
  std::vector<ModelRun> out(count);
  for (std::size_t i = 0; i < count; ++i) {
    const ModelSize size{q.frames[i], q.lags, q.kind, spectra.frame_length};
    out[i].choice = choose_bins(q.candidates[q.candidates.size() == 1 ? 0 : i], size);
  }
  std::optional<GrowingInputs> inputs;
  BinChoice grown;  // the bins and lags `inputs` holds
  // The sums serve the origins from one on while the lags stay the same: they hold the union of
  // those origins' bins, so that bins that come and go cost no new pass over the frames.
  std::optional<ModelSums> sums;
  std::optional<SpectraVariables> summed;  // the union's variables
  int summed_lags = -1;
  for (std::size_t i = 0; i < count; ++i) {
    ModelRun& run = out[i];
    if (!run.choice.fits) continue;
    if (!inputs || run.choice.kept != grown.kept || run.choice.lags != grown.lags) {
      inputs.emplace(spectra, run.choice.kept, plan);
      grown = run.choice;
    }
    const ModelInputs in = inputs->at(q.frames[i]);
    if (!sums || run.choice.lags != summed_lags) {
      std::vector<int> bins;
      for (std::size_t j = i; j < count && (!out[j].choice.fits || out[j].choice.lags == run.choice.lags); ++j)
        if (out[j].choice.fits) merge_bins(bins, out[j].choice.kept);
      summed.emplace(spectra, std::move(bins));
      summed_lags = run.choice.lags;
      sums.emplace(q.kind, summed->variables(), summed_lags, fitted_mean(*summed, q.kind, q.frames[i]));
    }
    sums->add_frames(*summed, q.frames[i]);
    run.fit = sums->fit(summed->indices_of(run.choice.kept));
    if (!run.fit) continue;
    // The chosen drift first, then the variants other than it.
    std::vector<Drift> drifts = {q.drift.chosen};
    for (const Drift& d : q.drift.variants)
      if (!(d == q.drift.chosen)) drifts.push_back(d);
    std::vector<ModelForecast> made = forecast_models(in, *run.fit, q.frames_ahead, plan, drifts);
    run.forecast = made.front();
    for (const Drift& d : q.drift.variants) {
      const auto at = std::find(drifts.begin(), drifts.end(), d) - drifts.begin();
      run.variants.push_back(made[static_cast<std::size_t>(at)]);
    }
    if (!q.keep_fits) run.fit.reset();
  }
  return out;
}

}  // namespace tramel::forecast
