// The main program: opens the files of the invocation, reads the global settings and the head
// of the data file, and performs the runs: plan the run, read the sample, and for each series
// describe it, find its coherence, fit the VAR, forecast, take the eigenvalues, and write
// each result. A failed check anywhere ends the program after its messages.
#include "tramel.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "control/control.hpp"
#include "data/data.hpp"
#include "numeric/numeric.hpp"
#include "output/output.hpp"
#include "parallel/parallel.hpp"
#include "pipeline.hpp"
#include "report/report.hpp"
#include "results/results.hpp"
#include "textio/textio.hpp"

namespace tramel {

namespace {

using textio::Sink;

// A failed check: the program ends once the check's messages are written.
struct Stopped {};

// The wait for the operator before the label-array stop: one line from standard input, or
// nothing at all when standard input is closed or at its end.
void wait_for_operator() {
  for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
  }
}

// The lines of a message without their line ends and the blanks around them.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    line.erase(0, line.find_first_not_of(' '));
    line.erase(line.find_last_not_of(' ') + 1);
    if (!line.empty()) lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

class Invocation {
 public:
  explicit Invocation(const Options& options) : options_(options) {
    results_.least_squares_errors = options.least_squares_errors;
  }

  void run();
  // A stop that no check of the invocation's own made (memory exhausted, a file system that
  // fails): said on the console and in the results all the same.
  void note_stop(const std::string& why) {
    results_.stopped = true;
    results_.stop_lines = {why};
    err_.line("tramel: " + why);
  }
  // The results beyond the report, where the report was written; then every file flushed and
  // closed. False when an output could not be written whole.
  bool finish();
  bool has_warnings() const { return !results_.warnings.empty(); }

 private:
  void open_control_and_report();
  std::string cannot_open(const std::string& what, const std::string& name, int error) const;
  void open_data_file(const control::FileSettings& files);
  void open_forecast_file(const control::FileSettings& files);
  void perform_run(const control::RunPlan& plan);
  std::vector<results::SeriesResult> analyse_batch(const data::Sample& sample, int first, int count,
                                                   const RunContext& context);
  void write_series(const control::RunPlan& plan, const results::SeriesResult& r);
  void warn_about(const control::RunPlan& plan, const results::SeriesResult& r);

  // Prints a step's messages; the step's value, or the end of the program when it failed.
  template <class T>
  T checked(textio::Outcome<T> outcome) {
    if (!outcome.failed()) {
      for (const textio::Message& m : outcome.messages) say(m);
      return std::move(*outcome.value);
    }
    // The failed check's message is the last.
    for (std::size_t i = 0; i + 1 < outcome.messages.size(); ++i) say(outcome.messages[i]);
    if (outcome.messages.empty()) throw Stopped{};
    stop_with(outcome.messages.back());
  }
  void say(const textio::Message& m) {
    switch (m.channel) {
      case textio::Channel::Report:
        write_to(report_, m.text);
        break;
      case textio::Channel::Stdout:
        write_to(out_, m.text);
        break;
      case textio::Channel::Stderr:
        write_to(err_, m.text);
        break;
      case textio::Channel::Warning:
        warn(m.text);
        break;
    }
  }
  static void write_to(Sink& sink, const std::string& text) {
    sink.pending().append(text);
    sink.commit();
  }
  // A warning: on standard error, and in the results.
  void warn(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    err_.line("tramel: warning: " + text);
    results_.warnings.push_back(std::move(text));
  }
  // Says the message of a failed check and ends the program. A stop said only in the report
  // is said on standard error too, a line at a time.
  [[noreturn]] void stop_with(const textio::Message& m) {
    say_stop(m);
    end_with(m.text);
  }
  void say_stop(const textio::Message& m) {
    say(m);
    const std::string& console =
        m.channel == textio::Channel::Report && m.console.empty() ? m.text : m.console;
    for (const std::string& line : lines_of(console)) err_.line("tramel: " + line);
  }
  // Ends the program after a failed check whose message `text` has been said.
  [[noreturn]] void end_with(const std::string& text) {
    results_.stopped = true;
    results_.stop_lines = lines_of(text);
    throw Stopped{};
  }
  [[noreturn]] void stop_with(textio::Channel channel, std::string text) {
    stop_with(textio::Message{channel, std::move(text)});
  }
  // The same for a stop that a report writer words.
  template <class Writer>
  [[noreturn]] void stop_in_report(Writer write) {
    Sink lines;
    write(lines);
    stop_with(textio::Channel::Report, lines.text());
  }
  std::string path_of(const std::string& name) const { return (options_.folder / name).string(); }
  forecast::StandardErrors standard_errors() const {
    return options_.least_squares_errors ? forecast::StandardErrors::LeastSquares
                                         : forecast::StandardErrors::Traditional;
  }

  const Options options_;
  Sink out_{stdout, false, true};
  Sink err_{stderr, false, true};
  Sink report_;
  Sink forecast_;
  control::ControlFile control_;
  textio::TextFile data_;
  control::KeywordReader reader_;   // with the readers' saved results
  numeric::GammaMemory gamma_;      // the incomplete gamma function's last result
  control::DataExtent extent_;
  std::string format_text_;
  data::RecordLayout layout_ = data::RecordLayout::Plain;
  bool report_open_ = false;
  results::InvocationResult results_;  // what the JSON and the plots are made of
};

// The console's line for a file that cannot be opened: which file, in which folder, and why.
std::string Invocation::cannot_open(const std::string& what, const std::string& name, int error) const {
  const std::string folder = control::folder_name(options_.folder);
  return "cannot open " + what + " " + name + " in " + folder + ": " + std::strerror(error) +
         " (tramel --help says what the folder must hold)\n";
}

void Invocation::open_control_and_report() {
  if (const int e = control_.open(path_of("tramel.cnl")); e != 0)
    stop_with(textio::Message(
        textio::Channel::Stdout,
        textio::list_text("**** Error on opening control file 1 ", std::int32_t{e}),
        cannot_open("the control file", "tramel.cnl", e)));
  if (const int e = report_.open(path_of("tramel.out")); e != 0)
    stop_with(textio::Message(
        textio::Channel::Stdout,
        textio::list_text("**** Error on opening output file ", std::int32_t{e}),
        cannot_open("the report", "tramel.out", e)));
  report_open_ = true;
}

void Invocation::open_data_file(const control::FileSettings& files) {
  if (const int e = data_.open(path_of(files.data_path())); e != 0)
    stop_with(textio::Message(
        textio::Channel::Stdout,
        textio::list_text("**** Error on opening data file ", std::int32_t{e}),
        cannot_open("the data file", files.data_path(), e)));
}

void Invocation::open_forecast_file(const control::FileSettings& files) {
  const std::string path = path_of(files.forecast_path());
  // A data file that is itself the forecast file (x.forec, or a link to it) would be emptied
  // by the opening before its data are read: refused like a file that exists.
  std::error_code ec;
  if (std::filesystem::equivalent(path, path_of(files.data_path()), ec))
    stop_with(textio::Message(
        textio::Channel::Stdout,
        textio::list_text("**** Error on opening forecast file ", std::int32_t{EEXIST}),
        "the forecast file " + files.forecast_path() + " would be the data file " +
            files.data_path() + ": rename the data file\n"));
  if (const int e = forecast_.open(path); e != 0)
    stop_with(textio::Message(
        textio::Channel::Stdout,
        textio::list_text("**** Error on opening forecast file ", std::int32_t{e}),
        cannot_open("the forecast file", files.forecast_path(), e)));
}

void Invocation::run() {
  open_control_and_report();
  const float start = report::processor_seconds();
  report::write_banner(report_);

  // The global settings and the head of the data file.
  const control::ParameterText global = checked(control::read_global_block(control_));
  const control::FileSettings files =
      checked(control::read_file_settings(global, reader_, options_.folder));
  results_.data_file = files.data_path();
  open_data_file(files);
  data::HeadOutcome head = data::read_head(data_);
  if (head.title) {
    report::write_title(report_, *head.title);
    results_.title = *head.title;
  }
  const data::DataHead data_head = checked(std::move(head.head));
  extent_ = control::DataExtent{data_head.count, data_head.rate};
  format_text_ = data_head.format_text;
  layout_ = data_head.layout;
  open_forecast_file(files);
  const control::AnalysisSettings analysis =
      checked(control::read_analysis_settings(global, reader_));
  report_.flush();

  // The runs.
  for (int run = 1; run <= files.runs; ++run) {
    const control::RunPlan plan =
        checked(control::plan_run(control_, run, files, analysis, extent_, reader_));
    report::write_run_header(report_, plan, standard_errors());
    perform_run(plan);
    report::write_run_end(report_, plan);
  }
  report::write_closing_lines(report_, out_, start);
}

void Invocation::perform_run(const control::RunPlan& plan) {
  // The work space of the run, then the labels of label mode.
  WorkSpace work_space(options_.memory_limit);
  const std::uint64_t run_bytes = WorkSpace::run_bytes(plan);
  if (!work_space.fits(run_bytes)) stop_in_report([](Sink& s) {
    report::write_work_space_failure(s, report::WorkSpace::Run);
  });
  work_space.take(run_bytes);
  if (layout_ == data::RecordLayout::Labelled) {
    const std::uint64_t label_bytes = WorkSpace::label_bytes(plan);
    if (!work_space.fits(label_bytes)) {
      // Said, and on disk, before the wait for the operator.
      Sink lines;
      report::write_work_space_failure(lines, report::WorkSpace::Labels);
      say_stop(textio::Message{textio::Channel::Report, lines.text()});
      report_.flush();
      wait_for_operator();
      end_with(lines.text());
    }
    work_space.take(label_bytes);
  }

  // Read the sample.
  const data::SampleRequest request{plan.first_datum, plan.last_datum, plan.series_count,
                                    format_text_, layout_, results_.data_file};
  const textio::RecordWork records{
      options_.threads, [threads = options_.threads](std::int64_t count, const auto& work) {
        parallel::for_chunks(count, parallel::Threads{threads}, work);
      }};
  textio::Outcome<data::Sample> read;
  try {
    read = data::read_sample(data_, request, records);
  } catch (const std::bad_alloc&) {
    stop_in_report([](Sink& s) { report::write_work_space_failure(s, report::WorkSpace::Run); });
  }
  const data::Sample sample = checked(std::move(read));
  if (const std::optional<data::EarlyEnd>& end = sample.early_end) {
    const std::int64_t zeros = end->zero_values;
    warn(results_.data_file + " ends before datum " + std::to_string(plan.last_datum) +
         ", the last that run " + std::to_string(plan.run) + " reads: the last datum read is " +
         std::to_string(end->datum - 1) + ", and " + std::to_string(zeros) +
         (zeros == 1 ? " value was" : " values were") +
         " set to zero (\"**** eof in read from data file\"); give the true number of data on "
         "line 2 of the data file, or a smaller Data end");
  }

  // The series, so many at a time: analyse them side by side, then write their results in
  // order, the forecast file after the last one. A series that stops ends the program before
  // anything of a later series is written.
  const numeric::FftPlan fft(plan.frame_length);
  const Schedule schedule = schedule_series(plan, options_.threads, work_space);
  const RunContext context{plan, fft, standard_errors(), work_space, schedule.per_series};
  const bool keep = options_.json || options_.plot;
  if (keep) results_.runs.push_back(results::RunResult{plan, {}});
  std::vector<std::vector<float>> forecasts(static_cast<std::size_t>(plan.series_count));
  const auto batch_at = [&](int first) {
    return analyse_batch(sample, first,
                         std::min(schedule.series_at_once, plan.series_count - first), context);
  };
  std::vector<results::SeriesResult> batch = batch_at(0);
  for (int first = 0; first < plan.series_count; first += schedule.series_at_once) {
    // The next batch is analysed while this one is written (never with one thread, nor when
    // memory is short). `ahead` is declared last: a stop that unwinds this scope joins it
    // before anything it uses goes.
    const int next_first = first + schedule.series_at_once;
    std::vector<results::SeriesResult> next;
    std::exception_ptr failed;
    std::jthread ahead;
    if (next_first < plan.series_count && schedule.analyse_ahead) {
      ahead = std::jthread([&, next_first] {
        try {
          next = batch_at(next_first);
        } catch (...) {
          failed = std::current_exception();
        }
      });
    }
    for (results::SeriesResult& r : batch) {
      const int j = r.series - 1;
      if (plan.series_count > 1) report::write_series_box(report_, j + 1);
      if (keep) results_.runs.back().series.push_back(r);
      write_series(plan, r);
      forecasts[j] = std::move(r.forecast);
      if (j + 1 == plan.series_count)
        report::write_forecast_file(forecast_, forecasts, plan.frame_length);
      report::write_eigenvalues(report_, r.eigenvalues, plan.analysis);
    }
    if (ahead.joinable()) {
      ahead.join();
      if (failed) std::rethrow_exception(failed);
      batch = std::move(next);
    } else if (next_first < plan.series_count) {
      batch = batch_at(next_first);
    }
  }
}

// Series first..first+count-1 (from 0), analysed side by side. The incomplete gamma
// function's carried result runs from series to series: the first of the batch starts from
// the invocation's, the others from one that is not known yet. A series that turns out to need
// it is analysed again, in order, once its predecessors have left it.
std::vector<results::SeriesResult> Invocation::analyse_batch(const data::Sample& sample, int first,
                                                             int count, const RunContext& context) {
  std::vector<results::SeriesResult> batch(static_cast<std::size_t>(count));
  std::vector<numeric::GammaMemory> memory(static_cast<std::size_t>(count),
                                           numeric::GammaMemory{0.0f, false, false});
  memory[0] = gamma_;
  parallel::for_each_index(count, parallel::Threads{count}, [&](std::int64_t i) {
    const int j = first + static_cast<int>(i);
    batch[i] = analyse_series(j + 1, sample.series(j), context, memory[i]);
  });
  for (int i = 0; i < count; ++i) {
    if (memory[i].needed_unknown) {
      batch[i] = analyse_series(first + i + 1, sample.series(first + i), context, gamma_);
    } else if (memory[i].known) {
      gamma_ = memory[i];
    }
    if (batch[i].stop != results::SeriesStop::None) {
      batch.resize(static_cast<std::size_t>(i) + 1);  // nothing after a series that stops
      break;
    }
  }
  return batch;
}

// The series' report up to its eigenvalues; a series that stopped ends the program here.
void Invocation::write_series(const control::RunPlan& plan, const results::SeriesResult& r) {
  using results::SeriesStop;
  report::write_description(report_, r.statistics, format_text_);
  report::write_coherence_notes(report_, r.coherence);
  warn_about(plan, r);
  switch (r.stop) {
    case SeriesStop::None:
      break;
    case SeriesStop::CoherenceWorkSpace:
      stop_in_report([](Sink& s) { report::write_work_space_failure(s, report::WorkSpace::NoiseFrames); });
    case SeriesStop::NoSignificantBins:
      stop_in_report([](Sink& s) { report::write_no_significant_bins(s); });
    case SeriesStop::VarTooLarge:
      stop_in_report([&](Sink& s) {
        report::write_var_too_large(s, plan.sample_size, r.var_size, plan.analysis.threshold);
      });
    case SeriesStop::VarWorkSpace:
      stop_in_report([&](Sink& s) {
        report::write_work_space_failure(s, report::WorkSpace::Var,
                                         static_cast<int>(r.significant.size()), r.var_size);
      });
    case SeriesStop::FitWorkSpace:
      stop_in_report([](Sink& s) { report::write_work_space_failure(s, report::WorkSpace::Fit); });
    case SeriesStop::NotPositiveDefinite:
      stop_in_report([](Sink& s) { report::write_fit_failure(s); });
  }
  report::write_var_block(report_, report::VarReport{r.significant, plan.analysis.frames_ahead, *r.fit});
}

// What the report says of a series without stopping, said on the console as warnings.
void Invocation::warn_about(const control::RunPlan& plan, const results::SeriesResult& r) {
  const std::string series = "run " + std::to_string(plan.run) + ", series " + std::to_string(r.series);
  if (r.statistics.zero_variance)
    warn(series + ": the series has no spread (a constant value, or fewer than two values); its "
                  "standard deviation is taken as 1 (\"Variance in STAT = 0 & is set = 1.\")");
  if (r.coherence.taper_note)
    warn(series + ": the taper was refused and the frames are not tapered (see the report)");
  if (!r.coherence.notes.empty()) {
    warn(series + ": the coherence probability of " + std::to_string(r.coherence.notes.size()) +
         " of the band's bins could not be computed and took the last one computed (the report "
         "has the messages); a series with values that are not numbers (NaN, Inf) does that");
  }
  if (!r.eigenvalues.converged && r.completed())
    warn(series + ": the eigenvalue iteration gave up after 30 iterations (\"Too many "
                  "iterations in hqr\"); the eigenvalues it did not reach are shown as 0");
}

bool Invocation::finish() {
  bool written = true;
  if (report_open_ && options_.json) {
    const std::string error =
        output::write_json(options_.folder / "tramel.json", results_, version());
    if (!error.empty()) {
      err_.line("tramel: " + error);
      written = false;
    }
  }
  if (report_open_ && options_.plot) {
    for (const std::string& error : output::write_plots(options_.folder, results_)) {
      err_.line("tramel: " + error);
      written = false;
    }
  }
  // A report or forecast file that could not be written whole (a full disk) is no success.
  report_.close();
  forecast_.close();
  for (const auto& [sink, name] : {std::pair<const Sink*, const char*>{&report_, "tramel.out"},
                                   {&forecast_, "the forecast file"}}) {
    if (sink->error() != 0) {
      err_.line(std::string("tramel: cannot write ") + name + ": " + std::strerror(sink->error()));
      written = false;
    }
  }
  out_.flush();
  err_.flush();
  return written;
}

}  // namespace

const char* version() { return TRAMEL_VERSION; }

int program(const Options& options) {
  try {
    Invocation invocation(options);
    int status = 0;
    try {
      invocation.run();
    } catch (const Stopped&) {
      status = 1;
    } catch (const std::bad_alloc&) {
      invocation.note_stop("stopped: not enough memory");
      status = 1;
    } catch (const std::exception& e) {
      invocation.note_stop(std::string("stopped: ") + e.what());
      status = 1;
    } catch (...) {
      invocation.note_stop("stopped");
      status = 1;
    }
    if (!invocation.finish() && status == 0) status = 1;
    if (status == 0 && options.strict && invocation.has_warnings()) status = 3;
    return status;
  } catch (...) {
    return 1;
  }
}

}  // namespace tramel
