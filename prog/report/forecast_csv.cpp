// The forecast as CSV for spreadsheets and data frames: a header row, then one row per forecast
// sample with every series side by side and, per interval level, each series' lower and upper
// bound; and the table of a backtest for the console.
#include <charconv>
#include <cmath>

#include "report/report.hpp"

namespace tramel::report {

namespace {

// A single-precision value as its shortest text that reads back to the same value; a value
// that is not finite as an empty field.
void append_value(std::string& line, float v) {
  if (!std::isfinite(v)) return;
  char text[32];
  line.append(text, std::to_chars(text, text + sizeof text, v).ptr);
}

// A column name as a CSV field: quoted when it holds a comma, a quote or a line end.
void append_name(std::string& line, std::string_view name) {
  if (name.find_first_of(",\"\r\n") == std::string_view::npos) {
    line += name;
    return;
  }
  line += '"';
  for (const char c : name) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

std::string level_text(float level) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, level).ptr);
}

}  // namespace

void write_forecast_csv_header(Sink& csv, const ForecastTable& table) {
  std::string line = "run,frame,position";
  if (!table.time_stamps.empty()) line += ",time";
  for (const ForecastColumn& c : table.series) {
    line += ',';
    append_name(line, c.name);
  }
  for (std::size_t l = 0; l < table.levels.size(); ++l) {
    for (const ForecastColumn& c : table.series) {
      for (const char* side : {"-lo-", "-hi-"}) {
        line += ',';
        append_name(line, c.name + side + level_text(table.levels[l]));
      }
    }
  }
  csv.line(line);
}

void write_forecast_csv(Sink& csv, const ForecastTable& table) {
  if (table.series.empty() || table.frame_length < 1) return;
  const std::size_t samples = table.series[0].forecast.size();
  std::string line;
  for (std::size_t row = 0; row < samples; ++row) {
    line = std::to_string(table.run) + "," + std::to_string(row / table.frame_length + 1) + "," +
           std::to_string(row % table.frame_length + 1);
    if (!table.time_stamps.empty()) {
      line += ',';
      if (row < table.time_stamps.size()) line += table.time_stamps[row];
    }
    for (const ForecastColumn& c : table.series) {
      line += ',';
      append_value(line, c.forecast[row]);
    }
    for (std::size_t l = 0; l < table.levels.size(); ++l) {
      for (const ForecastColumn& c : table.series) {
        for (const bool upper : {false, true}) {
          line += ',';
          if (l < c.intervals.size())
            append_value(line, upper ? c.intervals[l].upper[row] : c.intervals[l].lower[row]);
        }
      }
    }
    csv.line(line);
  }
}

}  // namespace tramel::report
