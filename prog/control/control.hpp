// Run control: the control-file blocks and the keyword readers that take settings from them,
// the run settings and frame geometry of each run (`reac`), the run header (`wrh`) and the
// closing lines of the invocation (`head`).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "textio/textio.hpp"

namespace tramel::control {

// ---- Keyword readers -------------------------------------------------------------------------

// Every reader looks the keyword up in the parameter text (700 characters), takes the value
// after the first `=` that follows it, and sets ier (0 read, 1 keyword absent, 2 no `=`, 3 and
// above: the value is malformed). pos is the position of the value, 0 after error 2.
std::string charead(std::string_view keyword, std::string_view text, std::string_view sep,
                    int& pos, int& ier);  // 50 characters
std::int32_t numread(std::string_view keyword, std::string_view text, std::string_view sep,
                     int& pos, int& ier, textio::Sink& unit);
float rnumread(std::string_view keyword, std::string_view text, std::string_view sep, int& pos,
               int& ier, textio::Sink& unit);
// The value of the first `count` characters of s (1 to 7), each counting its code minus '0'.
std::int32_t number(std::string_view s, int count);

// numread and rnumread return their last good result after an error; a new invocation
// starts again from zero.
void reset_readers();

// ---- Control-file blocks ----------------------------------------------------------------------

inline constexpr int kLine = 80;        // control-file line
inline constexpr int kParamText = 700;  // parameter text of one block
inline constexpr std::string_view kSeparator = "= ";  // keyword from value, value terminator

enum class BlockEnd { Complete, MissingMarker, EndOfFile };

// Reads one block of at most `max_lines` lines into `text` (700 characters, the unused tail
// NUL). On MissingMarker, `bad_line` holds the offending 80-column line.
BlockEnd read_block(textio::TextFile& control, int max_lines, std::string& text,
                    std::string& bad_line);

// ---- Runs ---------------------------------------------------------------------------------------

// x (formed in double) rounded to single precision, then to the nearest whole number with
// halves away from zero. A value that is not finite or lies outside the 32-bit range gives
// -2147483648, which the later range checks reject.
std::int32_t round_whole(double x);

// The global settings every run receives.
struct Globals {
  std::int32_t M = 0;
  float P = 0.0f;
  std::int32_t N = 0;
  float rate = 0.0f;
  std::string unit;  // 10 characters
  int iunit = 0;
  std::string fmt;   // 50 characters
  char mode = 'a';
  std::int32_t p = 0;
  std::int32_t nahead = 0;
};

// Reads the next run block from `control`, checks the run settings, derives the frame
// geometry and pass band, writes the sample line and run header, and runs the analysis.
void reac(const Globals& g, int run, textio::TextFile& control, textio::Files& files);

// The run header; `rate` in kHz (modes 1 and 2) or the sampling interval (mode 0).
void wrh(std::string_view unit, float rate, int n, int lb, float pct, int p, int nahead, int kl,
         int ku, int iunit, textio::Sink& report);

// The closing lines: version, date and time, elapsed processor time (report, then console).
float head(int month, int day, int year, float start, textio::Sink& report, textio::Sink& out);

// Processor time used by the process so far (user plus system), in seconds.
float cpu_seconds();

}  // namespace tramel::control
