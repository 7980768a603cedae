// The forecast: the fitted VAR run forward from the last observed frames, and the forecast
// spectra turned back into frames of samples.
#include <cmath>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

std::vector<float> forecast_coefficients(const FrameCoefficients& data, const VarFit& fit,
                                         int frames_ahead) {
  const auto variables = static_cast<std::size_t>(fit.variables);
  const auto regressors = static_cast<std::size_t>(fit.regressors());
  const int frames = data.frames;

  // The state: the last `lags` frames, most recent first; with more lags than frames the
  // frames before the first are zero.
  std::vector<float> state(regressors);
  for (int l = 1; l <= fit.lags; ++l) {
    const int t = frames - l;
    for (std::size_t j = 0; j < variables; ++j)
      state[(l - 1) * variables + j] = t >= 0 ? data.at(t, static_cast<int>(j)) : 0.0f;
  }

  std::vector<float> forecast(variables * static_cast<std::size_t>(frames_ahead));
  for (int q = 0; q < frames_ahead; ++q) {
    float* frame = forecast.data() + static_cast<std::size_t>(q) * variables;
    for (std::size_t i = 0; i < variables; ++i) {
      long double sum = 0;
      for (std::size_t u = 0; u < regressors; ++u) {
        const std::size_t g = i * regressors + u;
        // The t rule: a coefficient whose t value is below 1 in magnitude does not enter the
        // forecast. A quotient that is not a number keeps the coefficient.
        const double b = std::fabs(fit.t_value(g)) < 1.0f ? 0.0 : fit.coefficients[g];
        sum += static_cast<long double>(b) * state[u];
      }
      frame[i] = static_cast<float>(sum);
    }
    // Shift by one frame; the forecast becomes the newest frame.
    for (std::size_t u = regressors; u-- > variables;) state[u] = state[u - variables];
    for (std::size_t i = 0; i < variables; ++i) state[i] = frame[i];
  }
  return forecast;
}

std::vector<float> synthesize_frames(std::span<const float> forecast,
                                     const WaveformSpectrum& waveform,
                                     const numeric::FftPlan& plan) {
  const int length = plan.length();
  const auto n = static_cast<std::size_t>(length);
  const std::size_t values_per_frame = 2 * waveform.bins.size();
  const std::size_t frames_ahead = values_per_frame == 0 ? 0 : forecast.size() / values_per_frame;
  const std::span<const Complex> mean = waveform.transform;
  std::vector<float> frames(frames_ahead * n);
  std::vector<Complex> spectrum(n), scratch(n);
  for (std::size_t q = 0; q < frames_ahead; ++q) {
    const float* coefficients = forecast.data() + q * values_per_frame;
    for (Complex& c : spectrum) c = Complex(0.0, 0.0);
    spectrum[0] = mean[0];
    for (std::size_t k = 0; k < waveform.bins.size(); ++k) {
      const auto b = static_cast<std::size_t>(waveform.bins[k]);
      const double re = static_cast<double>(coefficients[2 * k]) + mean[b].real();
      const double im = static_cast<double>(coefficients[2 * k + 1]) + mean[b].imag();
      // The conjugate at bin b and the value at its mirror: the forward transform of this
      // spectrum is lb times the inverse transform of the forecast spectrum, a real frame.
      // At lb/2 the two are one entry, which keeps (re, im).
      spectrum[b] = Complex(re, -im);
      spectrum[n - b] = Complex(re, im);
    }
    plan.forward(spectrum, scratch);

    float* y = frames.data() + q * n;
    const double reciprocal = 1.0 / length;
    long double sum = 0, sum_of_squares = 0;
    for (std::size_t j = 0; j < n; ++j) {
      y[j] = static_cast<float>(reciprocal * spectrum[j].real());
      sum += y[j];
      sum_of_squares += static_cast<long double>(y[j]) * y[j];
    }
    const long double mean_value = sum / length;
    const auto spread = static_cast<float>(
        std::sqrt((sum_of_squares - mean_value * (mean_value * length)) / (length - 1)));
    // Scaled about zero (the mean stays). A frame without spread (a variance that is zero or
    // rounds below it) has nothing to scale and is kept as it is.
    if (!(spread > 0.0f)) continue;
    const float scale = waveform.std_dev / spread;
    for (std::size_t j = 0; j < n; ++j) y[j] = scale * y[j];
  }
  return frames;
}

}  // namespace tramel::forecast
