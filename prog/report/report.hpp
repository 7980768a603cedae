// The report tramel.out and the forecast file: every fixed-layout block the program writes,
// each from the result values of the step it reports. Writers compute nothing beyond what a
// line shows (a resolution from the rate, a t value from its coefficient) and decide nothing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analysis.hpp"
#include "coherence/coherence.hpp"
#include "control/control.hpp"
#include "forecast/forecast.hpp"
#include "textio/textio.hpp"

namespace tramel::report {

using textio::Sink;

// ---- The invocation ------------------------------------------------------------------------

// The two banner lines.
void write_banner(Sink& report);
// The data file's title: one blank and its first 79 characters.
void write_title(Sink& report, std::string_view title);

// Processor time used by the process so far (user plus system), in seconds.
float processor_seconds();
// The closing lines: version, date and time, and the processor time since `start`, to the
// report and then to the console. Returns the elapsed time.
float write_closing_lines(Sink& report, Sink& console, float start);

// ---- A run ---------------------------------------------------------------------------------

// The sample line and the run header: rate or interval, resolution, frames, frame length,
// pass band, number of band frequencies, forecast horizon, lags, the kind of standard errors
// when they are not the traditional ones, taper.
// With settings beyond the specified ones (least-squares errors, a forecast model, intervals,
// a backtest), a line for each after the forecast settings; the model's line says whether it
// was asked for (--model) or is the default of the data (CSV data: auto).
void write_run_header(Sink& report, const control::RunPlan& plan,
                      const analysis::Settings& settings = {}, bool model_asked = true);
// After the run: the threshold line, and the number of series when there are several.
void write_run_end(Sink& report, const control::RunPlan& plan);

// Which of the run's stores of work space could not be had.
enum class WorkSpace : std::uint8_t {
  Run,          // the sample and the work of the series
  Labels,       // the labels of label mode
  Var,          // the fit of one series
  NoiseFrames,  // the coherence step
  Fit,          // the fit's normal matrix
};
// The allocation message; for Var, with the number of significant bins and the VAR size.
void write_work_space_failure(Sink& report, WorkSpace which, int bins = 0,
                              std::int64_t var_size = 0);

// ---- A series ------------------------------------------------------------------------------

// The box naming the series (written when the run has several).
void write_series_box(Sink& report, int series);
// The statistics block with the format line after it, and before it the message of a series
// without spread.
void write_description(Sink& report, const analysis::Statistics& statistics,
                       std::string_view format_text);
// The messages of the coherence step: the taper's, then those of the chi-square evaluations.
void write_coherence_notes(Sink& report, const coherence::Coherence& coherence);
// The stops of a series after its coherence step.
void write_no_significant_bins(Sink& report);
void write_var_too_large(Sink& report, std::int32_t sample_size, std::int64_t var_size,
                         float threshold);
void write_fit_failure(Sink& report);

// The VAR block: the significant bins four pairs to a row, the forecast settings, every
// coefficient with its standard error and t value, R square.
struct VarReport {
  std::span<const coherence::SignificantBin> bins;
  int frames_ahead = 0;
  const forecast::VarFit& fit;
};
void write_var_block(Sink& report, const VarReport& var);

// The block of a series forecast by a model that follows the level (Changes, Levels), in the
// manner of the VAR block: the significant bins and how many of them the model carries, the
// forecast settings with the lags kept and the bins the size rule left out, every coefficient
// with its least-squares standard error and t value (variable 1 is bin 0, the frame's level,
// then the real and imaginary part of each bin kept), the mean of each variable (Levels) or
// its mean change, the drift (Changes), and R square.
// After the number of significant bins, how they were chosen: the bins that pass P by chance
// alone over the band (rules::chance_bins), or the false discovery rate.
struct ModelReport {
  std::span<const coherence::SignificantBin> bins;  // all the significant bins
  int frames_ahead = 0;
  int lags_asked = 0;
  analysis::Model model = analysis::Model::Changes;
  const forecast::ModelRun& run;
  int band_bins = 0;
  coherence::BinSelection selection;
  const backtest::DriftChoice* drift = nullptr;  // changes: how its drift was chosen
};
void write_model_block(Sink& report, const ModelReport& model);
// The block of a series forecast by smooth (alone or in auto's combination): the significant
// bins, the frames forecast, the form of smooth and its fit (the scale, the waveform's gamma
// and bins, the level's trend and weights), and the standard deviations of the one-step errors
// of the level and of the waveform.
struct SmoothReport {
  std::span<const coherence::SignificantBin> bins;
  int frames_ahead = 0;
  const analysis::SeriesResult::Smooth& fit;
  bool with_bins = true;  // false after the VAR block of a combination, which shows them
  int band_bins = 0;      // with the bins: how they were selected, as the VAR block says
  coherence::BinSelection selection;
};
void write_smooth_block(Sink& report, const SmoothReport& smooth);
// What auto chose and why (for a choice between candidates), and how many of the steps ahead
// have intervals calibrated to the backtest's errors; then the block's closing rule (when a
// line came before it, or `closes`).
struct ChoiceReport {
  std::string forecast;  // analysis::forecast_name
  std::string reason;    // analysis::choice_reason, empty for no choice
  int calibrated_steps = 0;
  int steps = 0;
  bool closes = false;  // the closing rule also without a line before it
};
void write_choice(Sink& report, const ChoiceReport& choice);
// The stop of a series whose model could not be fitted.
void write_model_fit_failure(Sink& report);
// The lines of whichever stop ended a series' analysis (nothing for a completed series);
// `sample_size` and `threshold` are the run's.
void write_series_stop(Sink& report, const analysis::SeriesResult& result,
                       std::int32_t sample_size, float threshold);

// The eigenvalue block: the heading for the unit mode, a line per eigenvalue, an empty line.
// A solver that gave up says so first.
void write_eigenvalues(Sink& report, const forecast::Eigenvalues& eigenvalues,
                       const control::AnalysisSettings& settings);

// ---- The forecast file ---------------------------------------------------------------------

// The records of one run: for each forecast frame and position in it, the frame number, the
// position and the value of every series (`series[s]` holds series s's frames one after the
// other, frame_length values each).
void write_forecast_file(Sink& forecast_file, std::span<const std::vector<float>> series,
                         int frame_length);

// ---- The backtest --------------------------------------------------------------------------

// The table of a series' backtest for the console: per step ahead, the model in use, the
// specified forecast and seasonal naive (for smooth and auto, every method scored), with their
// MASE, RMSE, the origins that gave a forecast, and the coverage of each interval level.
struct BacktestReport {
  int run = 0;
  int series = 0;
  analysis::Model model = analysis::Model::Changes;  // the model in use
  std::string forecast;                              // what forecast (analysis::forecast_name)
  bool chosen = false;                               // chosen by auto
  const backtest::SeriesBacktest& backtest;
};
void write_backtest_table(Sink& console, const BacktestReport& table);

}  // namespace tramel::report
