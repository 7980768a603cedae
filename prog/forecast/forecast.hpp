// VAR forecasting of one series: the Fourier coefficients of its significant bins, frame
// after frame, treated as a multivariate series; a vector autoregression (VAR) across frames
// fitted to them by least squares; the fitted model run forward and turned back into forecast
// frames of samples; and the eigenvalues of the fitted system.
//
// Sizes: m significant bins give `variables` = 2m (the real and imaginary part of each bin's
// coefficient, in bin order), `lags` p, `regressors` = variables * lags per equation and
// variables * regressors coefficients. Regressor u (0-based) is variable u % variables at
// lag u / variables + 1.
#pragma once

#include <complex>
#include <optional>
#include <span>
#include <vector>

#include "numeric/numeric.hpp"
#include "parallel/parallel.hpp"

namespace tramel::forecast {

using Complex = std::complex<double>;

// ---- Frame coefficients ----------------------------------------------------------------------

// The VAR's data: frames x variables values, column-major (variable after variable).
struct FrameCoefficients {
  int frames = 0;
  int variables = 0;
  std::vector<float> values;

  float at(int frame, int variable) const {
    return values[static_cast<std::size_t>(variable) * frames + frame];
  }
};

// The real and imaginary parts of the coefficients at `bins` of every whole frame of the
// residual series (no taper, no mean removal), each rounded to single precision. A bin at
// frame_length / 2 has an imaginary part of exactly zero.
FrameCoefficients frame_coefficients(std::span<const float> residual, std::span<const int> bins,
                                     const numeric::FftPlan& plan, parallel::Threads threads = {});

// ---- The fit ---------------------------------------------------------------------------------

// How the standard errors are scaled. Traditional: from the inverse of the normal matrix as it
// is built, divided by the number of frames, with the residual variance over frames - regressors;
// these errors are sqrt(frames) times the least-squares ones, so few t values reach 1.
// LeastSquares: the ordinary least-squares errors, the residual variance over the residual
// degrees of freedom (frames - lags - regressors) and the inverse of the unscaled matrix.
enum class StandardErrors { Traditional, LeastSquares };

struct VarFit {
  int variables = 0;
  int lags = 0;
  std::vector<double> coefficients;  // b(i, u) at i * regressors() + u
  std::vector<float> std_errors;     // same indexing
  float r_square = 0.0f;
  // The divisor of the residual variance: frames - lags - regressors with least-squares
  // errors, frames - regressors with traditional ones. At zero or below the standard errors
  // (and so the t values and the t rule of the forecast) mean nothing: they are infinite or
  // not a number (unless every residual is zero), while the coefficients are fitted all the
  // same.
  int residual_degrees_of_freedom = 0;

  int regressors() const { return variables * lags; }
  std::size_t index(int equation, int regressor) const {
    return static_cast<std::size_t>(equation) * static_cast<std::size_t>(regressors()) +
           static_cast<std::size_t>(regressor);
  }
  // The t value as the report prints it and the forecast tests it: the coefficient rounded to
  // single precision over its standard error.
  float t_value(std::size_t g) const { return static_cast<float>(coefficients[g]) / std_errors[g]; }
  bool standard_errors_defined() const { return residual_degrees_of_freedom > 0; }
};

// Fits the VAR of order `lags` by least squares in Yule-Walker form: the normal equations come
// from the lagged cross-products of the frame coefficients over all frame pairs that exist,
// divided by the number of frames. Nothing when the normal matrix is not positive definite;
// a fit with too few frames for its regressors says so in residual_degrees_of_freedom.
// With several threads the cross-products and the residuals of the equations are shared out;
// each sum is formed in its one order all the same.
std::optional<VarFit> fit_var(const FrameCoefficients& data, int lags, StandardErrors errors,
                              parallel::Threads threads = {});

// ---- The forecast ----------------------------------------------------------------------------

// The fitted VAR run `frames_ahead` frames forward from the last `lags` frames, the forecasts
// feeding back as if observed. A coefficient whose t value is below 1 in magnitude is left out.
// Returns variables x frames_ahead values, column-major (frame after frame).
std::vector<float> forecast_coefficients(const FrameCoefficients& data, const VarFit& fit,
                                         int frames_ahead);

// What the forecast frames are built from besides the forecast coefficients: the mean
// waveform's transform (all bins) and standard deviation, and the significant bins.
struct WaveformSpectrum {
  std::span<const Complex> transform;
  float std_dev = 0.0f;
  std::span<const int> bins;
};

// The forecast frames, frame after frame (frames_ahead * frame_length samples): bin 0 of the
// mean waveform plus, at each significant bin, the mean waveform's coefficient and the forecast,
// transformed back to samples and scaled about zero to the mean waveform's standard deviation.
std::vector<float> synthesize_frames(std::span<const float> forecast, const WaveformSpectrum& waveform,
                                     const numeric::FftPlan& plan);

// ---- The eigenvalues of the fitted system -----------------------------------------------------

struct Eigenvalue {
  float real = 0.0f;
  float imag = 0.0f;
  float magnitude = 0.0f;
  float period = 0.0f;  // in frames: 2 pi / angle, 0 for a real eigenvalue
};

struct Eigenvalues {
  std::vector<Eigenvalue> values;  // in the order the solver isolates them
  bool converged = true;           // false: the solver gave up; values it did not reach are 0
};

// The eigenvalues of the companion matrix of the fitted VAR, built from the coefficients
// rounded to single precision.
Eigenvalues companion_eigenvalues(const VarFit& fit);

}  // namespace tramel::forecast
