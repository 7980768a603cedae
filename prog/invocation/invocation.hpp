// The pieces of one invocation that the main program orders: the output files in the order
// they are completed, the routing and the words of everything the program says besides its
// results, and the performance of a run over its series.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "control/control.hpp"
#include "data/data.hpp"
#include "diagnostics/diagnostics.hpp"
#include "results/results.hpp"
#include "textio/textio.hpp"

namespace tramel::invocation {

// What the command line may change. The defaults are the program as it always ran: the
// current folder, the report and forecast file only.
struct Options {
  std::filesystem::path folder = ".";  // holds tramel.cnl and the data; gets every output
  bool json = false;                    // also write tramel.json
  bool plot = false;                    // also write a plot per run and series
  int threads = 1;                      // threads the analysis may use
  bool strict = false;                  // exit 3 when the run completes with warnings
  bool least_squares_errors = false;    // ordinary least-squares standard errors
  std::uint64_t memory_limit = 0;       // bytes the work space may take; 0: what is available
  analysis::Model model = analysis::Model::AsSpecified;  // how every series is forecast
  std::optional<analysis::Transform> transform = std::nullopt;  // the scale of smooth
  bool model_by_default = false;  // no --model: the data's default (see default_model)
  // The models: the bins a false discovery rate Q selects instead of those above P (--fdr).
  std::optional<float> fdr_level = std::nullopt;
  std::vector<float> interval_levels = {};  // forecast intervals, percent (models with intervals)
  int backtest_origins = 0;  // a rolling-origin backtest of every series over so many frames; 0: none
  bool csv = false;                     // also write NAME.forecast.csv (always for CSV data)
  // The sampling rate or interval of data that do not give it (delimited text without a time
  // column), in the run's units: the interval in the time unit, or the rate in Hz or kHz.
  std::optional<float> sampling = std::nullopt;
  // The unit of CSV data's time column of numbers (--time-unit).
  std::optional<csv::NumberUnit> time_unit = std::nullopt;
};

// The program's version, X.Y.Z.
const char* version();

// Thrown once a stop has been said: the invocation ends, and only its outputs are completed.
struct Stopped {};

// ---- The outputs -------------------------------------------------------------------------------

// Where the console's lines go: the process's standard output and error, or memory (for a
// caller that runs the invocation in-process and reads them afterwards).
enum class Console : std::uint8_t { Streams, Memory };

// The files and streams an invocation writes, and the order they are completed in.
class Outputs {
 public:
  explicit Outputs(const Options& options, Console console = Console::Streams);

  textio::Sink& report() { return report_; }
  textio::Sink& forecast_file() { return forecast_; }
  textio::Sink& console() { return out_; }  // standard output
  textio::Sink& errors() { return err_; }   // standard error

  // Each opening gives 0 or the operating system's error number.
  int open_report() {
    const int e = report_.open(path_of("tramel.out"));
    report_open_ = e == 0;
    return e;
  }
  int open_forecast_file(const std::string& name) { return forecast_.open(path_of(name)); }
  std::string path_of(const std::string& name) const { return (folder_ / name).string(); }

  // Completes the outputs once the invocation has ended, completed or stopped: the report and
  // the forecast file first, written whole and closed; then the forecast as CSV (the runs whose
  // forecast file records were written) and tramel.json; the plots last, so that a plot that
  // cannot be drawn loses nothing else. Says on standard error what could not
  // be written, and returns false then.
  bool finish(const results::InvocationResult& results);

 private:
  const Options& options_;
  std::filesystem::path folder_;
  textio::Sink out_;
  textio::Sink err_;
  textio::Sink report_;
  textio::Sink forecast_;
  bool report_open_ = false;
};

// ---- What the program says ---------------------------------------------------------------------

// Routes diagnostics: a message to its destination, a warning to standard error and the
// results, a stop to where its check says it and to standard error, after which the
// invocation ends.
class Messages {
 public:
  Messages(Outputs& outputs, results::InvocationResult& results)
      : outputs_(outputs), results_(results) {}

  void say(const diagnostics::Message& message);
  void warn(diagnostics::Warning warning);
  void say(const diagnostics::Note& note);
  // Says the stop, records it in the results and ends the invocation (throws Stopped).
  [[noreturn]] void stop(const diagnostics::Stop& stop);
  // The same in two steps, for a stop that must be on disk before something else happens.
  void say_stop(const diagnostics::Stop& stop);
  [[noreturn]] void end(const diagnostics::Stop& stop);
  // A stop that no check of the program made (memory exhausted, an unexpected failure): said
  // on standard error and in the results, without ending anything itself.
  void stopped_by(const std::string& why);

  // A step's value after its notes are said; a failed step's stop ends the invocation.
  template <class T>
  T checked(diagnostics::Outcome<T> outcome) {
    for (const diagnostics::Note& note : outcome.notes) say(note);
    if (outcome.stop) stop(*outcome.stop);
    if (!outcome.value) stop(diagnostics::Stop{});
    return std::move(*outcome.value);
  }

  bool has_warnings() const { return !results_.warnings.empty(); }

 private:
  Outputs& outputs_;
  results::InvocationResult& results_;
};

// ---- Words --------------------------------------------------------------------------------------

// What the console is told when a file of the invocation cannot be opened: which file, in which
// folder, and why. `what` names the file's role ("the control file").
std::string cannot_open(const std::string& what, const std::string& name,
                        const std::filesystem::path& folder, int error);

// The stop for a file that cannot be opened: `report_line` is the program's fixed line for the
// console ("**** Error on opening output file "), followed by the error number.
diagnostics::Stop open_failure(const char* report_line, int error, std::string console);

// The warning for data that end before the last datum of a run.
diagnostics::Warning early_end_warning(const std::string& data_file, const control::RunPlan& plan,
                                       const data::EarlyEnd& end);

// The stop of a series whose analysis ended early: the report's lines and, where the checked
// settings are not as written (a fallback), their cause instead of advice that cannot help.
diagnostics::Stop series_stop(const control::RunPlan& plan, const analysis::SeriesResult& result);

// ---- A run -----------------------------------------------------------------------------------

// Everything an invocation keeps while it runs.
struct State {
  explicit State(const Options& chosen, Console console = Console::Streams)
      : options(chosen), outputs(chosen, console), messages(outputs, results) {
    results.least_squares_errors = chosen.least_squares_errors;
    results.fdr_level = chosen.fdr_level;
  }

  const Options& options;
  Outputs outputs;
  results::InvocationResult results;  // what tramel.json and the plots are made of
  Messages messages;
  // The chi-square fallback, carried from series to series through the whole
  // invocation.
  numeric::ProbabilityFallback fallback;
  // The results of every series are kept for the caller, whatever the options ask for.
  bool keep_results = false;
  // Waits for a person at the console before a stop that must be read first (the labels that
  // do not fit); none for an invocation run in memory.
  std::function<void()> wait_for_operator;
};

// The data a run reads.
struct RunData {
  data::DataSource& source;
  const data::DataHead& head;
  const std::string& file_name;  // as the control file gives it
};

// Performs a run in its steps: admit its memory (the work space), read its sample, analyse its
// series and write them in order (the report, the forecast file after the last series, the
// results for tramel.json and the plots). A series that stops ends the invocation after what
// comes before it is written.
void perform_run(const control::RunPlan& plan, const RunData& data, State& state);

// The backtest of every series that has one, a table each, on standard output.
void write_backtests(State& state);

// The sampling rate or interval a run computes with: --sampling (with a note when it overrides
// the control file's Sampling rate/interval); else as the data file of the two-line layout
// writes it; else from the time column of delimited text (with a warning when the control
// file's Sampling rate/interval says otherwise); else the control file's Sampling
// rate/interval. A stop when nothing gives it, or when the time column's spacing has no rate
// in the unit mode.
diagnostics::Outcome<float> data_rate(const data::DataHead& head,
                                      const control::AnalysisSettings& analysis,
                                      const Options& options, const std::string& data_file);

// The analysis settings of a run's series, from its plan, the command line and the data's
// time stamps (a frame of a day of hourly data has the week for a second cycle).
analysis::Settings series_settings(const control::RunPlan& plan, const Options& options,
                                   const data::DataHead& head);

// The model of a run of the control file in `folder` when none is asked for
// (rules::default_model, by the layout of the data file its global block names); as-specified
// when the control file cannot be read that far (the run then says why).
analysis::Model default_model(const std::filesystem::path& folder);

}  // namespace tramel::invocation
