// Rolling-origin evaluation of the forecasts of one series, and the choice of model it makes.
//
// At each origin (a frame boundary within the last frames of the sample) the frames before it
// are analysed as a run analyses a sample: the coherence of every band bin, the significant
// bins, the specified forecast with its size check, and the models `changes` and `levels`
// with their size rule; each forecasts `frames_ahead` frames, and the frames that follow the
// origin score them. Seasonal naive (the last frame before the origin, repeated) is scored
// beside them.
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
#include <vector>

#include "coherence/coherence.hpp"
#include "forecast/forecast.hpp"
#include "numeric/numeric.hpp"
#include "parallel/parallel.hpp"
#include "rules/rules.hpp"

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
  std::vector<float> values;  // the whole frames' samples
  forecast::FrameSpectra raw;
  forecast::FrameSpectra tapered;  // empty when the run does not taper: `raw` serves
  float taper_power = 1.0f;
  bool is_tapered = false;

  const forecast::FrameSpectra& for_coherence() const { return is_tapered ? tapered : raw; }
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

// ---- Scores ----------------------------------------------------------------------------------

enum class Method : std::uint8_t { AsSpecified, Changes, Levels, SeasonalNaive };
inline constexpr int kMethods = 4;

// The scores of one method at one step ahead, over the origins whose forecast reached a frame
// of the sample. MASE: per origin the mean absolute error of the forecast frame over the
// in-sample mean absolute error of seasonal naive (lag one frame) before that origin, averaged
// over the origins; 1.0 is as good as seasonal naive. RMSE over all the samples forecast.
// Coverage: per interval level, the share of the samples inside the interval (methods with
// intervals only: `changes` and `levels`).
struct StepScores {
  int forecasts = 0;  // origins that gave a forecast at this step
  int missed = 0;     // origins at which the method gave none (the run would have stopped)
  double mase = 0.0;  // not a number when forecasts is 0
  double rmse = 0.0;
  std::vector<double> coverage;
};

// The drift of `changes` as its own backtest chooses it: the scores of every variant
// (forecast::drift_variants(), in that order) at the last default_origins origins, and the one of
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
  // Per method, steps 1 .. frames_ahead; `changes` with the drift chosen below.
  std::array<std::vector<StepScores>, kMethods> steps;
  DriftChoice drift;  // choose_drift's

  const std::vector<StepScores>& of(Method m) const { return steps[static_cast<std::size_t>(m)]; }
};

// The last `origins` frame boundaries of the sample (at most frames - kMinimumFrames of them:
// an origin has at least that many frames before it). The origins are shared out over the
// threads; every number is computed as on one thread.
inline constexpr int kMinimumFrames = rules::kBacktestMinimumFrames;
SeriesBacktest run_backtest(const SeriesFrames& series, int origins, const Settings& settings,
                            const numeric::FftPlan& plan, parallel::Threads threads = {});

// The origins used when none are asked for (the choice of `auto`): half the frames, at most 10.
int default_origins(int frames);

// The mean over the steps of a method's MASE (steps without a forecast left out); not a
// number when no step has one.
double mean_mase(const std::vector<StepScores>& steps);

// `auto`: the model of lower mean MASE (`changes` with its chosen drift), `changes` on a tie or
// when neither scored.
forecast::ModelKind choose_model(const SeriesBacktest& backtest);

// The drift of `changes` for a series, whatever the origins of the backtest asked for: the drift
// variants scored at the last default_origins origins, `changes` fitted there from the bins as
// the whole sample ranks them, under the size rule at each origin (a model fit per origin, not
// an analysis). run_backtest makes it first and scores `changes` with the drift chosen; it
// costs about a tenth of run_backtest, which is why a run without a backtest does without it.
DriftChoice choose_drift(const SeriesFrames& series, const Settings& settings,
                         const numeric::FftPlan& plan, parallel::Threads threads = {});

// `auto` for a series from its values: the backtest over default_origins, then the choice.
forecast::ModelKind choose_model(std::span<const float> values, const Settings& settings,
                                 const numeric::FftPlan& plan, parallel::Threads threads = {});

}  // namespace tramel::backtest
