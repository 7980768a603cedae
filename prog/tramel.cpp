// The main program: one invocation, from the control file tramel.cnl in the working folder to
// the report, the forecast file and, on request, tramel.json and the plots. It reads the
// global settings and the head of the data, then performs the runs one after another; a failed
// check anywhere ends the invocation after its messages, and the outputs are completed all the
// same.
#include "tramel.hpp"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "control/control.hpp"
#include "data/data.hpp"
#include "invocation/invocation.hpp"
#include "output/output.hpp"
#include "parallel/parallel.hpp"
#include "report/report.hpp"

namespace tramel {

namespace {

using invocation::cannot_open;
using invocation::open_failure;

// The data source named by the global block, and its head.
struct Data {
  std::unique_ptr<data::DataSource> source;
  data::DataHead head;
};

Data open_data(const control::FileSettings& files, invocation::State& state) {
  const std::filesystem::path& folder = state.options.folder;
  data::OpenedSource opened = data::open_data_source(
      data::SourceRequest{state.outputs.path_of(files.data_path()), files.data_path(), files.series_count,
                          parallel::Threads{state.options.threads}, state.options.time_unit});
  if (!opened.source)
    state.messages.stop(open_failure("**** Error on opening data file ", opened.error,
                                     cannot_open("the data file", files.data_path(), folder,
                                                 opened.error)));
  data::HeadOutcome head = opened.source->read_head();
  if (head.title) {
    report::write_title(state.outputs.report(), *head.title);
    state.results.title = *head.title;
  }
  Data data{std::move(opened.source), state.messages.checked(std::move(head.head))};
  if (state.options.time_unit && !data.head.delimited)
    state.messages.warn(diagnostics::Warning{
        "--time-unit is for CSV data with a time column of numbers; " + files.data_path() +
            " is in the two-line layout, whose line 2 gives the sampling: --time-unit is not used",
        diagnostics::Place::in_file(files.data_path())});
  state.results.series_names = data.head.names;
  state.results.time = data.head.time;
  state.results.time_name = data.head.time_name;
  // The forecast as CSV: asked for, or data that came as CSV.
  if (state.options.csv || data.head.delimited) state.results.forecast_csv = files.forecast_csv_path();
  return data;
}

// The forecast file, which must not be the data file: x.forec (or a link to it) would be
// emptied by the opening before its data are read, and is refused like a file that exists.
void open_forecast_file(const control::FileSettings& files, invocation::State& state) {
  const std::string name = files.forecast_path();
  std::error_code ec;
  if (std::filesystem::equivalent(state.outputs.path_of(name),
                                  state.outputs.path_of(files.data_path()), ec))
    state.messages.stop(open_failure("**** Error on opening forecast file ", EEXIST,
                                     "the forecast file " + name + " would be the data file " +
                                         files.data_path() + ": rename the data file\n"));
  if (const int e = state.outputs.open_forecast_file(name); e != 0)
    state.messages.stop(open_failure("**** Error on opening forecast file ", e,
                                     cannot_open("the forecast file", name, state.options.folder, e)));
}

void run_invocation(invocation::State& state) {
  invocation::Outputs& outputs = state.outputs;
  invocation::Messages& messages = state.messages;
  const std::filesystem::path& folder = state.options.folder;

  control::ControlFile control;
  if (const int e = control.open(outputs.path_of("tramel.cnl")); e != 0)
    messages.stop(open_failure("**** Error on opening control file 1 ", e,
                               cannot_open("the control file", "tramel.cnl", folder, e)));
  if (const int e = outputs.open_report(); e != 0)
    messages.stop(open_failure("**** Error on opening output file ", e,
                               cannot_open("the report", "tramel.out", folder, e)));
  const float start = report::processor_seconds();
  report::write_banner(outputs.report());

  // The global settings and the head of the data.
  control::KeywordReader reader;  // with the readers' saved results
  const control::GlobalBlock global = messages.checked(control::read_global_block(control));
  const control::FileSettings files =
      messages.checked(control::read_file_settings(global, reader, folder));
  state.results.data_file = files.data_path();
  const Data data = open_data(files, state);
  open_forecast_file(files, state);
  control::AnalysisSettings analysis = messages.checked(control::read_analysis_settings(global, reader));
  analysis.model = state.options.model;
  outputs.report().flush();

  // The runs.
  const control::DataExtent extent{
      data.head.count,
      messages.checked(invocation::data_rate(data.head, analysis, state.options, files.data_path()))};
  const invocation::RunData run_data{*data.source, data.head, state.results.data_file};
  for (int run = 1; run <= files.runs; ++run) {
    const control::RunPlan plan =
        messages.checked(control::plan_run(control, run, files, analysis, extent, reader));
    // The control file's settings are checked as it is read; the command line's options meet
    // the rules that need the run's sample here.
    const analysis::Settings settings = invocation::series_settings(plan, state.options, data.head);
    if (const rules::Verdict broken = analysis::check(
            settings, rules::DataExtent{plan.first_datum, plan.last_datum, extent.count}))
      messages.stop(diagnostics::stop_at(diagnostics::Destination::Stderr, "",
                                         "run " + std::to_string(run) + ": " + broken->words + "\n"));
    report::write_run_header(outputs.report(), plan, settings, !state.options.model_by_default);
    invocation::perform_run(plan, run_data, state);
    report::write_run_end(outputs.report(), plan);
  }
  report::write_closing_lines(outputs.report(), outputs.console(), start);
  invocation::write_backtests(state);
}

// The invocation from start to exit status, the outputs completed.
int run_to_end(invocation::State& state) {
  const Options& options = state.options;
  int status = 1;  // until the invocation has run to its end
  try {
    run_invocation(state);
    status = 0;
  } catch (const invocation::Stopped&) {  // said already
  } catch (const std::bad_alloc&) {
    state.messages.stopped_by("stopped: not enough memory");
  } catch (const std::exception& e) {
    state.messages.stopped_by(std::string("stopped: ") + e.what());
  } catch (...) {
    state.messages.stopped_by("stopped by an unknown failure");
  }
  if (!state.outputs.finish(state.results) && status == 0) status = 1;
  if (status == 0 && options.strict && state.messages.has_warnings()) status = 3;
  return status;
}

// Waits for the operator: one line from standard input, or nothing at all when standard input
// is closed or at its end.
void wait_for_operator() {
  for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
  }
}

}  // namespace

int program(const Options& options) {
  invocation::State state(options);
  state.wait_for_operator = wait_for_operator;
  return run_to_end(state);
}

Captured program_in_memory(const Options& options) {
  invocation::State state(options, invocation::Console::Memory);
  state.keep_results = true;
  Captured c;
  c.status = run_to_end(state);
  c.out = state.outputs.console().text();
  c.err = state.outputs.errors().text();
  c.json = output::json_text(state.results, version());
  return c;
}

}  // namespace tramel
