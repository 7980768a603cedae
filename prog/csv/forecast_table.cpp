// The forecast as CSV text: a header row, then one row per forecast sample.
#include <algorithm>
#include <charconv>
#include <string>

#include "csv/csv.hpp"

namespace tramel::csv {
namespace {

// A field as RFC 4180 writes it: quoted when it holds a comma, a quote or a line end.
void append_field(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// A number as its shortest text: a float or a level ("80", "99.5") that reads back the same,
// an integer.
template <class Number>
void append_number(std::string& out, Number v) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

std::string level_text(double level) {
  std::string t;
  append_number(t, level);
  return t;
}

// The interval levels of the widest run, ordered as the columns take them: the lower bounds
// from the widest level in, the upper ones from the narrowest out.
std::vector<double> levels_of(const ForecastTable& f) {
  std::vector<double> levels;
  for (const RunForecast& r : f.runs)
    for (const IntervalLevel& l : r.levels)
      if (std::find(levels.begin(), levels.end(), l.level) == levels.end()) levels.push_back(l.level);
  std::sort(levels.begin(), levels.end());
  return levels;
}

std::size_t series_count(const ForecastTable& f) {
  std::size_t n = f.names.size();
  for (const RunForecast& r : f.runs) n = std::max(n, r.series.size());
  return n;
}

}  // namespace

std::string forecast_csv(const ForecastTable& f) {
  const std::size_t m = series_count(f);
  const std::vector<double> levels = levels_of(f);
  std::vector<std::string> names(m);
  for (std::size_t s = 0; s < m; ++s)
    names[s] = s < f.names.size() && !f.names[s].empty() ? f.names[s] : "series" + std::to_string(s + 1);

  // The bound columns of a series in their order: the lower bounds from the widest level in,
  // then the upper ones.
  const auto for_bounds = [&levels](const auto& column) {
    for (auto l = levels.rbegin(); l != levels.rend(); ++l) column(*l, false);
    for (const double l : levels) column(l, true);
  };

  std::string out = "run,frame,position";
  if (f.time) {
    out += ',';
    append_field(out, f.time_name.empty() ? std::string_view("time") : std::string_view(f.time_name));
  }
  for (std::size_t s = 0; s < m; ++s) {
    out += ',';
    append_field(out, names[s]);
    for_bounds([&](double l, bool upper) {
      out += ',';
      append_field(out, names[s] + (upper ? "-hi-" : "-lo-") + level_text(l));
    });
  }
  out += '\n';

  for (const RunForecast& r : f.runs) {
    const int lb = std::max(r.frame_length, 1);
    std::size_t samples = 0;
    for (const std::vector<float>& s : r.series) samples = std::max(samples, s.size());
    // A bound of level l for series s at sample i; empty when the run has no such level.
    const auto bound = [&r](double level, bool upper, std::size_t s, std::size_t i, std::string& to) {
      for (const IntervalLevel& l : r.levels)
        if (l.level == level) {
          const std::vector<std::vector<float>>& b = upper ? l.upper : l.lower;
          if (s < b.size() && i < b[s].size()) append_number(to, b[s][i]);
          return;
        }
    };
    for (std::size_t i = 0; i < samples; ++i) {
      const auto k = static_cast<std::int64_t>(i);
      append_number(out, r.run);
      out += ',';
      append_number(out, k / lb + 1);
      out += ',';
      append_number(out, k % lb + 1);
      if (f.time) {
        out += ',';
        out += f.time->stamp(r.first_datum - 1 + k);
      }
      for (std::size_t s = 0; s < m; ++s) {
        out += ',';
        if (s < r.series.size() && i < r.series[s].size()) append_number(out, r.series[s][i]);
        for_bounds([&](double l, bool upper) {
          out += ',';
          bound(l, upper, s, i, out);
        });
      }
      out += '\n';
    }
  }
  return out;
}

}  // namespace tramel::csv
