// The outputs of an invocation, completed in an order that loses nothing: the report and the
// forecast file, then tramel.json, then the plots.
#include <cstring>
#include <utility>

#include "invocation/invocation.hpp"
#include "output/output.hpp"

namespace tramel::invocation {

const char* version() { return TRAMEL_VERSION; }

Outputs::Outputs(const Options& options, Console console)
    : options_(options),
      folder_(options.folder),
      out_(console == Console::Memory ? nullptr : stdout, false, true),
      err_(console == Console::Memory ? nullptr : stderr, false, true) {}

namespace {

// The forecast as CSV: every run whose forecast file records were written (every series
// completed), with the data's names and time stamps.
std::string forecast_table(const results::InvocationResult& results) {
  csv::ForecastTable table;
  table.names = results.series_names;
  table.time = results.time;
  table.time_name = results.time_name;
  for (const results::RunResult& r : results.runs) {
    if (static_cast<int>(r.series.size()) != r.plan.series_count) continue;
    csv::RunForecast run;
    run.run = r.plan.run;
    run.frame_length = r.plan.frame_length;
    run.first_datum = control::forecast_first_datum(r.plan);
    bool completed = true;
    for (const results::SeriesResult& s : r.series) {
      completed = completed && s.completed();
      run.series.push_back(s.forecast);
      for (std::size_t l = 0; l < s.intervals.size(); ++l) {
        if (run.levels.size() <= l) run.levels.push_back(csv::IntervalLevel{s.intervals[l].level, {}, {}});
        run.levels[l].lower.push_back(s.intervals[l].lower);
        run.levels[l].upper.push_back(s.intervals[l].upper);
      }
    }
    if (completed) table.runs.push_back(std::move(run));
  }
  return csv::forecast_csv(table);
}

}  // namespace

bool Outputs::finish(const results::InvocationResult& results) {
  bool written = true;
  // What could not be written, said on standard error.
  const auto failed = [&](const std::string& what) {
    err_.line("tramel: " + what);
    written = false;
  };
  const auto cannot_write = [&](const std::string& name, int error) {
    failed("cannot write " + name + ": " + std::strerror(error));
  };
  // A report or forecast file that could not be written whole (a full disk) is no success.
  report_.close();
  forecast_.close();
  if (report_.error() != 0) cannot_write("tramel.out", report_.error());
  if (forecast_.error() != 0) cannot_write("the forecast file", forecast_.error());
  if (report_open_ && !results.forecast_csv.empty()) {
    textio::Sink csv;
    if (const int e = csv.open(path_of(results.forecast_csv)); e != 0) {
      cannot_write(results.forecast_csv, e);
    } else {
      std::string text = forecast_table(results);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      csv.line(text);
      csv.close();
      if (csv.error() != 0) cannot_write(results.forecast_csv, csv.error());
    }
  }
  if (report_open_ && options_.json) {
    const std::string error = output::write_json(folder_ / "tramel.json", results, version());
    if (!error.empty()) failed(error);
  }
  out_.flush();
  err_.flush();
  if (report_open_ && options_.plot) {
    for (const std::string& error : output::write_plots(folder_, results)) failed(error);
  }
  out_.flush();
  err_.flush();
  return written;
}

}  // namespace tramel::invocation
