// The rules a run's settings must meet, each once, in the program's words, and the rules of
// the models' sizes that the analysis, the backtest, the work-space formula and `tramel init`
// share. Every face of the program (the control file, the command line, the Python module,
// tramel init) checks a setting with the rule here and adds only its own framing: the
// control-file line, the option's name, the exception type.
//
// A rule returns nothing when the setting meets it, and the rule with its words when not.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tramel::rules {

// How a series is forecast:
// - AsSpecified: the VAR of the residual frames' coefficients at the significant bins, added to
//   the mean waveform and rescaled to its spread (the report's form since the first version);
// - Changes, Levels: the models that carry the frame's level besides the significant bins,
//   fitted by least squares, with forecast intervals;
// - Smooth: seasonal exponential smoothing, the waveform smoothed from frame to frame and the
//   level a damped local trend (see smoothing/), with forecast intervals;
// - Auto: per series the best of them, or a combination of the best, by a backtest over the
//   sample.
// Every model but AsSpecified counts its frames back from the last datum, so that its forecast
// continues the series.
enum class Model : std::uint8_t { AsSpecified, Changes, Levels, Auto, Smooth };

// The scale the model smooth works on: the data's, their logarithms, or the one of the two
// that the backtest scores better (the data's when a value is not positive).
enum class Transform : std::uint8_t { None, Log, Auto };

// The model a run uses when none is asked for: as-specified for data in the two-line layout
// (whose stored outputs stand as they are), auto for delimited text (CSV, TSV).
Model default_model(bool delimited_data);

// Which rule a setting breaks.
enum class Rule : std::uint8_t {
  Threshold, FramesAhead, Lags, Taper, DataStart, DataEnd, DataPresent, SampleSize, FrameLength,
  WholeFrames, Band, IntervalsNeedModel, BacktestNeedsModel, IntervalLevel, BacktestOrigins,
  TransformNeedsModel,
  FdrNeedsModel, FdrLevel,
};

// A broken rule and what it says: the setting as given and what the rule asks for
// ("Frame length = 4 < 5: a frame needs 5 samples or more").
struct Broken {
  Rule rule;
  std::string words;
};
using Verdict = std::optional<Broken>;

// ---- The rules of a run's settings -------------------------------------------------------------

inline constexpr int kMinimumFrameLength = 5;       // as-specified
inline constexpr int kModelMinimumFrameLength = 4;  // the models that follow the level
inline constexpr int kMostFramesAhead = 10;
inline constexpr float kMostTaperPercent = 25.0f;

// The coherence threshold P: 0 <= P < 1.
Verdict threshold(float p);
// The frames forecast: 1 to kMostFramesAhead.
Verdict frames_ahead(std::int64_t frames);
// The VAR's lags: 1 or more.
Verdict lags(std::int64_t lags);
// The taper: 0 to 25 percent of a frame.
Verdict taper(float percent);

// The data a run takes: data first..last (from 1) of the `count` there are; a last datum of 0
// means the last there is. The sample they make must be one the program can hold.
struct DataExtent {
  std::int64_t first = 1;
  std::int64_t last = 0;
  std::int64_t count = 0;

  std::int64_t sample_size() const { return (last == 0 ? count : last) - first + 1; }
};
Verdict data_start(const DataExtent& extent);    // first >= 1
Verdict data_end(const DataExtent& extent);      // last 0, or last >= first
Verdict data_present(const DataExtent& extent);  // last <= count
Verdict sample_size(std::int64_t samples);       // at most the 32-bit range the program reads

// The frame length: kMinimumFrameLength samples or more for as-specified, and
// kModelMinimumFrameLength for the others (quarterly data in frames of a year).
int minimum_frame_length(Model model);
Verdict frame_length(std::int64_t length, Model model = Model::AsSpecified);
// The whole frames of the sample a model needs: 7 for as-specified, 3 for the others.
int minimum_frames(Model model);
Verdict whole_frames(std::int64_t samples, std::int64_t frame_length, Model model);
// The pass band: 1 <= first_bin < last_bin <= frame_length / 2.
Verdict band(std::int64_t first_bin, std::int64_t last_bin, std::int64_t frame_length);
// The band a run takes when none is given: bin 1 to the last bin below the Nyquist frequency, or
// to the Nyquist bin itself when the frame holds only one bin below it (frames of 4: quarterly
// data in frames of a year, whose half-year swing is that bin). Its last bin.
std::int64_t default_last_bin(std::int64_t frame_length);

// Two cycles: when a frame is a day of data sampled hourly or faster (samples `step_seconds`
// apart), the week is the second cycle, of kDaysPerWeek frames; else there is none (0). Auto then
// also forecasts with a waveform for each day of the week, and in frames of a week, from
// kWeeksForWeekdays weeks of data on.
inline constexpr int kDaysPerWeek = 7;
inline constexpr int kWeeksForWeekdays = 3;
int frames_per_week(double step_seconds, std::int64_t frame_length);
// Whether a sample of `frames` frames with that second cycle is long enough to weigh it.
bool weighs_week(int frames_per_week, std::int64_t frames);

// What the command line and the module may ask for besides the run's settings: intervals and a
// backtest need a model with intervals, each level lies in (0, 100), a backtest has an origin or
// more, a transform needs the model smooth or auto, and the false discovery rate selects the
// bins of a model other than as-specified at a level Q with 0 < Q < 1 (checked in this order).
struct ModelOptions {
  Model model = Model::AsSpecified;
  std::span<const float> interval_levels;
  bool backtest = false;
  std::int64_t backtest_origins = 0;  // with `backtest`
  bool transform = false;             // a transform given
  std::optional<float> fdr_level = std::nullopt;
};
Verdict model_options(const ModelOptions& options);
// Origins of a backtest fit in a sample of `frames` whole frames when each has the model's
// backtest_minimum_frames before it: 4 for the VAR models, 2 for smooth (and so for auto, whose
// candidates each forecast from the origins they can).
inline constexpr int kBacktestMinimumFrames = 4;
inline constexpr int kSmoothBacktestMinimumFrames = 2;
int backtest_minimum_frames(Model model);
Verdict backtest_origins(std::int64_t origins, std::int64_t frames, Model model = Model::Changes);

// ---- The threshold over a band -------------------------------------------------------------

// The chance that a bin without a cycle passes P is 1 - P, so over a band of `bins` bins
// bins x (1 - P) pass by chance alone. The threshold that keeps that at most
// kChanceBinsOverBand: P = 1 - kChanceBinsOverBand / bins, rounded up to the 6 decimals a
// control file writes, never below kLeastBandThreshold nor above kMostBandThreshold (the
// highest P six decimals hold: above 50,000 bins more than 0.05 pass by chance).
inline constexpr double kChanceBinsOverBand = 0.05;
inline constexpr float kLeastBandThreshold = 0.99f;
inline constexpr float kMostBandThreshold = 0.999999f;
float band_threshold(std::int64_t bins);
// bins x (1 - P): the bins that pass P by chance alone.
double chance_bins(std::int64_t bins, float threshold);

// ---- The rules of the models' sizes ------------------------------------------------------------

// The specified VAR of m significant bins with p lags has 4 m^2 p coefficients to estimate
// (2m variables, 2m p regressors each); it is fitted only when they are at most a tenth of
// the sample's size n (n div 10).
std::int64_t var_size(std::int64_t bins, std::int64_t lags);  // saturates at the 64-bit maximum
bool var_fits(std::int64_t bins, std::int64_t lags, std::int64_t samples);
// The most significant bins whose VAR fits a sample of `samples` samples at `lags` lags (lags
// below 1 count as 1).
std::int64_t most_var_bins(std::int64_t lags, std::int64_t samples);

// ---- Words -------------------------------------------------------------------------------------

// A number as a rule's words give it: the shortest text that reads back to the same float.
std::string number_text(float value);

}  // namespace tramel::rules
