// Run control: the control file tramel.cnl, its blocks of parameter lines and the keyword
// readers that take the settings from them; the settings of the whole invocation and the plan
// of each run (its settings, checked, and the frame geometry and pass band derived from them).
//
// Control plans runs and runs nothing: every step returns what it read or derived, with what
// it has to say on the way and the stop of a check that failed (diagnostics::Outcome); the
// main program says them and ends the program after a stop.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/diagnostics.hpp"
#include "rules/rules.hpp"
#include "textio/textio.hpp"

namespace tramel::control {

using diagnostics::Outcome;

// ---- Keywords ----------------------------------------------------------------------------------

// A setting is found by a short keyword: an exact, case-sensitive piece of text looked for
// anywhere in a block's parameter text. Keywords are tails of the labels people write, so the
// label before a keyword is free; `label` is its usual form.
struct Keyword {
  std::string_view text;
  std::string_view label;
};

namespace keywords {
// The global block.
inline constexpr Keyword kRuns{"uns", "No. of runs"};
inline constexpr Keyword kSeriesCount{"ta/file", "No. of data/file"};
inline constexpr Keyword kDataFile{"ile name", "Data file name"};
inline constexpr Keyword kThreshold{"bility", "Coherence probability"};
inline constexpr Keyword kFramesAhead{"ames", "No. of frames"};
inline constexpr Keyword kLags{"ags", "No. of lags"};
inline constexpr Keyword kUnit{"unit", "Sampling unit"};
// Optional: the sampling rate or interval of data that do not give their own (CSV data without a
// time column), in the units of the unit mode; a block without it reads as it always did.
inline constexpr Keyword kSampling{"rate/interval", "Sampling rate/interval"};
// A run block.
inline constexpr Keyword kLowerFrequency{"wer freq", "Lower freq"};
inline constexpr Keyword kUpperFrequency{"per freq", "Upper freq"};
inline constexpr Keyword kLongestPeriod{"gest period", "Longest period"};
inline constexpr Keyword kShortestPeriod{"test period", "Shortest period"};
inline constexpr Keyword kTaper{"taper", "% taper"};
inline constexpr Keyword kBandwidth{"ion bandwidth", "Resolution bandwidth"};
inline constexpr Keyword kBandwidthCapital{"ion Bandwidth", "Resolution Bandwidth"};
inline constexpr Keyword kStart{"start", "Data start"};
inline constexpr Keyword kEnd{"end", "Data end"};
}  // namespace keywords

// ---- Control-file blocks -----------------------------------------------------------------------

inline constexpr int kLineLength = 80;     // a control-file line, cut or padded
inline constexpr int kParameterText = 700;  // the parameter text of one block

// The parameter text of one block: the parts before the comment marker `*` of its lines,
// joined without separator; the positions after the last part hold NUL, which is neither a
// blank nor part of any keyword. `lines` says which control-file line each part came from.
struct ParameterText {
  struct Part {
    std::size_t first = 0;  // position of the part's first character in `text`
    int line = 0;           // control-file line number, from 1
  };
  std::string text;  // kParameterText characters
  std::vector<Part> parts;
  int first_line = 0;  // the block's first and last control-file lines
  int last_line = 0;

  // The control-file line that holds text position `position`, or 0 past the last part.
  int line_of(std::size_t position) const;
  // How the console names that line ("tramel.cnl line 12"), or the block's lines ("tramel.cnl
  // lines 7-11", "tramel.cnl line 7") past the last part or when the keyword was not `found`.
  std::string lines_text(std::size_t position, bool found = true) const;
};

// A control-file block: at most `max_lines` lines, ended early by a line holding `#`.
struct Block {
  enum class End : std::uint8_t { Complete, MissingMarker, EndOfFile };
  End end = End::Complete;
  ParameterText parameters;
  std::string bad_line;  // MissingMarker: the 80-column line without a marker
  int bad_line_number = 0;
  std::vector<int> lines_with_tabs;  // lines with a tab in their parameter part
};

// The control file, read block after block.
class ControlFile {
 public:
  // 0, or the operating system's error number.
  int open(const std::string& path);
  // Reads from memory instead (tests and fuzzers).
  void open_text(std::string text);

  Block read_block(int max_lines);

 private:
  textio::TextFile file_;
  int lines_read_ = 0;
};

inline constexpr int kGlobalBlockLines = 7;
inline constexpr int kRunBlockLines = 17;

// ---- Keyword readers ---------------------------------------------------------------------------

// What went wrong in a keyword read. Each error has a number of its own that messages print
// (error_number); the integer reader's over-long number and the real reader's missing decimal
// point both print 4, which tells them apart only by the reader that said it.
enum class ReadError : std::uint8_t {
  None,            // 0
  KeywordAbsent,   // 1
  NoEquals,        // 2: no `=` at or after the keyword
  Malformed,       // 3: no value before the terminating blank, or no terminating blank
  IntegerTooLong,  // 4: integer of eight characters or more
  NoPoint,         // 4: real without a decimal point up to the end of the text
  RealTooLong,     // 5: real with eight digits before the point or seven after it
};

// The number a message prints for the error.
constexpr std::int32_t error_number(ReadError error) {
  switch (error) {
    case ReadError::None:
      return 0;
    case ReadError::KeywordAbsent:
      return 1;
    case ReadError::NoEquals:
      return 2;
    case ReadError::Malformed:
      return 3;
    case ReadError::IntegerTooLong:
    case ReadError::NoPoint:
      return 4;
    case ReadError::RealTooLong:
      return 5;
  }
  return 0;
}

// A value taken from a parameter text. After an error the integer and real readers give their
// saved result (see KeywordReader). `message` is the over-long-number line the reader has
// to say ("The number ..."), empty when none.
template <class T>
struct KeywordValue {
  T value{};
  ReadError error = ReadError::None;
  std::size_t position = 0;  // where the keyword stands in the text (when found)
  std::size_t value_position = 0;  // right after its `=` (when there is one)
  std::string message;

  bool ok() const { return error == ReadError::None; }
};

// The readers of integer, real and text values. The integer and real readers each keep their
// last good result and give it again after any error; the reader object holds those results
// for one invocation.
class KeywordReader {
 public:
  // The word right after the `=`, with the blank that ends it, in 50 characters.
  KeywordValue<std::string> text(const Keyword& keyword, std::string_view text) const;
  // After the `=`: at most two blanks, an optional minus sign, 1 to 7 characters up to a
  // blank, each counting its code minus that of '0'.
  KeywordValue<std::int32_t> integer(const Keyword& keyword, std::string_view text);
  // After the `=`: at most two blanks, an optional minus sign, up to 7 digits, a decimal point
  // (the first one anywhere further on), up to 6 digits and a blank.
  KeywordValue<float> real(const Keyword& keyword, std::string_view text);

 private:
  std::int32_t saved_integer_ = 0;
  float saved_real_ = 0.0f;
};

// The value of the first `count` characters of s (1 to 7), each counting its code minus '0'.
std::int32_t digits_value(std::string_view s, int count);

// What a setting that could not be read is told with on the console: where it is (the block,
// or the control-file line of its keyword), what was wrong, and the value used instead. Empty
// when the value was read. `block` names the block ("the global block", "run 2").
std::string keyword_warning(const Keyword& keyword, const KeywordValue<std::int32_t>& value,
                            const ParameterText& text, std::string_view block);
std::string keyword_warning(const Keyword& keyword, const KeywordValue<float>& value,
                            const ParameterText& text, std::string_view block);
std::string keyword_warning(const Keyword& keyword, const KeywordValue<std::string>& value,
                            const ParameterText& text, std::string_view block);
// The warnings for the tabs in the parameter parts of a block's lines.
std::vector<diagnostics::Warning> tab_warnings(const Block& block);

// Why a setting holds a value other than the one its line shows: the reader fell back on its
// last result (the keyword is not there, or its value could not be read), or it read the value
// through a tab or from text that is not plainly a number. A stop that checks such a value
// says this cause after its own words.
struct SettingCause {
  std::string_view keyword;  // the keyword's text
  std::string text;          // "the value 0 is a fallback, because ..."
};

// The causes of the settings read so far that have one.
struct SettingCauses {
  std::vector<SettingCause> causes;

  // The cause of the keyword's value; empty when its value is as written.
  std::string of(const Keyword& keyword) const;
  void add(const Keyword& keyword, std::string text);
};

// The cause of a value, empty when it is as written; `tab_lines` are the block's lines with a
// tab before their comment marker.
std::string setting_cause(const Keyword& keyword, const KeywordValue<std::int32_t>& value,
                          const ParameterText& text, std::span<const int> tab_lines);
std::string setting_cause(const Keyword& keyword, const KeywordValue<float>& value,
                          const ParameterText& text, std::span<const int> tab_lines);
std::string setting_cause(const Keyword& keyword, const KeywordValue<std::string>& value,
                          const ParameterText& text, std::span<const int> tab_lines);

// ---- The settings of the invocation -------------------------------------------------------------

// How the data are sampled, from the unit control parameter.
enum class UnitMode : std::uint8_t {
  Time,       // a sampling interval in a unit of time; the band as longest and shortest period
  Kilohertz,  // a sampling rate and band edges in kHz, the resolution in Hz
  Hertz,      // all in Hz
};

// The global settings that say which data file to read.
struct FileSettings {
  std::int32_t runs = 0;
  std::int32_t series_count = 0;
  std::string data_file;  // 80 characters, blank-padded

  std::string data_path() const;      // the name without its trailing blanks
  std::string forecast_path() const;  // series.dat gives series.forec, a.b.txt gives a.forec
  std::string forecast_csv_path() const;  // series.dat gives series.forecast.csv
};

// The global settings of the analysis.
struct AnalysisSettings {
  float threshold = 0.0f;  // coherence threshold probability P
  std::int32_t frames_ahead = 0;
  std::int32_t lags = 0;
  std::string unit_text;   // 10 characters
  UnitMode unit_mode = UnitMode::Time;
  // Sampling rate/interval, when the block holds a number above 0 for it: the interval in the
  // time unit, or the rate in kHz or Hz.
  std::optional<float> sampling;
  SettingCauses causes;    // of the values that are not as written
  // How the runs are forecast (the command line's --model): a rule on the sample's whole frames
  // depends on it.
  rules::Model model = rules::Model::AsSpecified;
};

// The folder as the console names it: absolute, without "." parts or a trailing slash.
std::string folder_name(const std::filesystem::path& folder);

// The parameters of the global block, and its lines with a tab before the comment marker.
struct GlobalBlock {
  ParameterText parameters;
  std::vector<int> lines_with_tabs;
};

// Reads the global block (the messages of a failed block read go to the report).
Outcome<GlobalBlock> read_global_block(ControlFile& control);

// The number of runs, the number of series and the data file name, which must have an
// extension and exist in `folder`. The readers' own messages go to standard error.
Outcome<FileSettings> read_file_settings(const GlobalBlock& global, KeywordReader& reader,
                                         const std::filesystem::path& folder);

// The threshold, the forecast horizon, the lags, the unit and the optional sampling rate or
// interval (whose value, when the block holds it, is any number above 0: 2000, 0.0005, 2.5e-4).
Outcome<AnalysisSettings> read_analysis_settings(const GlobalBlock& global,
                                                 KeywordReader& reader);

// ---- The plan of a run ------------------------------------------------------------------------

// What a run needs to know of the data file.
struct DataExtent {
  std::int32_t count = 0;  // N, the number of data
  float rate = 0.0f;       // the sampling rate (kHz or Hz) or interval, as written in the file
};

// How far apart the samples are, as a run computes with it: in time mode the sampling
// interval in the time unit, in the frequency modes the sampling rate in kHz (a rate in Hz is
// converted). Each is read by its own name, so that one is never taken for the other.
class SampleSpacing {
 public:
  SampleSpacing() = default;
  static SampleSpacing interval(float in_time_units) { return SampleSpacing(true, in_time_units); }
  static SampleSpacing rate_khz(float khz) { return SampleSpacing(false, khz); }

  bool is_interval() const { return is_interval_; }
  // The interval of a run in time mode; a rate of a frequency mode is no interval (throws
  // std::logic_error, a mistake of the program).
  float interval() const;
  // The rate in kHz of a run in a frequency mode (throws std::logic_error in time mode).
  float rate_khz() const;
  // The number itself, whichever it is: for messages that print "rate/interval".
  float value() const { return value_; }

 private:
  SampleSpacing(bool is_interval, float value) : is_interval_(is_interval), value_(value) {}
  bool is_interval_ = true;
  float value_ = 0.0f;
};

// Everything one run is: its settings, checked, and what is derived from them.
struct RunPlan {
  int run = 0;  // from 1

  // From the global settings.
  std::int32_t series_count = 0;
  AnalysisSettings analysis;

  // From the run block.
  float taper_percent = 0.0f;
  float bandwidth = 0.0f;         // resolution bandwidth (Hz) or resolution period (time unit)
  std::int32_t first_datum = 0;   // IS
  std::int32_t last_datum = 0;    // IE, the last datum of the file when the block says 0

  // Derived.
  SampleSpacing spacing;
  std::int32_t sample_size = 0;   // last_datum - first_datum + 1
  std::int32_t frame_length = 0;  // samples per frame, at least 5
  std::int32_t frames = 0;        // whole frames in the sample, at least 7
  std::int32_t first_bin = 0;     // the pass band, 1 <= first_bin < last_bin <= frame_length/2
  std::int32_t last_bin = 0;

  SettingCauses causes;  // of the run block's values that are not as written

  int bin_count() const { return last_bin - first_bin + 1; }
};

// The bin in the report's units: its frequency in kHz (kHz mode) or Hz (Hz mode), or its
// period in the time unit (time mode).
double bin_in_report_units(const RunPlan& plan, int bin);
// The time from one sample to the next, in milliseconds (kHz mode), seconds (Hz mode) or the
// time unit (time mode): the units the report gives periods in.
double sample_interval(const RunPlan& plan);
// The datum the forecast starts at (from 1): the one after the last whole frame counted from
// the start, IS + nf lb, for as-specified; the one after the last datum, IS + n, for the models
// that count their frames back from it.
std::int64_t forecast_first_datum(const RunPlan& plan);

// Reads the next run block and plans the run. Every message goes to the report.
Outcome<RunPlan> plan_run(ControlFile& control, int run, const FileSettings& files,
                          const AnalysisSettings& analysis, const DataExtent& data,
                          KeywordReader& reader);

// x (formed in double) rounded to single precision, then to the nearest whole number with
// halves away from zero. A value that is not finite or lies outside the 32-bit range gives
// -2147483648, which the later range checks reject.
std::int32_t round_whole(double x);

}  // namespace tramel::control
