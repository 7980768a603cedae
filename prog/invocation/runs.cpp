// A run over its series: the work space, the sample, the series analysed side by side as far
// as threads and memory allow, and their results written in the order of one thread.
#include <exception>
#include <new>
#include <thread>
#include <vector>

#include "invocation/invocation.hpp"
#include "parallel/parallel.hpp"
#include "report/report.hpp"

namespace tramel::invocation {

namespace {

// Waits for the operator before the label-array stop: one line from standard input, or
// nothing at all when standard input is closed or at its end.
void wait_for_operator() {
  for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
  }
}

// A stop that a report writer words.
template <class Writer>
diagnostics::Stop report_stop(Writer write) {
  textio::Sink lines;
  write(lines);
  return diagnostics::stop_at(diagnostics::Destination::Report, lines.text());
}


// The series' report up to its eigenvalues, its warnings; a series that stopped ends the
// invocation here.
void write_series(const control::RunPlan& plan, const analysis::SeriesResult& r,
                  const data::DataHead& head, State& state) {
  textio::Sink& report = state.outputs.report();
  report::write_description(report, r.statistics, head.format_text);
  report::write_coherence_notes(report, r.coherence);
  for (diagnostics::Warning& w : analysis::series_warnings(
           r, series_settings(plan, state.options), diagnostics::Place::in_run(plan.run, r.series)))
    state.messages.warn(std::move(w));
  if (!r.completed()) state.messages.stop(series_stop(plan, r));
  if (r.model_run) {
    report::write_model_block(report, report::ModelReport{r.significant, plan.analysis.frames_ahead,
                                                          plan.analysis.lags, r.model, *r.model_run});
    return;
  }
  report::write_var_block(report,
                          report::VarReport{r.significant, plan.analysis.frames_ahead, *r.fit});
}

}  // namespace

analysis::Settings series_settings(const control::RunPlan& plan, const Options& options) {
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
  s.interval_levels = options.interval_levels;
  s.backtest = options.backtest_origins > 0;
  s.backtest_origins = options.backtest_origins;
  return s;
}

void perform_run(const control::RunPlan& plan, const RunData& data, State& state) {
  const Options& options = state.options;
  Messages& messages = state.messages;
  const analysis::Settings settings = series_settings(plan, options);
  const analysis::RunSize size{plan.sample_size, plan.series_count};

  // The work space of the run, then the labels of label mode.
  analysis::WorkSpace work_space(options.memory_limit);
  const std::uint64_t run_bytes = analysis::WorkSpace::run_bytes(settings, size);
  if (!work_space.fits(run_bytes))
    messages.stop(report_stop([](textio::Sink& s) {
      report::write_work_space_failure(s, report::WorkSpace::Run);
    }));
  work_space.take(run_bytes);
  const data::SampleRequest request{plan.first_datum, plan.last_datum, plan.series_count};
  if (const std::uint64_t label_bytes = data.source.label_bytes(request); label_bytes > 0) {
    if (!work_space.fits(label_bytes)) {
      // Said, and on disk, before the wait for the operator.
      const diagnostics::Stop stop = report_stop([](textio::Sink& s) {
        report::write_work_space_failure(s, report::WorkSpace::Labels);
      });
      messages.say_stop(stop);
      state.outputs.report().flush();
      wait_for_operator();
      messages.end(stop);
    }
    work_space.take(label_bytes);
  }

  // Read the sample.
  const data::ReadWork read_work{
      textio::RecordWork{options.threads,
                         [threads = options.threads](std::int64_t count, const auto& work) {
                           parallel::for_chunks(count, parallel::Threads{threads}, work);
                         }},
      work_space.store()};
  diagnostics::Outcome<data::Sample> read;
  try {
    read = data.source.read_sample(request, read_work);
  } catch (const std::bad_alloc&) {
    messages.stop(report_stop([](textio::Sink& s) {
      report::write_work_space_failure(s, report::WorkSpace::Run);
    }));
  }
  const data::Sample sample = messages.checked(std::move(read));
  if (sample.early_end) messages.warn(early_end_warning(data.file_name, plan, *sample.early_end));

  // The series, so many at a time: analyse them side by side, then write their results in
  // order, the forecast file after the last one. A series that stops ends the invocation before
  // anything of a later series is written.
  const numeric::FftPlan fft(plan.frame_length);
  const analysis::Schedule schedule =
      analysis::schedule_series(settings, size, options.threads, work_space);
  const analysis::Context context{fft, &work_space, schedule.per_series};
  const bool keep = state.keep_results || options.json || options.plot ||
                    options.backtest_origins > 0 || !state.results.forecast_csv.empty();
  if (keep) state.results.runs.push_back(results::RunResult{plan, {}});
  std::vector<std::vector<float>> forecasts(static_cast<std::size_t>(plan.series_count));
  const auto batch_at = [&](int first, numeric::ProbabilityFallback fallback) {
    return analysis::analyse_batch(
        analysis::BatchRequest{first, std::min(schedule.series_at_once, plan.series_count - first),
                               settings, context,
                               [&](int j) { return sample.series(j, work_space.store()); }},
        fallback);
  };
  textio::Sink& report = state.outputs.report();
  analysis::Batch batch = batch_at(0, state.fallback);
  for (int first = 0; first < plan.series_count; first += schedule.series_at_once) {
    // The next batch is analysed while this one is written (never with one thread, nor when
    // memory is short). `ahead` is declared last: a stop that unwinds this scope joins it
    // before anything it uses goes.
    const int next_first = first + schedule.series_at_once;
    state.fallback = batch.fallback;
    analysis::Batch next;
    std::exception_ptr failed;
    std::jthread ahead;
    if (next_first < plan.series_count && schedule.analyse_ahead) {
      ahead = std::jthread([&, next_first, fallback = batch.fallback] {
        try {
          next = batch_at(next_first, fallback);
        } catch (...) {
          failed = std::current_exception();
        }
      });
    }
    for (analysis::SeriesResult& r : batch.series) {
      const int j = r.series - 1;
      if (plan.series_count > 1) report::write_series_box(report, j + 1);
      if (keep) state.results.runs.back().series.push_back(r);
      write_series(plan, r, data.head, state);
      forecasts[j] = std::move(r.forecast);
      if (j + 1 == plan.series_count)
        report::write_forecast_file(state.outputs.forecast_file(), forecasts, plan.frame_length);
      report::write_eigenvalues(report, r.eigenvalues, plan.analysis);
    }
    if (ahead.joinable()) {
      ahead.join();
      if (failed) std::rethrow_exception(failed);
      batch = std::move(next);
    } else if (next_first < plan.series_count) {
      batch = batch_at(next_first, batch.fallback);
    }
  }
}

void write_backtests(State& state) {
  if (state.options.backtest_origins < 1) return;  // Auto's own backtest is in tramel.json
  for (const results::RunResult& run : state.results.runs)
    for (const analysis::SeriesResult& r : run.series)
      if (r.backtest)
        report::write_backtest_table(
            state.outputs.console(),
            report::BacktestReport{run.plan.run, r.series, r.model,
                                   state.options.model == analysis::Model::Auto, *r.backtest});
}

}  // namespace tramel::invocation
