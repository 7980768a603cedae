// The forecast of the models that follow the level: the recursion, the forecast frames, the
// forecast-error covariance from the moving-average weights, and the intervals.
#include <cmath>
#include <numbers>

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

// m S m'.
Matrix sandwich(const Matrix& m, const Matrix& s, int n) {
  const Matrix ms = multiply(m, s, n);
  Matrix c(static_cast<std::size_t>(n) * n, 0.0);
  for (int j = 0; j < n; ++j)
    for (int k = 0; k < n; ++k) {
      const double mjk = m[static_cast<std::size_t>(k) * n + j];  // (m')(k, j)
      for (int i = 0; i < n; ++i)
        c[static_cast<std::size_t>(j) * n + i] += ms[static_cast<std::size_t>(k) * n + i] * mjk;
    }
  return c;
}

// The sample value of each variable at position j of a frame: the inverse transform is
// y(j) = (1/lb) [c0 + sum_b w_b (Re c_b cos(2 pi j b / lb) - Im c_b sin(2 pi j b / lb))], w_b = 2
// but 1 at lb/2.
std::vector<double> sample_map(const ModelInputs& in, int j) {
  const int lb = in.frame_length;
  std::vector<double> l(static_cast<std::size_t>(in.variables));
  std::size_t v = 0;
  l[v++] = 1.0 / lb;
  for (const int b : in.bins) {
    const double angle = 2.0 * std::numbers::pi *
                         static_cast<double>((static_cast<std::int64_t>(j) * b) % lb) / lb;
    if (2 * b == lb) {
      l[v++] = std::cos(angle) / lb;
    } else {
      l[v++] = 2.0 * std::cos(angle) / lb;
      l[v++] = -2.0 * std::sin(angle) / lb;
    }
  }
  return l;
}

}  // namespace

std::vector<double> forecast_error_covariance(const ModelFit& fit, int frames_ahead) {
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

  std::vector<Matrix> psi;  // Psi_0 .. Psi_{h-1}
  Matrix weight(nn, 0.0);   // Psi_i, or for changes Psi_0 + ... + Psi_i
  Matrix sum(nn, 0.0);
  std::vector<double> out;
  out.reserve(nn * static_cast<std::size_t>(std::max(frames_ahead, 0)));
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
    if (fit.kind == ModelKind::Changes) {
      for (std::size_t k = 0; k < nn; ++k) weight[k] += next[k];
    } else {
      weight = next;
    }
    const Matrix term = sandwich(weight, fit.residual_covariance, nv);
    for (std::size_t k = 0; k < nn; ++k) sum[k] += term[k];
    out.insert(out.end(), sum.begin(), sum.end());
  }
  return out;
}

ModelForecast forecast_model(const ModelInputs& inputs, const ModelFit& fit, int frames_ahead,
                             const numeric::FftPlan& plan) {
  const int nv = fit.variables;
  const int p = fit.lags;
  const int lb = inputs.frame_length;
  const auto nr = static_cast<std::size_t>(fit.regressors());
  const bool changes = fit.kind == ModelKind::Changes;
  const int last = inputs.frames - 1;

  // The centred series' last p values, most recent first: levels y - mean, changes the change
  // less the drift.
  const auto centred = [&](int t, int v) {
    return changes ? inputs.at(t, v) - inputs.at(t - 1, v) - fit.mean[v]
                   : inputs.at(t, v) - fit.mean[v];
  };
  std::vector<double> state(nr);
  for (int l = 1; l <= p; ++l)
    for (int j = 0; j < nv; ++j) state[static_cast<std::size_t>((l - 1) * nv + j)] = centred(last - l + 1, j);

  ModelForecast out;
  out.frame_length = lb;
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
    for (int i = 0; i < nv; ++i) {
      level[i] = changes ? level[i] + step[i] + fit.mean[i] : step[i] + fit.mean[i];
      out.variables[static_cast<std::size_t>(h) * nv + i] = level[i];
    }
  }

  // The forecast frames: the model's bins from the forecast, the others from the mean waveform.
  const std::vector<double> covariances = forecast_error_covariance(fit, frames_ahead);
  std::vector<std::vector<double>> maps;
  for (int j = 0; j < lb; ++j) maps.push_back(sample_map(inputs, j));
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
    const double* c = covariances.data() + static_cast<std::size_t>(h) * nn;
    for (int j = 0; j < lb; ++j) {
      const std::vector<double>& l = maps[j];
      long double variance = inputs.unmodelled_variance[j];
      for (int a = 0; a < nv; ++a)
        for (int b = 0; b < nv; ++b)
          variance += static_cast<long double>(l[a]) * c[static_cast<std::size_t>(b) * nv + a] * l[b];
      const std::size_t at = static_cast<std::size_t>(h) * lb + j;
      out.frames[at] = static_cast<float>(frame[j]);
      out.std_dev[at] = variance > 0 ? static_cast<double>(std::sqrt(variance)) : 0.0;
    }
  }
  return out;
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

std::vector<ForecastInterval> forecast_intervals(const ModelForecast& forecast,
                                                 std::span<const float> levels) {
  std::vector<ForecastInterval> out;
  for (const float level : levels) {
    ForecastInterval interval;
    interval.level = level;
    const double z = normal_quantile(0.5 + static_cast<double>(level) / 200.0);
    for (std::size_t i = 0; i < forecast.frames.size(); ++i) {
      interval.lower.push_back(static_cast<float>(forecast.frames[i] - z * forecast.std_dev[i]));
      interval.upper.push_back(static_cast<float>(forecast.frames[i] + z * forecast.std_dev[i]));
    }
    out.push_back(std::move(interval));
  }
  return out;
}

ModelRun run_model(const FrameSpectra& spectra, std::span<const RankedBin> candidates,
                   const ModelSize& size, int frames_ahead, const numeric::FftPlan& plan) {
  ModelRun run;
  run.choice = choose_bins(candidates, size);
  if (!run.choice.fits) return run;
  const ModelInputs inputs = model_inputs(spectra, size.frames, run.choice.kept, plan);
  run.fit = fit_model(inputs, size.kind, run.choice.lags);
  if (run.fit) run.forecast = forecast_model(inputs, *run.fit, frames_ahead, plan);
  return run;
}

}  // namespace tramel::forecast
