// The analysis of a series, from its samples to its forecast: settings and samples in, result
// values out, nothing read or written. For each series: describe it, find its coherence and
// significant bins, fit the VAR across frames to their Fourier coefficients, forecast, and take
// the eigenvalues of the fitted system. This is what the program runs for every series of
// every run, and what another program linking the library calls.
//
// Also here: the bytes of work space an analysis takes, so that a caller can refuse a run that
// would not fit in memory and share series out over threads only as far as they fit, and the
// words of the warnings a result calls for.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <memory_resource>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "backtest/backtest.hpp"
#include "coherence/coherence.hpp"
#include "diagnostics/diagnostics.hpp"
#include "forecast/forecast.hpp"
#include "numeric/numeric.hpp"
#include "parallel/parallel.hpp"
#include "rules/rules.hpp"
#include "smoothing/smoothing.hpp"

namespace tramel::analysis {

// ---- Settings ---------------------------------------------------------------------------------

// How a series is forecast (see rules::Model).
using rules::Model;

// "as-specified", "changes", "levels", "smooth", "auto"; and back, nothing for another name.
std::string_view model_name(Model model);
std::optional<Model> model_named(std::string_view name);

// The scale of the model smooth (see rules::Transform): "none", "log", "auto"; and back.
using rules::Transform;
std::string_view transform_name(Transform transform);
std::optional<Transform> transform_named(std::string_view name);

// What the analysis of a series does: frames of `frame_length` samples (for as-specified, frame
// f holds samples f*frame_length .. (f+1)*frame_length - 1 and samples after the last whole
// frame take no part; the other models count the frames back from the last sample, and the
// samples before the first whole frame take no part),
// the pass band of bins first_bin..last_bin (bin k: k cycles per frame), the taper, the
// coherence threshold, and the VAR's lags and forecast horizon in frames.
struct Settings {
  int frame_length = 0;        // at least 5 (4 for the models but as-specified)
  int first_bin = 0;           // 1 <= first_bin < last_bin <= frame_length / 2
  int last_bin = 0;
  float taper_percent = 0.0f;  // 0 to 25
  float threshold = 0.0f;      // a bin is significant when its probability is above it
  // The models other than as-specified: the bins a false discovery rate Q selects instead.
  std::optional<float> fdr_level;
  int lags = 1;                // at least 1
  int frames_ahead = 1;        // 1 to 10
  forecast::StandardErrors errors = forecast::StandardErrors::Traditional;
  Model model = Model::AsSpecified;
  std::vector<float> interval_levels;  // percent, each in (0, 100); for the models with intervals
  // A rolling-origin backtest over the last `backtest_origins` frames of the sample (0: as
  // many as backtest::default_origins). Auto always has one: it chooses by it.
  bool backtest = false;
  int backtest_origins = 0;
  // The scale of smooth (and of smooth in auto); none given: auto.
  std::optional<Transform> transform;
  // rules::frames_per_week: 7 when a frame is a day of data sampled hourly or faster (the
  // program and the module tell it from the data's time stamps), else 0.
  int frames_per_week = 0;

  int bin_count() const { return last_bin - first_bin + 1; }
  coherence::BinSelection selection() const { return {threshold, fdr_level}; }
  coherence::Band band() const {
    return coherence::Band{frame_length, first_bin, last_bin, taper_percent};
  }
};

// Every rule on a run's settings (see rules/), applied in a fixed order: the threshold, the
// frames ahead, the lags, the taper, the data extent, the frame length, the whole frames, the
// band, then the model's options and the backtest's origins. The first rule broken, or nothing.
rules::Verdict check(const Settings& settings, const rules::DataExtent& extent);

// ---- Descriptive statistics --------------------------------------------------------------------

struct Statistics {
  float mean = 0.0f;
  float std_dev = 0.0f;
  float skewness = 0.0f;
  float kurtosis = 0.0f;  // excess kurtosis
  float c6 = 0.0f;        // the sixth cumulant over the sixth power of the standard deviation
  float max = 0.0f;
  float min = 0.0f;
  // No spread (a constant series, or fewer than two values): the standard deviation is set
  // to 1 and the moments are 0.
  bool zero_variance = false;
};

// Accumulated in double precision.
Statistics describe_series(std::span<const float> series);

// ---- The result of a series --------------------------------------------------------------------

// Where the analysis of a series ended early, if it did.
enum class SeriesStop : std::uint8_t {
  None,
  ModelFitFailed,      // the least-squares fit of Changes or Levels: dependent variables
  CoherenceWorkSpace,  // no memory for the coherence step
  NoSignificantBins,
  VarTooLarge,         // 4 m^2 p above a tenth of the sample size
  VarWorkSpace,        // no memory for the VAR of this series
  FitWorkSpace,        // no memory for the fit's normal matrix
  NotPositiveDefinite,
};

// The samples of a series, in a store that a work space may provide (see WorkSpace).
using Samples = std::pmr::vector<float>;

struct SeriesResult {
  int series = 0;  // from 1
  Statistics statistics;
  coherence::Coherence coherence;
  std::vector<coherence::SignificantBin> significant;
  std::int64_t var_size = 0;       // 4 m^2 p
  SeriesStop stop = SeriesStop::None;
  std::optional<forecast::VarFit> fit;
  std::vector<float> forecast;     // the forecast frames, frames_ahead x frame_length samples
  forecast::Eigenvalues eigenvalues;
  std::vector<float> last_frames;  // the last whole frames observed (up to 3), for plots
  numeric::ProbabilityFallback fallback;  // the chi-square fallback this series leaves

  // The model that forecast the series: what Auto chose when it is one model, Auto itself when
  // it chose seasonal naive or a combination (`choice` says which). For Changes and Levels (or
  // the first of them in Auto's combination): the bins the size rule kept and left out, the
  // lags it kept, the fit, and the forecast with the spread of its error; `fit` then stays
  // empty. For Smooth (alone or combined), its fit.
  Model model = Model::AsSpecified;
  std::optional<forecast::ModelRun> model_run;
  struct Smooth {
    backtest::Method method = backtest::Method::Smooth;
    smoothing::Model model;
  };
  std::optional<Smooth> smooth;
  // The methods that forecast (one, or those combined, with their weights), and what they were
  // chosen by: the backtest's scores over its common origins (for Smooth, of its transforms; for
  // Auto, of every candidate).
  std::optional<backtest::Choice> choice;
  std::vector<forecast::ForecastInterval> intervals;  // per level asked for, as `forecast`
  // The intervals' factors from the backtest's own errors, when a step of it had enough origins
  // (or the forecast has no spread of its own).
  std::optional<backtest::Calibration> calibration;
  std::optional<backtest::SeriesBacktest> backtest;   // when origins were asked for, or Auto
  // The samples before the first whole frame, which take no part (the models but
  // as-specified count their frames back from the last sample).
  std::int64_t first_sample = 0;
  bool log_refused = false;  // a log scale asked for, and a value not positive
  // `changes`: how its drift was chosen (the backtest's choice, or its variants' own backtest).
  std::optional<backtest::DriftChoice> drift;

  bool completed() const { return stop == SeriesStop::None; }
};

// ---- Work space ---------------------------------------------------------------------------------

// The size of a run: how many series of how many samples.
struct RunSize {
  std::int64_t samples = 0;  // n, per series
  std::int64_t series = 0;   // M
};

// The work space of a run: a limit in bytes, what is taken, and the store of the large blocks
// (the sample, the series analysed, their residuals): blocks of megabytes go on transparent
// huge pages where the system offers them, and a block freed is kept for the next series, so
// that page faults take a small share of a run.
class WorkSpace {
 public:
  // `limit` in bytes; 0 means the memory the system has available when the run starts.
  explicit WorkSpace(std::uint64_t limit);
  ~WorkSpace();
  WorkSpace(const WorkSpace&) = delete;
  WorkSpace& operator=(const WorkSpace&) = delete;

  // Bytes of the run's stores: the sample, the forecast frames of every series and the work of
  // one series analysed at a time. Saturates (never fits) on overflow or impossible extents.
  static std::uint64_t run_bytes(const Settings& settings, const RunSize& size);
  // Bytes of the work of one series analysed beside the others (its copy of the series and
  // what its steps take), with the largest VAR the sample allows.
  static std::uint64_t series_bytes(const Settings& settings, std::int64_t samples);
  // Bytes of the VAR of one series with `bins` significant bins over `frames` frames: its frame
  // coefficients, the fit's normal matrix, cross-products, coefficients, errors and squared
  // residuals, and the companion matrix.
  static std::uint64_t var_bytes(const Settings& settings, std::int64_t frames, std::int64_t bins);

  // What a store of `bytes` takes: a block of a huge page or more is rounded up to whole huge
  // pages.
  static std::uint64_t stored_bytes(std::uint64_t bytes);

  // Whether `bytes` more fit beside what is taken already.
  bool fits(std::uint64_t bytes) const;
  void take(std::uint64_t bytes);

  // The store of the run's large blocks; safe to use from any thread.
  std::pmr::memory_resource* store() const;

 private:
  std::uint64_t limit_;
  std::uint64_t used_ = 0;
  struct Store;
  std::unique_ptr<Store> store_;
};

// How the series of a run are shared out: so many analysed at the same time, each with so
// many threads of its own. Every series gets the same results whatever the schedule.
struct Schedule {
  int series_at_once = 1;
  parallel::Threads per_series;
  bool analyse_ahead = false;  // the next series analysed while the last ones are written
};

// The schedule for `threads` threads: as many series at once as there are threads, as far as
// their work space fits beside the run's stores (fewer when memory is short, one at a time
// when even two do not fit); the threads left over go to the work inside each series.
Schedule schedule_series(const Settings& settings, const RunSize& size, int threads,
                         const WorkSpace& work_space);

// ---- The analysis -------------------------------------------------------------------------------

// What every series of a run is analysed with besides its settings.
struct Context {
  const numeric::FftPlan& fft;            // for the frame length
  const WorkSpace* work_space = nullptr;  // with the run's stores taken; none: no limit
  parallel::Threads threads = {};         // for the work inside one series
};

// The analysis of series `series` (from 1): describe it, find its coherence and significant
// bins, fit the VAR, forecast, take the eigenvalues. Stops early, saying why in the result,
// when a step leaves nothing to go on with. `fallback` is the chi-square fallback as the
// series before left it (see numeric::ProbabilityFallback: the results of a series with values
// that are not numbers can depend on the series before it); the result holds the fallback this
// series leaves.
SeriesResult analyse_series(int series, Samples values, const Settings& settings,
                            const Context& context, numeric::ProbabilityFallback fallback);

// The same for a series on its own: its own transform plan, one thread, no memory limit, the
// chi-square fallback as at the start of an invocation.
SeriesResult analyse_series(std::span<const float> values, const Settings& settings);

// The series of a run, analysed as the program and the Python module analyse them: in batches
// side by side as schedule_series shares them out, each series of a batch on a thread of its
// own, the next batch analysed while the results of the last are handed on where the schedule
// says so, and every result handed to `on_result` in series order, after which it may be moved
// from. The chi-square fallback runs from series to series: the first of a batch starts from
// what its predecessor left, the others from a fallback not known yet, and a series that turns
// out to need it is analysed again, in order; every result is then the one of the series
// analysed one after another. Nothing comes after a series that stops: its result is the last.
// Returns the fallback the last series leaves. An exception from `on_result` ends the run once
// the series analysed ahead are done.
struct RunRequest {
  const Settings& settings;
  RunSize size;
  int threads = 1;
  const WorkSpace& work_space;  // with the run's stores taken
  std::function<Samples(int series)> samples;  // series j (from 0), in the work space's store
  numeric::ProbabilityFallback fallback;       // as the series before the run left it
};
numeric::ProbabilityFallback analyse_run(const RunRequest& request,
                                         const std::function<void(SeriesResult&)>& on_result);

// The settings of the backtest of a series analysed with `settings`.
backtest::Settings backtest_settings(const Settings& settings);
// The origins of the backtest of a series of `frames` whole frames: those asked for, or for
// smooth and auto backtest::default_origins_with_smooth, at most as many as the frames allow;
// 0 for a series without a backtest.
int backtest_origin_count(const Settings& settings, int frames);

// ---- Words ---------------------------------------------------------------------------------------

// The warnings a completed or stopped series calls for (a series without spread, a refused
// taper, probabilities that could not be computed, an eigenvalue search that gave up, standard
// errors without residual degrees of freedom, bins or lags a model's size rule left out, a
// model without significant bins), each placed at `where` ("run 1, series 2").
std::vector<diagnostics::Warning> series_warnings(const SeriesResult& result,
                                                  const Settings& settings,
                                                  const diagnostics::Place& where);

// What forecast a series, in words: "smooth (log)", "changes", "0.62 smooth (log) + 0.38
// changes" for a combination with its weights.
std::string forecast_name(const SeriesResult& result);
// Why: for a choice between several candidates, the chosen forecast's backtest MASE over its
// origins against the best single candidate's and the others', e.g. "the lowest backtest MASE
// over 10 origins: 0.612, against changes 0.701, levels 0.733, seasonal naive 0.950"; empty for
// a model without a choice.
std::string choice_reason(const SeriesResult& result);
// The smooth fit in words: its scale, the waveform's gamma and group, the level's trend and
// weights.
std::string smooth_text(const smoothing::Model& model);

}  // namespace tramel::analysis
