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
#include <cstdint>
#include <optional>
#include <span>
#include <string>
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
  // The t value as the report prints it and the forecast tests it: the coefficient rounded to
  // single precision over its standard error. Out of line, so that it is computed as the
  // library is compiled, whatever the compile options of a program that includes this header.
  float t_value(std::size_t g) const;
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

// ---- Models that follow the level: `levels` and `changes` -------------------------------------
//
// The specified forecast above works on the residual frames and never forecasts the frame's
// level. The two models below carry bin 0 (the frame's level) besides the modelled bins, take
// their data from the raw, untapered frames, are fitted by ordinary least squares in double
// precision and are not rescaled:
//  - `levels`: a VAR(p) with a constant on the variables, written in mean-adjusted form
//    (y_t - mu = sum_l A_l (y_{t-l} - mu) + u_t), so that a coefficient the t rule drops pulls
//    the forecast towards the sample mean rather than towards zero;
//  - `changes`: a VAR(p) on the frame-to-frame changes of the variables, demeaned (the mean
//    change is the drift); the forecast changes are added up from the last observed frame.
// The t rule: a coefficient enters the forecast when its least-squares t value is at least
// kTermT in magnitude, as in the specified forecast; a cross term of the level's equation (bin
// 0's regressors other than its own lags) must pass the stricter kLevelCrossTermT, else the
// level follows its own lags. Their numbers are deterministic and the same for every thread
// count; they are not meant to match the specified path's single-precision arithmetic.

enum class ModelKind : std::uint8_t { Levels, Changes };

inline constexpr double kTermT = 1.0;
// A cross term of the level's equation is one of many coefficients fitted to a few dozen frames;
// with |t| just above 1 such terms move the forecast level by several times its real change (a
// generated series rich in coherent bins: tests/forecast). |t| > 2 is the usual two-sided 5 %
// test of one coefficient.
inline constexpr double kLevelCrossTermT = 2.0;

// The transforms of every whole frame of a series at bins 0 .. frame_length / 2 (the other bins
// are their conjugates), unnormalised as numeric::FftPlan makes them. With taper weights each
// sample is first multiplied by its weight in single precision. Kept in double, or rounded to
// single precision where half the memory matters more than the last digits (SingleFrameSpectra).
template <class Real>
struct BasicFrameSpectra {
  int frame_length = 0;
  int frames = 0;
  std::vector<std::complex<Real>> values;  // frame f, bin k at f * half_bins() + k

  int half_bins() const { return frame_length / 2 + 1; }
  Complex at(int frame, int bin) const {
    return Complex(values[static_cast<std::size_t>(frame) * static_cast<std::size_t>(half_bins()) +
                          static_cast<std::size_t>(bin)]);
  }
};
using FrameSpectra = BasicFrameSpectra<double>;
using SingleFrameSpectra = BasicFrameSpectra<float>;
FrameSpectra frame_spectra(std::span<const float> series, const numeric::FftPlan& plan,
                           const float* weights = nullptr, parallel::Threads threads = {});
SingleFrameSpectra single_frame_spectra(std::span<const float> series, const numeric::FftPlan& plan,
                                        const float* weights = nullptr, parallel::Threads threads = {});

// The residual frames' coefficients of the first `frames` frames at `bins`: each frame's
// transform less the mean transform of those frames, real and imaginary part (the imaginary part
// of a bin at frame_length / 2 zero), rounded to single precision: the specified VAR's data.
FrameCoefficients residual_coefficients(const FrameSpectra& raw, int frames, std::span<const int> bins);

// The specified VAR (fit_var, above) on a sample that grows from call to call (the frames before
// a backtest's origins): the residual frames' coefficients at `bins` (each frame's transform
// less the mean transform of the frames so far, real and imaginary part, the imaginary part of
// a bin at frame_length / 2 zero) and the fit on them. The cross-products are running sums of
// the frames about the mean of the first frames asked for, centred at each call; the residual
// sums of squares are quadratic forms of the lagged frames' cross-products in the coefficients.
// fit_var rounds every coefficient and squared residual to single precision before it sums;
// these sums do not, so the fit agrees with fit_var on the same frames to single-precision
// rounding, not bit for bit.
class GrowingVar {
 public:
  GrowingVar(const FrameSpectra& raw, std::span<const int> bins, int lags);
  struct At {
    FrameCoefficients data;  // as the forecast starts from them, rounded to single precision
    std::optional<VarFit> fit;
  };
  // At least the frames of the last call, at most the spectra's. The fit of some of the bins
  // alone (increasing) when `bins` is not empty: the sums of a set of bins hold those of every
  // subset (a backtest whose origins find different bins significant sums their union once).
  At at(int frames, StandardErrors errors, std::span<const int> bins = {});

 private:
  const FrameSpectra& raw_;
  std::vector<int> bins_;
  int variables_ = 0;
  int lags_ = 0;
  int added_ = 0;
  std::vector<double> reference_;  // per variable
  std::vector<double> totals_;     // per variable, of its values about the reference
  std::vector<double> first_;      // the first `lags` frames' values about it, frame after frame
  std::vector<double> row_;        // the last lags + 1 frames' values, most recent first
  std::vector<double> lagged_;     // (i, l, j): sum of y_i(t + l) y_j(t), as fit_var's cross sums
};

// The real frame of samples whose transform has bins 0 .. frame_length / 2 as given (the other
// bins their conjugates; the imaginary parts of bin 0 and of frame_length / 2 play no part).
std::vector<double> frame_from_spectrum(std::span<const Complex> half, const numeric::FftPlan& plan);

// A bin that may be modelled, with how strongly it repeats from frame to frame (any measure
// that increases with the coherence: the run uses the tapered mean waveform's power over the
// noise spectrum). Ties go to the lower bin.
struct RankedBin {
  int bin = 0;
  double strength = 0.0;
};

// The size rule of the new models. A model with v variables and p lags has k = v p + 1
// regressors per equation (the lags and the mean) and n observations (frames - p for levels,
// frames - 1 - p for changes); it keeps n - k residual degrees of freedom per equation. Fitting
// adds about k / n of the noise variance to the error of a one-frame forecast (the estimated
// coefficients are themselves uncertain; the intervals carry it, see
// estimation_error_covariance); requiring
//     n - k >= kDegreesPerRegressor * k
// keeps that share at or below 1 / (kDegreesPerRegressor + 1) = 1/3 (1 degree per regressor
// fits models that forecast worse on the study's series, 3 forecasts no better;
// bench/README-models.md). The rule keeps the most
// strongly coherent bins that fit at the run's lags; when not even bin 0 alone fits, the lags
// are reduced (down to 0: the mean, or the drift, alone). When nothing fits even then, the
// smallest model that leaves one degree of freedom is taken (n - k >= 1), and failing that none.
inline constexpr int kDegreesPerRegressor = 2;

struct ModelSize {
  int frames = 0;  // frames of data the model is fitted to
  int lags = 0;    // the lags asked for
  ModelKind kind = ModelKind::Levels;
  int frame_length = 0;  // a bin at frame_length / 2 carries one variable, any other two
};

struct BinChoice {
  std::vector<int> kept;      // increasing bin order
  std::vector<int> left_out;  // increasing bin order: the candidates that did not fit
  int lags = 0;               // at most the lags asked for
  bool fits = false;          // false: not even bin 0 alone at 0 lags can be fitted
};
BinChoice choose_bins(std::span<const RankedBin> candidates, const ModelSize& size);

// The model's variables (bin 0's real part, then the real and imaginary part of each modelled
// bin; a bin at frame_length / 2 carries its real part only), frame after frame, from the raw
// frames, and what the model does not carry: the untapered mean waveform's transform, and per
// sample position the variance over the frames of the residual frame restricted to the bins
// not modelled.
struct ModelInputs {
  int frame_length = 0;
  int frames = 0;
  int variables = 0;
  std::vector<int> bins;                    // the modelled bins, increasing, bin 0 not among them
  std::vector<double> values;               // frames x variables, column-major
  std::vector<Complex> mean_spectrum;       // bins 0 .. frame_length / 2
  std::vector<double> unmodelled_variance;  // frame_length values

  double at(int frame, int variable) const {
    return values[static_cast<std::size_t>(variable) * static_cast<std::size_t>(frames) +
                  static_cast<std::size_t>(frame)];
  }
};

// From the first `frames` frames of the spectra (the frames before a backtest origin, or all).
ModelInputs model_inputs(const FrameSpectra& spectra, int frames, std::span<const int> bins,
                         const numeric::FftPlan& plan);

// The inputs at the first frames of the spectra for a number of frames that grows from call to
// call (the nested samples before a backtest's origins): the mean spectrum and the squares of
// the unmodelled residual frames are running sums, extended by the frames added since the last
// call. The sums of squares are taken about the unmodelled mean waveform of the first frames
// asked for, which keeps them from cancelling. model_inputs is one such call.
class GrowingInputs {
 public:
  GrowingInputs(const FrameSpectra& spectra, std::span<const int> bins, const numeric::FftPlan& plan);
  // At least the frames of the last call, at most the spectra's.
  ModelInputs at(int frames);

 private:
  const FrameSpectra& spectra_;
  const numeric::FftPlan& plan_;
  std::vector<int> bins_;
  std::vector<bool> modelled_;  // per bin 0 .. frame_length / 2
  int added_ = 0;               // frames in the sums
  std::vector<Complex> spectrum_sum_;
  std::vector<Complex> reference_;            // per bin: the unmodelled bins' mean, else 0
  std::vector<double> sums_, squares_;        // per position, of the unmodelled residual frames
};

// From the series values: its whole frames transformed, then as above.
ModelInputs model_inputs(std::span<const float> series, std::span<const int> bins,
                         const numeric::FftPlan& plan, parallel::Threads threads = {});

// A fitted model. Coefficient (i, u) is at i * regressors() + u, regressor u being variable
// u % variables at lag u / variables + 1, as in VarFit.
struct ModelFit {
  ModelKind kind = ModelKind::Levels;
  int variables = 0;
  int lags = 0;
  int observations = 0;        // the equations' rows
  int degrees_of_freedom = 0;  // observations - regressors - 1 (the mean)
  // Levels: the variables' means; changes: their mean changes (the drift), over the
  // `sample_length` values of the fitted series (the frames, or the changes).
  std::vector<double> mean;
  int sample_length = 0;
  std::vector<double> coefficients;  // as fitted
  std::vector<double> std_errors;    // least-squares standard errors
  std::vector<double> effective;     // after the t rule: what the forecast uses
  // variables x variables, column-major: the residuals of the model as it forecasts (the t
  // rule applied) over the degrees of freedom of the fit (observations - regressors - 1).
  std::vector<double> residual_covariance;
  // regressors x regressors, column-major: the inverse of the lagged variables' cross-product
  // matrix about their means, which the standard errors and the estimation error come from.
  std::vector<double> regressor_inverse;
  // 1 - the residual sum of squares of the fit as fitted, over all equations, / the sum of
  // squares of the regressands about their means.
  double r_square = 0.0;

  int regressors() const { return variables * lags; }
};

// The least-squares fit; nothing when the frames leave no degree of freedom or the lagged
// variables are linearly dependent (their cross-product matrix is not positive definite).
std::optional<ModelFit> fit_model(const ModelInputs& inputs, ModelKind kind, int lags);

// A model's variables read from the spectra as they are asked for, with no copy of them: bin
// 0's real part, then each bin's real and imaginary parts (the real part alone at
// frame_length / 2).
class SpectraVariables {
 public:
  SpectraVariables(const FrameSpectra& spectra, std::vector<int> bins);
  const std::vector<int>& bins() const { return bins_; }
  int variables() const { return static_cast<int>(bin_.size()); }
  // The indices of the variables of `subset` (increasing, among bins()): bin 0's, then theirs.
  std::vector<int> indices_of(std::span<const int> subset) const;
  double at(int frame, int variable) const {
    const Complex c = spectra_.at(frame, bin_[static_cast<std::size_t>(variable)]);
    return imaginary_[static_cast<std::size_t>(variable)] ? c.imag() : c.real();
  }

 private:
  const FrameSpectra& spectra_;
  std::vector<int> bins_;
  std::vector<int> bin_;  // per variable
  std::vector<bool> imaginary_;
};
// The sums a model's fit is made from, frame by frame: the fitted series (the variables, or
// their changes from frame to frame) about a reference value per variable, and the
// cross-products of each of its values with its `lags` predecessors. The fit needs the sums
// alone, so a sample that grows by a frame costs that frame's cross-products instead of a refit
// (the origins of a backtest are nested samples). The reference is best near the series' mean
// (fitted_mean of the first frames): the sums are then taken about it without cancelling.
// fit_model is the fit from the sums of every frame of its inputs.
class ModelSums {
 public:
  ModelSums(ModelKind kind, int variables, int lags, std::vector<double> reference);
  // The frames of `inputs` from those added so far up to `frames`.
  void add_frames(const ModelInputs& inputs, int frames);
  void add_frames(const SpectraVariables& inputs, int frames);
  int frames() const { return frames_; }
  // The fit on the frames added; as fit_model says. Of the model of some of the variables
  // alone, given as their indices (increasing), when `variables` is not empty: the sums of a
  // set of variables hold those of every subset (a backtest whose origins keep different bins
  // sums their union once).
  std::optional<ModelFit> fit(std::span<const int> variables = {}) const;

 private:
  static constexpr std::size_t kRowsAtOnce = 4;
  bool take(std::span<const double> frame);    // the frame into the row; whether it makes one
  void accumulate(std::span<const double> rows);  // rows one after another, up to kRowsAtOnce
  template <class Inputs>
  void add_from(const Inputs& inputs, int frames);

  ModelKind kind_;
  int variables_ = 0;
  int lags_ = 0;
  int width_ = 0;  // variables * (lags + 1): a row's values, lag 0 first
  std::vector<double> reference_;
  std::vector<double> previous_;  // the last frame's variables (changes)
  int frames_ = 0;
  int length_ = 0;               // values of the fitted series so far
  std::vector<double> row_;      // its last lags + 1 values about the reference, most recent first
  std::vector<double> totals_;   // per variable, of all its values about the reference
  std::vector<double> sums_;     // per row entry, over the rows (from value `lags` on)
  std::vector<double> products_;  // width x width, the upper triangle at u * width + w, w >= u
};
// The mean of the series a model of `kind` is fitted to over the first `frames` frames.
std::vector<double> fitted_mean(const ModelInputs& inputs, ModelKind kind, int frames);
std::vector<double> fitted_mean(const SpectraVariables& variables, ModelKind kind, int frames);
// Merges `bins` (increasing) into the increasing set `all`.
void merge_bins(std::vector<int>& all, std::span<const int> bins);

// How `changes` carries its drift into the forecast. The fit takes out the sample's mean change
// (ModelFit::mean); the forecast adds a drift d_h to the VAR's forecast change at step h:
//  - Sample: d_h = the sample's mean change, the same at every step;
//  - Recent: d_h = the mean change over the last `frames` frames (a drift that has moved), and
//    the observed changes the VAR starts from are taken about it;
//  - Damped: d_h = damping^h times the sample's mean change (a drift that dies away).
// A backtest chooses among drift_variants(). `levels` has no drift and ignores it.
enum class DriftKind : std::uint8_t { Sample, Recent, Damped };
struct Drift {
  DriftKind kind = DriftKind::Sample;
  int frames = 0;        // Recent
  double damping = 1.0;  // Damped

  friend bool operator==(const Drift&, const Drift&) = default;
};
// The fixed variants, in this order: the sample's mean, the last 3 and 5 frames' mean, damped
// by 0.8 and by 0.9 a frame.
std::span<const Drift> drift_variants();
// Its name in the report and tramel.json: "sample mean", "last 3 frames", "damped 0.8".
std::string drift_name(const Drift& drift);

// The h-step forecast-error covariances, h = 1 .. frames_ahead, of the fitted VAR from its
// moving-average weights Psi_0 = I, Psi_h = sum_l A_l Psi_{h-l} (the effective coefficients)
// and the residual covariance S: sum_{i<h} Psi_i S Psi_i'. For `changes`, of the integrated
// forecast: the same with the cumulative sums Psi_0 + ... + Psi_i. Each matrix is variables x
// variables, column-major, one after another. This is the error of the model as if its
// parameters were known; forecast_model adds the error of their estimates (below).
std::vector<double> forecast_error_covariance(const ModelFit& fit, int frames_ahead);

// The part of the forecast error that comes from the estimated parameters, given the state the
// forecast starts from (the centred series' last `lags` values, most recent first, as the
// regressors are ordered):
//  - the lags' coefficients: one frame ahead, equation i's error variance grows from s_ii to
//    s_ii (1 + q_i), q_i = x0' (X'X)^-1 x0, the usual least-squares term, over the regressors
//    the equation keeps (the block of (X'X)^-1 for them: at least the term of a fit of those
//    alone). At h frames the approximation carries that one-frame share to every step: the
//    covariance C_h of forecast_error_covariance becomes D C_h D, D = diag(sqrt(1 + q_i)). The
//    exact first-order term grows with h where the model is persistent, but it stays a small
//    part of the error (the size rule keeps it near or below a third of it at one frame);
//  - the mean (levels) or the drift (changes): the VAR's constant, estimated with covariance
//    S / m from the m values of the fitted series (m = the Recent drift's frames for it), enters
//    step h as a constant does, through w_1 W_{h-1} + ... + w_h W_0 (W the moving-average
//    weights, cumulative for changes; w_s = damping^s for a Damped drift, else 1).
// `scale` is D's diagonal; `constant` the constant's covariance per step, laid out as
// forecast_error_covariance's. The total at step h is D C_h D + constant_h.
struct EstimationError {
  std::vector<double> scale;
  std::vector<double> constant;
};
EstimationError estimation_error_covariance(const ModelFit& fit, std::span<const double> state,
                                            int frames_ahead, const Drift& drift = {});

// The forecast of a model: frames_ahead frames of samples, frame after frame, and the standard
// deviation of the forecast error at every sample (the model's error covariance with the error
// of its estimates, mapped through the inverse transform, plus the spread of the bins it does
// not carry). `changes` carries `drift`.
struct ModelForecast {
  int frame_length = 0;
  std::vector<double> variables;  // frames_ahead x variables, frame after frame
  std::vector<float> frames;
  std::vector<double> std_dev;
  Drift drift_rule;           // changes: how it carried its drift
  std::vector<double> drift;  // changes: the drift per variable before any damping
};
ModelForecast forecast_model(const ModelInputs& inputs, const ModelFit& fit, int frames_ahead,
                             const numeric::FftPlan& plan, const Drift& drift = {});
// The forecasts with each of `drifts`, in their order, computing what they share once.
std::vector<ModelForecast> forecast_models(const ModelInputs& inputs, const ModelFit& fit, int frames_ahead,
                                           const numeric::FftPlan& plan, std::span<const Drift> drifts);

// A central forecast interval at `level` percent: forecast -/+ z std_dev, z the normal
// quantile of (1 + level / 100) / 2; `lower` and `upper` have the shape of the forecast frames.
struct ForecastInterval {
  float level = 0.0f;
  std::vector<float> lower;
  std::vector<float> upper;
};
std::vector<ForecastInterval> forecast_intervals(const ModelForecast& forecast,
                                                 std::span<const float> levels);
// A forecast's centre and its standard deviation per value, on the scale of the fit (the log of
// the data's when `log_scale`).
struct Spread {
  std::span<const double> centre;
  std::span<const double> std_dev;
  bool log_scale = false;
};
// The central intervals of a spread at `levels` percent, taken to the data's scale (so
// asymmetric about the forecast on the log scale).
std::vector<ForecastInterval> central_intervals(const Spread& spread, std::span<const float> levels);
// The standard normal quantile: x with Phi(x) = probability, 0 < probability < 1.
double normal_quantile(double probability);

// Everything a model does for one series, in order: the size rule on the ranked bins, the
// inputs from the spectra's first `size.frames` frames, the fit, the forecast (`changes` with
// `drift.chosen`), and when `drift.variants` are given the forecasts with each of them, in their
// order (what a backtest scores). `fit` and `forecast` are empty when the rule finds nothing
// that fits or the fit fails.
struct DriftRequest {
  Drift chosen;
  std::span<const Drift> variants;
};
struct ModelRun {
  BinChoice choice;
  std::optional<ModelFit> fit;
  std::optional<ModelForecast> forecast;
  std::vector<ModelForecast> variants;
};
ModelRun run_model(const FrameSpectra& spectra, std::span<const RankedBin> candidates,
                   const ModelSize& size, int frames_ahead, const numeric::FftPlan& plan,
                   const DriftRequest& drift = {});

// run_model on the first frames[i] frames of the spectra for increasing frames[i] (the origins
// of a backtest), with candidates[i], or candidates[0] for every one when only one is given.
// While the size rule keeps the same bins and lags from one entry to the next, the inputs and
// the fit's sums grow by the frames between them (GrowingInputs, ModelSums); where it changes
// them they start again. The runs are those of run_model on each, to rounding.
struct NestedRuns {
  std::span<const int> frames;
  std::span<const std::vector<RankedBin>> candidates;
  ModelKind kind = ModelKind::Levels;
  int lags = 0;
  int frames_ahead = 1;
  DriftRequest drift;
  bool keep_fits = true;  // false: each fit goes once its forecasts are made (a backtest's)
};
std::vector<ModelRun> run_nested(const FrameSpectra& spectra, const NestedRuns& request,
                                 const numeric::FftPlan& plan);

}  // namespace tramel::forecast
