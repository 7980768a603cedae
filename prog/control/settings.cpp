// The settings of the whole invocation, from the global block of the control file: the data
// file and the number of runs and series, then the threshold, horizon, lags and unit.
#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "control/console_text.hpp"
#include "control/control.hpp"

namespace tramel::control {

using namespace textio::literals;

namespace {

using diagnostics::Destination;
using diagnostics::Stop;
using textio::list_text;

constexpr std::string_view kGlobalBlock = "the global block";

// The settings of the global block, read one after another: each value with the reader's own
// message, when it has one, to standard error, the warning when it could not be read, and
// the cause of a value that is not as written.
template <class T>
struct GlobalReader {
  KeywordReader& reader;
  const GlobalBlock& global;
  Outcome<T>& outcome;
  SettingCauses causes;
  std::string lines;  // where the last setting read stands, as the console names it

  template <class V>
  V keep(const Keyword& keyword, KeywordValue<V> value) {
    const ParameterText& text = global.parameters;
    if (!value.message.empty()) outcome.say(Destination::Stderr, value.message);
    if (std::string w = keyword_warning(keyword, value, text, kGlobalBlock); !w.empty())
      outcome.warn(std::move(w), diagnostics::Place::in_file("tramel.cnl"));
    causes.add(keyword, setting_cause(keyword, value, text, global.lines_with_tabs));
    lines = text.lines_text(value.position, value.error != ReadError::KeywordAbsent);
    return std::move(value.value);
  }
  std::int32_t integer(const Keyword& k) { return keep(k, reader.integer(k, global.parameters.text)); }
  float real(const Keyword& k) { return keep(k, reader.real(k, global.parameters.text)); }
  std::string text(const Keyword& k) { return keep(k, reader.text(k, global.parameters.text)); }

  // The stop of a rule on the setting just read: its message said on standard error, the
  // rule's words on the console's line, with the cause of the setting.
  Outcome<T>& stop_on_console(std::string text, const Keyword& checked, const rules::Broken& rule) {
    Stop s = diagnostics::stop_at(Destination::Stderr, std::move(text), lines + ": " + rule.words + "\n");
    s.cause = causes.of(checked);
    return outcome.fail(std::move(s));
  }
  // A stop said in the report, with the cause of the setting it checks.
  Outcome<T>& stop_in_report(std::string text, const Keyword& checked, std::string console = {}) {
    Stop s = diagnostics::stop_at(Destination::Report, std::move(text), std::move(console));
    s.cause = causes.of(checked);
    return outcome.fail(std::move(s));
  }
};

// The optional sampling rate or interval: nothing, and nothing said, when the block does not
// hold it; a warning, and nothing, when its value is not a number above 0. Its own reading (not
// the real reader's) takes any number and leaves the real reader's saved result alone.
std::optional<float> recorded_sampling(const GlobalBlock& global, Outcome<AnalysisSettings>& outcome) {
  const Keyword& k = keywords::kSampling;
  const std::string_view text = global.parameters.text;
  const std::size_t at = text.find(k.text);
  if (at == std::string_view::npos) return std::nullopt;
  const std::string where = "tramel.cnl line " + std::to_string(global.parameters.line_of(at)) + ": \"" +
                            std::string(k.text) + "\" (" + std::string(k.label) + ")";
  const auto not_used = [&](const std::string& what) {
    outcome.warn(where + " " + what + "; it is not used",
                 diagnostics::Place::in_file("tramel.cnl", global.parameters.line_of(at)));
    return std::nullopt;
  };
  std::size_t from = text.find('=', at);
  if (from == std::string_view::npos) return not_used("has no \"=\" after it");
  from = text.find_first_not_of(' ', from + 1);
  const std::size_t to = from == std::string_view::npos ? from : text.find_first_of(std::string_view(" \0", 2), from);
  const std::string_view word = from == std::string_view::npos ? std::string_view() : text.substr(from, to - from);
  float value = 0.0f;
  const char* last = word.data() + word.size();
  const std::from_chars_result r = std::from_chars(word.data(), last, value);
  if (word.empty() || r.ec != std::errc() || r.ptr != last || !(value > 0.0f) || !std::isfinite(value))
    return not_used("has the value \"" + std::string(word.substr(0, 20)) + "\", which is not a number above 0");
  return value;
}

}  // namespace

std::string folder_name(const std::filesystem::path& folder) {
  std::error_code ec;
  std::string name = std::filesystem::absolute(folder, ec).lexically_normal().string();
  if (name.size() > 1 && name.back() == '/') name.pop_back();
  return name;
}

std::string FileSettings::data_path() const {
  return data_file.substr(0, data_file.find_last_not_of(' ') + 1);
}

std::string FileSettings::forecast_path() const {
  return data_file.substr(0, data_file.find('.') + 1) + "forec";
}

std::string FileSettings::forecast_csv_path() const {
  return data_file.substr(0, data_file.find('.') + 1) + "forecast.csv";
}

Outcome<GlobalBlock> read_global_block(ControlFile& control) {
  constexpr auto kLine70 = "(a70)"_format;
  Outcome<GlobalBlock> outcome;
  Block block = control.read_block(kGlobalBlockLines);
  for (diagnostics::Warning& w : tab_warnings(block)) outcome.notes.emplace_back(std::move(w));
  switch (block.end) {
    case Block::End::Complete:
      outcome.value = GlobalBlock{std::move(block.parameters), std::move(block.lines_with_tabs)};
      break;
    case Block::End::MissingMarker: {
      const std::string text =
          list_text("Place comment marker * after parameters for top readon ostrel.cnl") +
          textio::format_text(kLine70, block.bad_line);
      outcome.fail(diagnostics::stop_at(
          Destination::Report, text,
          naming_lines(text, "ostrel.cnl",
                       "tramel.cnl line " + std::to_string(block.bad_line_number))));
      break;
    }
    case Block::End::EndOfFile:
      outcome.fail(diagnostics::stop_at(Destination::Report,
                                        list_text("Control file ended inside the global block")));
      break;
  }
  return outcome;
}

Outcome<FileSettings> read_file_settings(const GlobalBlock& global, KeywordReader& reader,
                                         const std::filesystem::path& folder) {
  Outcome<FileSettings> outcome;
  FileSettings s;

  GlobalReader<FileSettings> read{reader, global, outcome, {}, {}};
  s.runs = read.integer(keywords::kRuns);
  s.series_count = read.integer(keywords::kSeriesCount);
  if (s.series_count < 1)
    return read.stop_in_report(list_text("No. of data columns ", s.series_count, " < 1"),
                               keywords::kSeriesCount);

  s.data_file = read.text(keywords::kDataFile);
  s.data_file.resize(80, ' ');
  const std::size_t dot = s.data_file.find('.');
  if (dot == std::string::npos)
    return read.stop_in_report(list_text("Data file ", s.data_file, "  has no extension"),
                               keywords::kDataFile);
  // A name holding a NUL character cannot name a file.
  const std::string path = s.data_path();
  std::error_code ec;
  if (path.find('\0') != std::string::npos || !std::filesystem::exists(folder / path, ec)) {
    // The name up to its first `.` and the five characters after it.
    const std::string_view shown = std::string_view(s.data_file).substr(0, dot + 1 + 5);
    return read.stop_in_report(list_text("Input file ", shown, " does not exist as named"),
                               keywords::kDataFile,
                               "the data file " + path + " (the global block's " +
                                   std::string(keywords::kDataFile.label) +
                                   ") is not in the folder " + folder_name(folder) + "\n");
  }
  outcome.value = std::move(s);
  return outcome;
}

Outcome<AnalysisSettings> read_analysis_settings(const GlobalBlock& global,
                                                 KeywordReader& reader) {
  constexpr auto kNoMark =
      "(2x,'Unit control parameter ',a15,' is not followed by +K or +H')"_format;
  constexpr auto kNoMark2 = "(7x,'or +k or +h')"_format;
  Outcome<AnalysisSettings> outcome;
  AnalysisSettings s;

  GlobalReader<AnalysisSettings> read{reader, global, outcome, {}, {}};
  s.threshold = read.real(keywords::kThreshold);
  if (const rules::Verdict broken = rules::threshold(s.threshold))
    return read.stop_on_console(
        list_text("Coherence threshold ", s.threshold, " is out in unit interval"),
        keywords::kThreshold, *broken);
  s.frames_ahead = read.integer(keywords::kFramesAhead);
  if (const rules::Verdict broken = rules::frames_ahead(s.frames_ahead))
    return read.stop_on_console(list_text("No. of frames ahead for forecasting ", s.frames_ahead,
                                          " is out of bounds"),
                                keywords::kFramesAhead, *broken);
  s.lags = read.integer(keywords::kLags);
  if (const rules::Verdict broken = rules::lags(s.lags))
    return read.stop_on_console(list_text("No. of lags ", s.lags, " < 1"), keywords::kLags, *broken);

  // The unit control parameter: time units, or frequencies in kHz or Hz.
  const std::string unit = read.text(keywords::kUnit);
  s.unit_text = unit.substr(0, 10);
  const auto has = [&unit](const char* part) { return unit.find(part) != std::string::npos; };
  if (!has("req")) {
    s.unit_mode = UnitMode::Time;
  } else if (has("+K") || has("+k")) {
    s.unit_mode = UnitMode::Kilohertz;
  } else if (has("+H") || has("+h")) {
    s.unit_mode = UnitMode::Hertz;
  } else {
    return read.stop_in_report(
        textio::format_text(kNoMark, s.unit_text) + textio::format_text(kNoMark2), keywords::kUnit);
  }
  s.sampling = recorded_sampling(global, outcome);
  s.causes = std::move(read.causes);
  outcome.value = std::move(s);
  return outcome;
}

}  // namespace tramel::control
