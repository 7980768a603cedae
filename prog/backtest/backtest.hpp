// Rolling-origin evaluation of the forecasts of one series, and the choice of model it makes.
//
// At each origin (a frame boundary within the last frames of the sample) the frames before it
// are analysed as a run analyses a sample: the coherence of every band bin, the significant
// bins, the specified forecast with its size check, and the models `changes` and `levels`
// with their size rule; each forecasts `frames_ahead` frames, and the frames that follow the
// origin score them. Seasonal naive (the last frame before the origin, repeated) is scored
// beside them.
//
// The origins are nested samples: the models' and the specified VAR's sums grow from one origin
// to the next instead of being formed again (forecast::run_nested, forecast::GrowingVar), and
// the drift variants of `changes` are forecast from the same fits.
//
// The series is transformed once: the frames' transforms serve every origin. The mean
// waveform's transform at an origin is the mean of the transforms of the frames before it, a
// residual frame's transform is its frame's less that mean, and the taper, being linear, is
// applied to the frames before they are transformed. A run on the shortened sample computes
// the same quantities in another order and partly in single precision, so the numbers at an
// origin may differ from it in the last digits (and a bin whose probability sits right at the
// threshold may fall on the other side); the tests check that they agree closely.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "coherence/coherence.hpp"
#include "forecast/forecast.hpp"
#include "numeric/numeric.hpp"
#include "parallel/parallel.hpp"
#include "rules/rules.hpp"
#include "smoothing/smoothing.hpp"

namespace tramel::backtest {

// What a run analyses a series with.
struct Settings {
  coherence::Band band;
  float threshold = 0.0f;  // a bin is significant when its probability is above it
  std::optional<float> fdr_level;  // else: the bins a false discovery rate Q selects
  int lags = 1;
  int frames_ahead = 1;
  forecast::StandardErrors errors = forecast::StandardErrors::Traditional;  // the specified fit's
  std::vector<float> levels;  // interval levels in percent, e.g. 80 and 95
};

// The whole frames of a series and their transforms, untapered and (when the run tapers) tapered.
struct SeriesFrames {
  int frame_length = 0;
  int frames = 0;
  smoothing::SharedValues samples;  // the whole frames' samples, shared with smooth's series

  std::span<const float> values() const { return samples ? std::span<const float>(*samples) : std::span<const float>(); }
  forecast::FrameSpectra raw;
  // The tapered frames' transforms, for the coherence at the origins, in single precision (the
  // coherence's own precision, and half the memory); empty when the run does not taper: `raw`
  // serves.
  forecast::SingleFrameSpectra tapered;
  float taper_power = 1.0f;
  bool is_tapered = false;
};
SeriesFrames transform_series(std::span<const float> values, const Settings& settings,
                              const numeric::FftPlan& plan, parallel::Threads threads = {});

// Why the specified forecast is missing at an origin: the run would stop there.
enum class SpecifiedStop : std::uint8_t { None, NoSignificantBins, VarTooLarge, NotPositiveDefinite };

// The significant bins as the models' size rule ranks them: by the tapered mean waveform's power
// over the noise spectrum at the bin (the coherence statistic, which the probability, rounded to
// single precision, no longer tells apart near 1).
std::vector<forecast::RankedBin> rank_bins(std::span<const coherence::SignificantBin> significant,
                                           std::span<const float> waveform_power,
                                           std::span<const float> noise, int first_bin);

// The analysis of the frames before one origin.
struct OriginAnalysis {
  int origin = 0;                    // the number of frames before it
  std::vector<float> probabilities;  // per band bin
  std::vector<coherence::SignificantBin> significant;
  std::vector<forecast::RankedBin> ranked;  // the significant bins by power over noise
  std::vector<float> as_specified;          // its forecast frames; empty when it stops
  SpecifiedStop specified_stop = SpecifiedStop::None;
  forecast::ModelRun changes;
  forecast::ModelRun levels;
};
// `changes` forecasts with `drift`. coherence_at_origin: the coherence, the significant and the
// ranked bins alone (no forecast).
OriginAnalysis coherence_at_origin(const SeriesFrames& series, int origin, const Settings& settings);
OriginAnalysis analyse_origin(const SeriesFrames& series, int origin, const Settings& settings,
                              const numeric::FftPlan& plan, const forecast::Drift& drift = {});
// analyse_origin at each of `origins` (increasing), the models' fits growing from one origin to
// the next (forecast::run_nested): the same analyses, to rounding; `changes` forecasts with
// `drift.chosen` and, when they are given, with each of `drift.variants`. With more than one
// origin the models' fits go once their forecasts are made (a backtest keeps the forecasts,
// and ten fits of a large model would hold tens of megabytes). The coherence at the
// origins and the two models are shared out over the threads; every number is computed as on
// one.
std::vector<OriginAnalysis> analyse_origins(const SeriesFrames& series, std::span<const int> origins,
                                            const Settings& settings, const numeric::FftPlan& plan,
                                            const forecast::DriftRequest& drift, parallel::Threads threads = {});

// ---- Scores ----------------------------------------------------------------------------------

// What a backtest scores: the specified forecast, the VAR models, seasonal naive, and the model
// smooth on the data's scale and on their logarithms, with a cycle of seven day waveforms, and
// in frames of a week (seven of the run's frames of a day).
enum class Method : std::uint8_t {
  AsSpecified, Changes, Levels, SeasonalNaive, Smooth, SmoothLog, SmoothWeekdays, SmoothWeeks,
};
inline constexpr int kMethods = 8;

// "as-specified", "changes", "levels", "seasonal naive", "smooth", "smooth (log)", "smooth by
// weekday", "smooth in weeks".
std::string_view method_name(Method method);
// The frames a method needs before an origin: 2 for smooth, the run's minimum for the others.
int minimum_frames(Method method);

// A forecast of frames_ahead frames and the spread of its error: the values on the data's
// scale; the centre and the standard deviation on the method's scale (the logarithms' for a
// log model, whose bounds are the exponentials of the centre's), or no standard deviation for a
// method without a spread of its own (as-specified).
struct MethodForecast {
  std::vector<float> values;
  std::vector<double> centre;
  std::vector<double> std_dev;
  bool log_scale = false;
};
// A forecast of the VAR models, of smooth, of seasonal naive as such; of frames alone, with no
// spread (the as-specified forecast).
MethodForecast method_forecast(const forecast::ModelForecast& forecast);
MethodForecast method_forecast(const std::vector<float>& frames);
MethodForecast method_forecast(const smoothing::Forecast& forecast);
// The last frame before an origin repeated, with the spread of a random walk of frames: the
// root mean square of the in-sample changes from frame to frame times sqrt(h) at h frames.
MethodForecast seasonal_naive(std::span<const float> values, int frame_length, int frames_ahead);

// The smooth models a backtest scores beside the others, each fitted to the whole sample: the
// model at an origin is its filters' state there, from one pass with the model's weights
// (frames of a week: a pass per origin, whose weeks are counted back from it).
struct SmoothFit {
  Method method = Method::Smooth;
  smoothing::Series series;  // in the run's frames
  int frames_per_model_frame = 1;  // 7 for frames of a week
  smoothing::Model model;
};
// The fit's forecasts of frames_ahead frames of the run from the frame boundaries `origins`
// (increasing, each 2 or more model frames in); from the end of the sample at an origin of
// every frame.
std::vector<MethodForecast> smooth_forecasts(const SmoothFit& fit, std::span<const int> origins,
                                             int frames_ahead);

// The scores of one method at one step ahead, over the origins whose forecast reached a frame
// of the sample. MASE: per origin the mean absolute error of the forecast frame over the
// in-sample mean absolute error of seasonal naive (lag one frame) before that origin, averaged
// over the origins; 1.0 is as good as seasonal naive. RMSE over all the samples forecast.
// Coverage: per interval level, the share of the samples inside the interval (methods with a
// spread of their own).
struct StepScores {
  int forecasts = 0;  // origins that gave a forecast at this step
  int missed = 0;     // origins at which the method gave none (the run would have stopped)
  double mase = 0.0;  // not a number when forecasts is 0
  double rmse = 0.0;
  std::vector<double> coverage;
};

// The drift of `changes` as its own backtest chooses it: the scores of every variant
// (forecast::drift_variants(), in that order) at the backtest's origins among the last
// default_origins, `changes` fitted there as at every origin, and the one of
// lowest mean MASE over the steps, the first of them on a tie, the sample's mean change (variant
// 0) when none scored.
struct DriftScores {
  forecast::Drift drift;
  std::vector<StepScores> steps;
};
struct DriftChoice {
  forecast::Drift drift;
  int chosen = 0;   // its index among the variants
  int origins = 0;  // the origins the variants were scored at
  std::vector<DriftScores> variants;
};

struct SeriesBacktest {
  int first_origin = 0;  // frames before the first origin
  int origins = 0;
  int frames_ahead = 0;
  std::vector<float> levels;
  std::array<bool, kMethods> scored{};                  // the methods that took part
  std::array<std::vector<StepScores>, kMethods> steps;  // per method, steps 1 .. frames_ahead
  // Per method and origin, its forecast, or nothing where it gave none or the origin has fewer
  // frames before it than it needs.
  std::array<std::vector<std::optional<MethodForecast>>, kMethods> forecasts;
  // What forecasts are scored against: the frames from the first origin on, and per origin
  // the in-sample mean absolute error of seasonal naive before it.
  int frame_length = 0;
  std::vector<float> actual;
  std::vector<double> scales;
  // The drift `changes` forecasts with at the origins and in the run.
  DriftChoice drift;

  const std::vector<StepScores>& of(Method m) const { return steps[static_cast<std::size_t>(m)]; }
  const std::optional<MethodForecast>& at(Method m, int origin_index) const {
    return forecasts[static_cast<std::size_t>(m)][static_cast<std::size_t>(origin_index)];
  }
};

// The last `origins` frame boundaries of the sample (at most frames - kMinimumFrames of them,
// or frames - 2 with smooth fits: an origin has at least that many frames before it). The VAR
// methods are scored at the origins they can forecast from when `var_methods`, smooth at every
// origin with each of `smooth`. The origins are shared out over the threads; every number is
// computed as on one thread.
inline constexpr int kMinimumFrames = rules::kBacktestMinimumFrames;
struct BacktestRequest {
  const SeriesFrames& series;
  int origins = 0;
  const Settings& settings;
  const numeric::FftPlan& plan;
  std::span<const SmoothFit> smooth = {};
  bool var_methods = true;
  // `changes` with the drift its variants choose (auto), else with the sample's mean change.
  bool choose_drift = false;
};
SeriesBacktest run_backtest(const BacktestRequest& request, parallel::Threads threads = {});
SeriesBacktest run_backtest(const SeriesFrames& series, int origins, const Settings& settings,
                            const numeric::FftPlan& plan, parallel::Threads threads = {});

// The origins used when none are asked for (the choice of `auto`): half the frames, at most 10;
// with smooth in it, every frame boundary with 2 frames before it, at most 10.
int default_origins(int frames);
int default_origins_with_smooth(int frames);

// The mean over the steps of a method's MASE (steps without a forecast left out); not a
// number when no step has one.
double mean_mase(const std::vector<StepScores>& steps);

// `auto`: the model of lower mean MASE (`changes` with its chosen drift), `changes` on a tie or
// when neither scored.
forecast::ModelKind choose_model(const SeriesBacktest& backtest);

// `auto` for a series from its values: the backtest over default_origins, then the choice.
forecast::ModelKind choose_model(std::span<const float> values, const Settings& settings,
                                 const numeric::FftPlan& plan, parallel::Threads threads = {});

// ---- The choice of auto ------------------------------------------------------------------------

// The candidates are compared over the origins that every one of them forecast from: a
// candidate takes part when it gave a forecast at every origin with the frames it needs before
// it, and at half the origins or more. Their mean MASE over those origins (and every step)
// ranks them; the best two and the best three are combined with weights in proportion to the
// inverse of their mean squared errors there (the weights that minimise the combination's
// error variance when the methods' errors are independent, and that favour the closer
// forecasts in the data's own units), and a combination is taken when its MASE there is lower
// than the best method's (with `combinations`; without, the best method is the choice). A
// combination takes one form of smooth at most: its forms are one model.
struct Choice {
  std::vector<Method> methods;  // one, or those combined, best first
  std::vector<double> weights;  // summing to 1
  double mase = 0.0;            // of the choice, over the common origins
  int first_origin = 0;         // the common origins: from this one to the last
  int origins = 0;
  std::array<double, kMethods> ranked{};  // each candidate's MASE there; not a number for others
};
Choice choose(const SeriesBacktest& backtest, std::span<const Method> candidates, bool combinations);

// The forecast of a choice from its methods' forecasts (in the choice's order): a method's, or
// the weighted mean of the values, with the weighted mean of the standard deviations on the
// data's scale (those of the members that have one) as its spread.
MethodForecast combine(const Choice& choice, std::span<const MethodForecast> forecasts);

// ---- Intervals from the backtest's errors ------------------------------------------------------

// Per step and level the factor that takes the normal quantile z to the empirical quantile of
// |error| / std_dev of a forecast's errors over the backtest's origins (on its scale): the
// bounds become centre -/+ factor z std_dev. A step scored at fewer than kCalibrationOrigins
// origins keeps factor 1. For a forecast without a spread of its own, the factor is the
// empirical quantile of |error| itself (in the data's units) and the bounds value -/+ factor.
inline constexpr int kCalibrationOrigins = 8;
struct Calibration {
  std::vector<int> origins;                  // per step, the origins scored
  std::vector<std::vector<double>> factors;  // per step, per level
  bool calibrated() const;                   // some step has kCalibrationOrigins origins
};
// The forecasts of the choice at the backtest's origins, and the calibration from them.
std::vector<std::optional<MethodForecast>> choice_forecasts(const SeriesBacktest& backtest,
                                                           const Choice& choice);
Calibration calibrate(const SeriesBacktest& backtest,
                      std::span<const std::optional<MethodForecast>> forecasts);

// The intervals of a forecast at `levels` percent, calibrated when the calibration says so.
std::vector<forecast::ForecastInterval> intervals(const MethodForecast& forecast,
                                                  std::span<const float> levels,
                                                  const Calibration* calibration = nullptr);

}  // namespace tramel::backtest
