// What the program says besides its results: the routing of messages, warnings and stops to
// the report, the console and the results, and the words of the program's own messages.
#include <charconv>
#include <cmath>
#include <cstring>

#include "invocation/invocation.hpp"
#include "report/report.hpp"

namespace tramel::invocation {

using diagnostics::Destination;

void Messages::say(const diagnostics::Message& m) {
  textio::Sink& sink = m.destination == Destination::Report   ? outputs_.report()
                       : m.destination == Destination::Stdout ? outputs_.console()
                                                              : outputs_.errors();
  sink.pending().append(m.text);
  sink.commit();
}

void Messages::warn(diagnostics::Warning warning) {
  while (!warning.text.empty() && warning.text.back() == '\n') warning.text.pop_back();
  outputs_.errors().line((warning.note ? "tramel: note: " : "tramel: warning: ") + warning.text);
  (warning.note ? results_.notes : results_.warnings).push_back(std::move(warning));
}

void Messages::say(const diagnostics::Note& note) {
  if (const auto* m = std::get_if<diagnostics::Message>(&note)) {
    say(*m);
  } else {
    warn(std::get<diagnostics::Warning>(note));
  }
}

// A stop said only in the report is said on standard error too, a line at a time, in the
// console's words where the stop has them; the cause of a value that is not as written is
// added to the first line, and advice that cannot help is left out.
void Messages::say_stop(const diagnostics::Stop& s) {
  say(s.message);
  const bool from_report = s.message.destination == Destination::Report && s.console.empty();
  std::vector<std::string> lines = diagnostics::lines_of(from_report ? s.message.text : s.console);
  if (!s.advice && from_report && lines.size() > 1) lines.resize(1);
  if (!s.cause.empty()) {
    if (lines.empty()) {
      const std::vector<std::string> own = diagnostics::lines_of(s.message.text);
      lines.push_back(own.empty() ? std::string("stopped") : own.front());
    }
    lines.front() += ": " + s.cause;
  }
  for (const std::string& line : lines) outputs_.errors().line("tramel: " + line);
}

void Messages::end(const diagnostics::Stop& s) {
  results_.stopped = true;
  // A stop without a message of the program's fixed wording is told by its console words.
  results_.stop_lines = diagnostics::lines_of(s.message.text.empty() ? s.console : s.message.text);
  throw Stopped{};
}

void Messages::stop(const diagnostics::Stop& s) {
  say_stop(s);
  end(s);
}

void Messages::stopped_by(const std::string& why) {
  results_.stopped = true;
  results_.stop_lines = {why};
  outputs_.errors().line("tramel: " + why);
}

std::string cannot_open(const std::string& what, const std::string& name,
                        const std::filesystem::path& folder, int error) {
  return "cannot open " + what + " " + name + " in " + control::folder_name(folder) + ": " +
         std::strerror(error) + " (tramel --help says what the folder must hold)\n";
}

diagnostics::Stop open_failure(const char* report_line, int error, std::string console) {
  return diagnostics::stop_at(Destination::Stdout, textio::list_text(report_line, std::int32_t{error}),
                              std::move(console));
}

namespace {

// A rate or interval for messages: its shortest text (2000, 0.0005, 1), as a float or a double.
template <class Real>
std::string number_text(Real v) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

}  // namespace

diagnostics::Outcome<float> data_rate(const data::DataHead& head,
                                      const control::AnalysisSettings& analysis,
                                      const Options& options, const std::string& data_file) {
  diagnostics::Outcome<float> outcome;
  const control::UnitMode mode = analysis.unit_mode;
  const char* wanted = mode == control::UnitMode::Time        ? "the sampling interval in the time unit"
                       : mode == control::UnitMode::Kilohertz ? "the sampling rate in kHz"
                                                              : "the sampling rate in Hz";
  const auto stop = [&](const std::string& why) {
    diagnostics::Stop s = diagnostics::stop_at(
        Destination::Report, textio::list_text("** Error in read of data file ", data_file),
        why + "\n");
    s.place = diagnostics::Place::in_file(data_file);
    return outcome.fail(std::move(s));
  };
  const std::optional<float> recorded = analysis.sampling;
  const std::string recorded_words = "the control file's " + std::string(control::keywords::kSampling.label) + " ";
  if (options.sampling) {
    if (!(*options.sampling > 0.0f)) return stop("--sampling must be above 0");
    outcome.value = *options.sampling;
    if (head.delimited && recorded && *recorded != *options.sampling) {
      diagnostics::Warning note{"--sampling " + number_text(*options.sampling) + " is used, not " + recorded_words +
                                    number_text(*recorded),
                                diagnostics::Place::in_file("tramel.cnl")};
      note.note = true;
      outcome.notes.emplace_back(std::move(note));
    }
    return outcome;
  }
  // Two rates that differ by more than their text's last digits do.
  const auto differs = [](float a, float b) { return std::fabs(a - b) > 1e-4f * std::fabs(b); };
  if (!head.delimited) {
    outcome.value = head.rate;
    if (recorded && differs(*recorded, head.rate))
      outcome.warn(recorded_words + number_text(*recorded) + " is not used: " + data_file +
                       " gives its own on line 2, " + number_text(head.rate),
                   diagnostics::Place::in_file("tramel.cnl"));
    return outcome;
  }
  if (!head.time) {
    if (recorded) {
      outcome.value = *recorded;
      return outcome;
    }
    return stop(data_file + " has no time column: give " + wanted + " with --sampling X");
  }
  const csv::TimeAxis& t = *head.time;
  if (mode == control::UnitMode::Time) {
    // The interval in the time column's own unit; the control file's unit text should name it.
    outcome.value = static_cast<float>(t.interval);
    std::string unit(analysis.unit_text);
    unit.erase(unit.find_last_not_of(' ') + 1);
    const std::string axis_unit(csv::unit_name(t.unit));
    if (unit != axis_unit)
      outcome.warn(data_file + ": the time column is spaced " + t.spacing_text() +
                       ", so the sampling interval is " + number_text(t.interval) + " " +
                       axis_unit + "; the control file's unit is \"" + unit +
                       "\": write Sampling unit =" + axis_unit + " so that the report's periods are in " +
                       axis_unit,
                   diagnostics::Place::in_file("tramel.cnl"));
  } else {
    if (t.calendar)
      return stop(data_file + ": a time column spaced " + t.spacing_text() +
                  " has no sampling rate: use time mode (Sampling unit =" +
                  std::string(csv::unit_name(t.unit)) + ") or give " + wanted + " with --sampling X");
    // In double, as for whole seconds it always was (the mean step is then exact).
    const double hz = 1.0 / static_cast<double>(t.step_seconds());
    outcome.value = static_cast<float>(mode == control::UnitMode::Kilohertz ? hz / 1000.0 : hz);
  }
  // The column gives the rate; a control file that says another was written for other data,
  // or the column's numbers are not in the unit they are read in.
  if (recorded && differs(*recorded, *outcome.value))
    outcome.warn(data_file + ": its time column gives " + number_text(*outcome.value) + " as " + wanted + ", but " +
                     recorded_words + "is " + number_text(*recorded) + "; the time column's is used" +
                     (t.form.kind == csv::StampForm::Kind::Number
                          ? " (its numbers are read as " + std::string(t.form.unit.words) +
                                "; --time-unit gives another unit)"
                          : std::string()),
                 diagnostics::Place::in_file("tramel.cnl"));
  return outcome;
}

diagnostics::Warning early_end_warning(const std::string& data_file, const control::RunPlan& plan,
                                       const data::EarlyEnd& end) {
  const std::int64_t zeros = end.zero_values;
  return diagnostics::Warning{
      data_file + " ends before datum " + std::to_string(plan.last_datum) + ", the last that run " +
          std::to_string(plan.run) + " reads: the last datum read is " +
          std::to_string(end.datum - 1) + ", and " + std::to_string(zeros) +
          (zeros == 1 ? " value was" : " values were") +
          " set to zero (\"**** eof in read from data file\"); give the true number of data on "
          "line 2 of the data file, or a smaller Data end",
      [&] { diagnostics::Place p = diagnostics::Place::in_file(data_file); p.run = plan.run; return p; }()};
}

diagnostics::Stop series_stop(const control::RunPlan& plan, const analysis::SeriesResult& r) {
  using analysis::SeriesStop;
  textio::Sink lines;
  report::write_series_stop(lines, r, plan.sample_size, plan.analysis.threshold);
  std::string cause;
  if (r.stop == SeriesStop::NoSignificantBins)
    cause = plan.analysis.causes.of(control::keywords::kThreshold);
  if (r.stop == SeriesStop::VarTooLarge) {
    // The advice is to raise the threshold; the VAR's size comes from the lags as much.
    for (const control::Keyword* k : {&control::keywords::kLags, &control::keywords::kThreshold}) {
      const std::string c = plan.analysis.causes.of(*k);
      if (c.empty()) continue;
      if (!cause.empty()) cause += "; ";
      cause += c;
    }
  }
  diagnostics::Stop stop = diagnostics::stop_at(Destination::Report, lines.text());
  stop.place = diagnostics::Place::in_run(plan.run, r.series);
  stop.cause = std::move(cause);
  stop.advice = stop.cause.empty();
  return stop;
}

}  // namespace tramel::invocation
