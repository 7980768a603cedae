// The settings of the whole invocation, from the global block of the control file: the data
// file and the number of runs and series, then the threshold, horizon, lags and unit.
#include <filesystem>
#include <system_error>

#include "control/console_text.hpp"
#include "control/control.hpp"

namespace tramel::control {

using namespace textio::literals;

namespace {

using textio::Channel;
using textio::list_text;
using textio::Message;

// A message for the report or standard error.
Message report(std::string text) { return Message{Channel::Report, std::move(text)}; }
Message console_error(std::string text) { return Message{Channel::Stderr, std::move(text)}; }

constexpr std::string_view kGlobalBlock = "the global block";

// The settings of the global block, read one after another: each value with the reader's own
// message, when it has one, to standard error, and the warning when it could not be read.
struct GlobalReader {
  KeywordReader& reader;
  const ParameterText& global;
  std::vector<Message>& messages;

  template <class T>
  T keep(const Keyword& keyword, KeywordValue<T> value) {
    if (!value.message.empty()) messages.push_back(console_error(value.message));
    if (std::string w = keyword_warning(keyword, value, global, kGlobalBlock); !w.empty())
      messages.push_back(Message{Channel::Warning, std::move(w)});
    return std::move(value.value);
  }
  std::int32_t integer(const Keyword& k) { return keep(k, reader.integer(k, global.text)); }
  float real(const Keyword& k) { return keep(k, reader.real(k, global.text)); }
  std::string text(const Keyword& k) { return keep(k, reader.text(k, global.text)); }
};

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

Outcome<ParameterText> read_global_block(ControlFile& control) {
  constexpr auto kLine70 = "(a70)"_format;
  Outcome<ParameterText> outcome;
  Block block = control.read_block(kGlobalBlockLines);
  outcome.messages = tab_warnings(block);
  switch (block.end) {
    case Block::End::Complete:
      outcome.value = std::move(block.parameters);
      break;
    case Block::End::MissingMarker: {
      Message m = report(
          list_text("Place comment marker * after parameters for top readon ostrel.cnl") +
          textio::format_text(kLine70, block.bad_line));
      m.console = naming_lines(m.text, "ostrel.cnl",
                               "tramel.cnl line " + std::to_string(block.bad_line_number));
      outcome.messages.push_back(std::move(m));
      break;
    }
    case Block::End::EndOfFile:
      outcome.messages.push_back(report(list_text("Control file ended inside the global block")));
      break;
  }
  return outcome;
}

Outcome<FileSettings> read_file_settings(const ParameterText& global, KeywordReader& reader,
                                         const std::filesystem::path& folder) {
  Outcome<FileSettings> outcome;
  std::vector<Message>& messages = outcome.messages;
  FileSettings s;

  GlobalReader read{reader, global, messages};
  s.runs = read.integer(keywords::kRuns);
  s.series_count = read.integer(keywords::kSeriesCount);
  if (s.series_count < 1) {
    messages.push_back(report(list_text("No. of data columns ", s.series_count, " < 1")));
    return outcome;
  }

  s.data_file = read.text(keywords::kDataFile);
  s.data_file.resize(80, ' ');
  const std::size_t dot = s.data_file.find('.');
  if (dot == std::string::npos) {
    messages.push_back(report(list_text("Data file ", s.data_file, "  has no extension")));
    return outcome;
  }
  // A name holding a NUL character cannot name a file.
  const std::string path = s.data_path();
  std::error_code ec;
  if (path.find('\0') != std::string::npos || !std::filesystem::exists(folder / path, ec)) {
    // The name up to its first `.` and the five characters after it.
    const std::string_view shown = std::string_view(s.data_file).substr(0, dot + 1 + 5);
    Message m = report(list_text("Input file ", shown, " does not exist as named"));
    m.console = "the data file " + path + " (the global block's " +
                std::string(keywords::kDataFile.label) + ") is not in the folder " +
                folder_name(folder) + "\n";
    messages.push_back(std::move(m));
    return outcome;
  }
  outcome.value = std::move(s);
  return outcome;
}

Outcome<AnalysisSettings> read_analysis_settings(const ParameterText& global,
                                                 KeywordReader& reader) {
  constexpr auto kNoMark =
      "(2x,'Unit control parameter ',a15,' is not followed by +K or +H')"_format;
  constexpr auto kNoMark2 = "(7x,'or +k or +h')"_format;
  Outcome<AnalysisSettings> outcome;
  std::vector<Message>& messages = outcome.messages;
  AnalysisSettings s;

  GlobalReader read{reader, global, messages};
  s.threshold = read.real(keywords::kThreshold);
  if (s.threshold < 0.0f || s.threshold >= 1.0f) {
    messages.push_back(
        console_error(list_text("Coherence threshold ", s.threshold, " is out in unit interval")));
    return outcome;
  }
  s.frames_ahead = read.integer(keywords::kFramesAhead);
  if (s.frames_ahead < 1 || s.frames_ahead > 10) {
    messages.push_back(console_error(list_text("No. of frames ahead for forecasting ",
                                               s.frames_ahead, " is out of bounds")));
    return outcome;
  }
  s.lags = read.integer(keywords::kLags);
  if (s.lags < 1) {
    messages.push_back(console_error(list_text("No. of lags ", s.lags, " < 1")));
    return outcome;
  }

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
    messages.push_back(
        report(textio::format_text(kNoMark, s.unit_text) + textio::format_text(kNoMark2)));
    return outcome;
  }
  outcome.value = std::move(s);
  return outcome;
}

}  // namespace tramel::control
