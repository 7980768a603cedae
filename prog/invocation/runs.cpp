// A run over its series: the work space, the sample, the series analysed side by side as far
// as threads and memory allow, and their results written in the order of one thread.
#include <functional>
#include <new>
#include <vector>

#include "invocation/invocation.hpp"
#include "parallel/parallel.hpp"
#include "report/report.hpp"

namespace tramel::invocation {

namespace {

// The stop of a work space that cannot hold the run's stores or its labels.
diagnostics::Stop memory_stop(report::WorkSpace which) {
  textio::Sink lines;
  report::write_work_space_failure(lines, which);
  return diagnostics::stop_at(diagnostics::Destination::Report, lines.text());
}

// What the steps of a run work with.
struct Run {
  const control::RunPlan& plan;
  const analysis::Settings settings;
  const RunData& data;
  const Options& options;
  Messages& messages;
  Outputs& outputs;
};

// The run's memory: its stores, then the labels of label mode; a stop when they do not fit in
// the work space. A person at the console is waited for before the labels' stop
// (`wait_for_operator`, when given), with the stop said and on disk before.
void admit_memory(const Run& run, analysis::WorkSpace& work_space,
                  const std::function<void()>& wait_for_operator) {
  const std::uint64_t run_bytes = analysis::WorkSpace::run_bytes(
      run.settings, analysis::RunSize{run.plan.sample_size, run.plan.series_count});
  if (!work_space.fits(run_bytes)) run.messages.stop(memory_stop(report::WorkSpace::Run));
  work_space.take(run_bytes);
  const data::SampleRequest request{run.plan.first_datum, run.plan.last_datum, run.plan.series_count};
  const std::uint64_t label_bytes = run.data.source.label_bytes(request);
  if (label_bytes == 0) return;
  if (!work_space.fits(label_bytes)) {
    const diagnostics::Stop stop = memory_stop(report::WorkSpace::Labels);
    run.messages.say_stop(stop);
    run.outputs.report().flush();
    if (wait_for_operator) wait_for_operator();
    run.messages.end(stop);
  }
  work_space.take(label_bytes);
}

// The run's sample, in the work space's store.
data::Sample read_sample(const Run& run, const analysis::WorkSpace& work_space) {
  const int threads = run.options.threads;
  const data::ReadWork work{
      textio::RecordWork{threads,
                         [threads](std::int64_t count, const auto& each) {
                           parallel::for_chunks(count, parallel::Threads{threads}, each);
                         }},
      work_space.store()};
  diagnostics::Outcome<data::Sample> read;
  try {
    read = run.data.source.read_sample(
        data::SampleRequest{run.plan.first_datum, run.plan.last_datum, run.plan.series_count}, work);
  } catch (const std::bad_alloc&) {
    run.messages.stop(memory_stop(report::WorkSpace::Run));
  }
  data::Sample sample = run.messages.checked(std::move(read));
  if (sample.early_end)
    run.messages.warn(early_end_warning(run.data.file_name, run.plan, *sample.early_end));
  return sample;
}

// The series' report up to its eigenvalues, its warnings; a series that stopped ends the
// invocation here.
void write_series(const Run& run, const analysis::SeriesResult& r) {
  const control::RunPlan& plan = run.plan;
  textio::Sink& report = run.outputs.report();
  report::write_description(report, r.statistics, run.data.head.format_text);
  report::write_coherence_notes(report, r.coherence);
  for (diagnostics::Warning& w : analysis::series_warnings(
           r, run.settings, diagnostics::Place::in_run(plan.run, r.series)))
    run.messages.warn(std::move(w));
  if (!r.completed()) run.messages.stop(series_stop(plan, r));
  if (r.model_run || r.smooth || r.choice) {
    const int frames_ahead = plan.analysis.frames_ahead;
    if (r.model_run)
      report::write_model_block(report, report::ModelReport{r.significant, frames_ahead,
                                                            plan.analysis.lags, r.model, *r.model_run,
                                                            plan.bin_count(), run.settings.selection(),
                                                            r.drift ? &*r.drift : nullptr});
    if (r.smooth)
      report::write_smooth_block(report,
                                 report::SmoothReport{r.significant, frames_ahead, *r.smooth, !r.model_run,
                                                      plan.bin_count(), run.settings.selection()});
    int calibrated = 0;
    if (r.calibration)
      for (const int n : r.calibration->origins) calibrated += n >= backtest::kCalibrationOrigins ? 1 : 0;
    report::write_choice(report, report::ChoiceReport{analysis::forecast_name(r), analysis::choice_reason(r),
                                                      r.intervals.empty() ? 0 : calibrated, frames_ahead,
                                                      !r.model_run});
    return;
  }
  report::write_var_block(report,
                          report::VarReport{r.significant, plan.analysis.frames_ahead, *r.fit});
}

}  // namespace

analysis::Settings series_settings(const control::RunPlan& plan, const Options& options,
                                   const data::DataHead& head) {
  analysis::Settings s;
  s.frame_length = plan.frame_length;
  s.first_bin = plan.first_bin;
  s.last_bin = plan.last_bin;
  s.taper_percent = plan.taper_percent;
  s.threshold = plan.analysis.threshold;
  s.lags = plan.analysis.lags;
  s.frames_ahead = plan.analysis.frames_ahead;
  s.errors = options.least_squares_errors ? forecast::StandardErrors::LeastSquares
                                          : forecast::StandardErrors::Traditional;
  s.model = options.model;
  s.fdr_level = options.fdr_level;
  s.interval_levels = options.interval_levels;
  s.backtest = options.backtest_origins > 0;
  s.backtest_origins = options.backtest_origins;
  s.transform = options.transform;
  // Time stamps tell a frame of a day of hourly (or faster) data: the week is a second cycle.
  if (head.time && !head.time->calendar)
    s.frames_per_week = rules::frames_per_week(static_cast<double>(head.time->step_seconds()), plan.frame_length);
  return s;
}

void perform_run(const control::RunPlan& plan, const RunData& data, State& state) {
  const Options& options = state.options;
  const Run run{plan, series_settings(plan, options, data.head), data, options, state.messages, state.outputs};
  analysis::WorkSpace work_space(options.memory_limit);
  admit_memory(run, work_space, state.wait_for_operator);
  const data::Sample sample = read_sample(run, work_space);

  // The series analysed, their results written in order, the forecast file after the last one.
  // A series that stops ends the invocation before anything of a later series is written.
  const bool keep = state.keep_results || options.json || options.plot ||
                    options.backtest_origins > 0 || !state.results.forecast_csv.empty();
  if (keep) state.results.runs.push_back(results::RunResult{plan, {}});
  std::vector<std::vector<float>> forecasts(static_cast<std::size_t>(plan.series_count));
  textio::Sink& report = state.outputs.report();
  const analysis::RunRequest request{
      run.settings, analysis::RunSize{plan.sample_size, plan.series_count}, options.threads,
      work_space, [&](int j) { return sample.series(j, work_space.store()); }, state.fallback};
  state.fallback = analysis::analyse_run(request, [&](analysis::SeriesResult& r) {
    const int j = r.series - 1;
    if (plan.series_count > 1) report::write_series_box(report, j + 1);
    if (keep) state.results.runs.back().series.push_back(r);
    write_series(run, r);
    forecasts[j] = std::move(r.forecast);
    if (j + 1 == plan.series_count)
      report::write_forecast_file(state.outputs.forecast_file(), forecasts, plan.frame_length);
    // The models without a VAR have no eigenvalues to show.
    if (r.fit || r.model_run || !r.completed()) report::write_eigenvalues(report, r.eigenvalues, plan.analysis);
  });
}

void write_backtests(State& state) {
  if (state.options.backtest_origins < 1) return;  // Auto's own backtest is in tramel.json
  for (const results::RunResult& run : state.results.runs)
    for (const analysis::SeriesResult& r : run.series)
      if (r.backtest)
        report::write_backtest_table(
            state.outputs.console(),
            report::BacktestReport{run.plan.run, r.series, r.model, analysis::forecast_name(r),
                                   state.options.model == analysis::Model::Auto, *r.backtest});
}

analysis::Model default_model(const std::filesystem::path& folder) {
  control::ControlFile file;
  if (file.open((folder / "tramel.cnl").string()) != 0) return analysis::Model::AsSpecified;
  const control::Outcome<control::GlobalBlock> global = control::read_global_block(file);
  if (global.failed()) return analysis::Model::AsSpecified;
  control::KeywordReader reader;
  const control::Outcome<control::FileSettings> files = control::read_file_settings(*global.value, reader, folder);
  if (files.failed()) return analysis::Model::AsSpecified;
  return rules::default_model(csv::is_delimited_name(files.value->data_path()));
}

}  // namespace tramel::invocation
