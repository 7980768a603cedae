// The control file tramel.cnl for chosen settings: a global block and one run block, every
// line with its comment marker and a comment that says what the setting does.
#include "init/control_text.hpp"

#include <charconv>
#include <cmath>
#include <string>

namespace tramel::init {
namespace {

// A real as the control file reads it: at most 7 digits before the point and 6 after, a
// point always; nothing when it does not fit or rounds to zero.
std::optional<std::string> real_text(double v) {
  if (!(v > 0.0) || v >= 9999999.5) return std::nullopt;
  char buf[48];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
  std::string t(buf, r.ptr);
  while (t.back() == '0' && t[t.size() - 2] != '.') t.pop_back();
  if (t.find_first_not_of("0.") == std::string::npos) return std::nullopt;
  if (t.find('.') > 7) return std::nullopt;
  return t;
}

// The rate or interval as the run reads it back, the same float: its shortest text, with a
// point as the control file's other reals have.
std::string sampling_text(float v) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v);
  std::string t(buf, r.ptr);
  if (t.find_first_of(".e") == std::string::npos) t += ".0";
  return t;
}

// One line: the parameters, blanks up to the comment column, the marker and the comment, cut
// to the 80 columns the reader takes (the comment alone is cut).
std::string line(const std::string& parameters, const std::string& comment) {
  constexpr std::size_t kCommentColumn = 46;
  std::string l = parameters;
  l.resize(std::max(kCommentColumn, parameters.size() + 1), ' ');
  l += "* " + comment;
  if (l.size() > static_cast<std::size_t>(control::kLineLength)) l.resize(control::kLineLength);
  while (l.back() == ' ') l.pop_back();
  return l + "\n";
}

// A comment of its own as lines "* ..." of at most 80 columns, broken at blanks; the
// lines after the first indented.
std::vector<std::string> wrapped(const std::string& text) {
  std::vector<std::string> lines;
  std::string rest = text;
  std::string lead = "* ";
  while (!rest.empty()) {
    const std::size_t room = static_cast<std::size_t>(control::kLineLength) - lead.size();
    std::size_t cut = rest.size();
    if (cut > room) {
      cut = rest.rfind(' ', room);
      if (cut == std::string::npos || cut == 0) cut = room;
    }
    lines.push_back(lead + rest.substr(0, cut) + "\n");
    rest.erase(0, cut);
    rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size() : rest.find_first_not_of(' '));
    lead = "*   ";
  }
  return lines;
}

// Text that a comment can hold: no '#', which would end the block.
std::string comment_safe(std::string t) {
  for (char& c : t)
    if (c == '#') c = '.';
  return t;
}

}  // namespace

std::string threshold_text(float threshold) { return real_text(threshold).value_or("0.0"); }

std::optional<BandText> band_text(const Settings& s, double rate, std::string& problem) {
  const double lb = s.frame_length;
  std::optional<std::string> bw, low, high;
  if (s.mode == control::UnitMode::Time) {
    bw = real_text(rate * lb);
    low = real_text(rate * lb / s.first_bin);
    high = real_text(rate * lb / s.last_bin);
  } else {
    bw = real_text(rate / lb);
    low = real_text(rate * s.first_bin / lb);
    high = real_text(rate * s.last_bin / lb);
  }
  if (!bw || !low || !high) {
    problem = "the band or the resolution of a frame of " + std::to_string(s.frame_length) +
              " samples cannot be written as the control file's reals (7 digits before the point, 6 "
              "after): give another frame length, or the sampling in another unit";
    return std::nullopt;
  }
  return BandText{*bw, *low, *high};
}

std::string control_text(const InitRequest& request, const Settings& s, const std::vector<std::string>& reasons) {
  const bool time = s.mode == control::UnitMode::Time;
  const std::int64_t m = request.series_count;
  std::string t;
  // The global block. The data file's name comes last: a name holding a keyword of a setting
  // after it (games.csv holds "ames") would otherwise be taken for that setting.
  t += line("No. of runs = 1   No. of data/file = " + std::to_string(m),
            "one run, " + std::to_string(m) + " series");
  t += line("Coherence probability = " + threshold_text(s.threshold),
            "threshold P for " + std::to_string(s.last_bin - s.first_bin + 1) + " bins");
  t += line("No. of frames = 1   No. of lags = 1", "forecast 1 frame, from 1 lag");
  t += line("Sampling unit =" + s.unit_text, time ? "no \"req\": time mode" : "\"req\" and \"+H\": Hz mode");
  if (request.keep_sampling)
    t += line(std::string(control::keywords::kSampling.label) + " = " + sampling_text(s.rate),
              time ? "interval, in " + s.unit_text : "rate, samples per second");
  t += line("Data file name =" + request.data_file, "no blank after the =");
  t += "# end of the global block\n";
  // The run block.
  t += line(time ? "Longest period = " + s.band_low + "   Shortest period = " + s.band_high
                 : "Lower freq = " + s.band_low + "   Upper freq = " + s.band_high,
            "band: bins " + std::to_string(s.first_bin) + " to " + std::to_string(s.last_bin));
  t += line("Resolution bandwidth = " + s.bandwidth,
            (time ? "frame of " : "Hz: frame of ") + std::to_string(s.frame_length) + " samples");
  t += line("% taper = 0.0", "no taper");
  t += line("Data start = 1   Data end = 0", "the whole sample");
  t += "* written by tramel init; why each setting:\n";
  // The run block holds 17 lines with its `#` line: the five above leave room for 11 more.
  int room = control::kRunBlockLines - 6;
  for (const std::string& r : reasons)
    for (const std::string& l : wrapped(comment_safe(r)))
      if (room-- > 0) t += l;
  t += "# end of run 1\n";
  return t;
}

std::optional<std::string> check_plan(const std::string& text, const InitRequest& request, const Settings& s) {
  // Whatever a step says (a message, a warning, a stop) means the text is not as it should be.
  const auto said = [](const auto& outcome, std::string& into) {
    for (const diagnostics::Note& note : outcome.notes) {
      if (const auto* m = std::get_if<diagnostics::Message>(&note)) into += m->text;
      if (const auto* w = std::get_if<diagnostics::Warning>(&note)) into += w->text + "\n";
    }
    if (outcome.stop) into += outcome.stop->message.text;
    return !outcome.notes.empty() || outcome.stop.has_value();
  };
  std::string problem;
  control::ControlFile file;
  file.open_text(text);
  control::Outcome<control::GlobalBlock> global = control::read_global_block(file);
  if (said(global, problem) || global.failed()) return "the global block: " + problem;
  const std::string& global_text = global.value->parameters.text;
  control::KeywordReader reader;
  control::FileSettings files;
  const auto runs = reader.integer(control::keywords::kRuns, global_text);
  const auto series = reader.integer(control::keywords::kSeriesCount, global_text);
  const auto name = reader.text(control::keywords::kDataFile, global_text);
  files.runs = runs.value;
  files.series_count = series.value;
  files.data_file = name.value;
  files.data_file.resize(80, ' ');
  if (!runs.ok() || !series.ok() || !name.ok() || files.runs != 1 || files.series_count != request.series_count ||
      files.data_path() != request.data_file)
    return "the number of runs, the number of series or the data file's name reads back otherwise";
  control::Outcome<control::AnalysisSettings> analysis = control::read_analysis_settings(*global.value, reader);
  if (said(analysis, problem) || analysis.failed()) return "the global block: " + problem;
  analysis.value->model = request.model;
  if (analysis.value->unit_mode != s.mode || analysis.value->threshold != s.threshold ||
      analysis.value->lags != s.lags || analysis.value->frames_ahead != s.frames_ahead ||
      analysis.value->sampling != (request.keep_sampling ? std::optional<float>(s.rate) : std::nullopt))
    return "the unit, P, the lags, the frames ahead or the sampling read back otherwise";
  const control::DataExtent extent{static_cast<std::int32_t>(request.count), s.rate};
  control::Outcome<control::RunPlan> plan = control::plan_run(file, 1, files, *analysis.value, extent, reader);
  if (said(plan, problem) || plan.failed()) return "the run block: " + problem;
  const control::RunPlan& p = *plan.value;
  if (p.frame_length != s.frame_length || p.first_bin != s.first_bin || p.last_bin != s.last_bin ||
      p.first_datum != 1 || p.last_datum != request.count)
    return "the run gets frames of " + std::to_string(p.frame_length) + " samples and bins " +
           std::to_string(p.first_bin) + " to " + std::to_string(p.last_bin);
  return std::nullopt;
}

}  // namespace tramel::init
