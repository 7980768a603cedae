// Delimited text: a table of samples read from CSV or TSV bytes (the column names, the values
// and the time axis of an optional time column), and the forecast written back as CSV text.
//
// Everything here is pure: bytes (or a file) in, values out. A table that cannot be read gives
// no value and one error, with its line and column and what to do about it; nothing is
// printed, and nothing that is missing is ever read as a number.
//
// The rules of a table:
// - The delimiter is a tab when the first line holds one outside quotes, else a semicolon when
//   it holds one, else a comma. Fields follow RFC 4180: a field may be quoted ("..."), a quote
//   inside is doubled, a quoted field may hold delimiters and line ends. A UTF-8 byte-order
//   mark is passed over; a line ends with LF or CR LF. Blanks around a field are passed over.
// - The first row is a header when any of its fields is neither a number, a missing value nor
//   a time stamp; its fields then name the columns.
// - The first column is a time column when its first value is an ISO 8601 time stamp:
//   1969-01-01, 1969-01, 1969-01-01T06:00, 1969-01-01 06:00:30, 2026-03-02T14:00:00.000208
//   (up to nine digits of a second), each date-time with an optional Z or offset from UTC
//   (+01:00, -0530, +01), which is taken off: the axis is in UTC. Every stamp has the form of
//   the first. Named time, date, datetime, timestamp or t (any letter case), the column must
//   hold such stamps, or numbers when the name says time (see time_name_unit).
// - A time column of numbers counts a unit from any origin: seconds, unless the column's name
//   says a unit (time_ms, "t [us]", minutes; see time_name_unit) or ReadOptions::time_unit
//   gives one, which also makes the first column the time column whatever its name. A column
//   of numbers not named as time is a column of values.
// - The stamps must be regular: every step within a tolerance of the median step (1 % of it,
//   or one unit of the stamps' last digit, whichever is more, and less than half of it), or a
//   whole number of calendar months apart (each on the same day of its month, or each on the
//   last day of its month, at the same time of day).
// - Every row has as many fields as the first. The values are single-precision numbers,
//   correctly rounded from their decimal text (the same float as the fixed-format data
//   reader gives); an empty field, NA, NaN, N/A or null is a missing value and an error.
// - Blank lines at the end of the text are passed over; a blank line between rows is an error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "parallel/parallel.hpp"

namespace tramel::csv {

// ---- Results ------------------------------------------------------------------------------

// Why a table could not be read: the complete message (one line, without a line end), and
// where: the line of the text (from 1) and the column, the field's number in its row (from 1);
// 0 when the message is about no single line or column.
struct Error {
  std::string text;
  std::int64_t line = 0;
  std::int64_t column = 0;
};

// A value, or the error that stopped it.
template <class T>
struct Result {
  std::optional<T> value;
  std::optional<Error> error;

  bool ok() const { return value.has_value(); }
  static Result failure(Error e) { return Result{std::nullopt, std::move(e)}; }
};

// ---- The time axis ------------------------------------------------------------------------

// The unit that fits the spacing of a time column.
enum class TimeUnit : std::uint8_t { Seconds, Minutes, Hours, Days, Weeks, Months, Quarters, Years };

// The plural name of the unit: "seconds" ... "years".
std::string_view unit_name(TimeUnit unit);

// The unit of a time column of numbers.
struct NumberUnit {
  std::string_view name;        // as --time-unit takes it: "s", "ms", ...
  std::string_view words;       // for messages: "seconds", "milliseconds", ...
  std::int64_t nanoseconds = 0;  // its length
};

// The unit named `name`: ns, us, ms, s, min, h or d, or one of their longer names (seconds,
// msec, microseconds, ...), any letter case; nothing for another name.
std::optional<NumberUnit> number_unit(std::string_view name);
inline constexpr std::string_view kNumberUnitNames = "ns, us, ms, s, min, h or d";

// Whether a first column's name says time and no unit: time, t, timestamp or elapsed (any
// letter case); a time column of numbers so named counts seconds.
bool is_time_word(std::string_view name);

// The unit a first column's name says for a time column of numbers: seconds, secs, s, ms,
// microseconds, ... alone, or after a time word (time_ms, time-s, "time (s)", "t [us]");
// nothing for any other name.
std::optional<NumberUnit> time_name_unit(std::string_view name);

// How the stamps of a time column are written, so that stamps after the data are written alike.
struct StampForm {
  enum class Kind : std::uint8_t {
    Month,     // 1969-01
    Date,      // 1969-01-01
    DateTime,  // 1969-01-01T06:00, 1969-01-01 06:00:30.25+01:00, ...
    Number,    // a number of `unit`: 0.0005, 1700000000
  };
  // How a date-time says its offset from UTC.
  enum class Offset : std::uint8_t {
    None,        // it does not: local time as written
    Zulu,        // Z
    Colon,       // +01:00
    Plain,       // +0100
    Hours,       // +01
  };
  Kind kind = Kind::Date;
  char separator = 'T';  // DateTime: 'T' or ' ' between the date and the time
  bool seconds = false;  // DateTime: the time has its seconds
  // The digits after the point: of the seconds (DateTime, 0 to 9, each stamp the same), or of
  // the numbers (Number: the most any value has, at most 9).
  int digits = 0;
  Offset offset = Offset::None;
  int offset_minutes = 0;  // the first stamp's offset, east of UTC: the stamps are written with it
  NumberUnit unit;         // Number: the unit counted
  bool fixed_digits = true;  // Number: every value has `digits` digits after its point

  // A tick, the stamps' unit of count, is this many nanoseconds over 10^digits: the unit of
  // the digits before the point (a second for the ISO forms).
  std::int64_t tick_nanoseconds() const;
};

// The time stamps of the rows: regular, so the first stamp and the spacing give them all.
// Stamps count ticks (the unit of their last digit, see StampForm) of a calendar without
// leap seconds: date-times from 1970-01-01 00:00:00 UTC, numbers from their own zero.
struct TimeAxis {
  std::int64_t first = 0;  // the first row's stamp
  // The spacing: with `calendar` `step` calendar months; else `step` ticks, the median step,
  // and `span` ticks from the first stamp to the last, over `steps` steps: the mean step,
  // which places the rows and gives the rate.
  bool calendar = false;
  std::int64_t step = 0;
  bool month_ends = false;  // calendar: every stamp is the last day of its month
  std::int64_t span = 0;
  std::int64_t steps = 0;
  // The spacing in the unit that fits it: `interval` units of `unit` (1 month, 30 minutes,
  // 2 days, 1 quarter, 0.0005 seconds, ...); whole in the largest unit that divides the step,
  // in seconds when the step is no whole number of seconds.
  TimeUnit unit = TimeUnit::Seconds;
  double interval = 0.0;
  StampForm form;

  // The mean spacing in seconds (not calendar).
  long double step_seconds() const;
  // Whether the step is calendar months or a whole number of seconds (else it has a fraction
  // of a second, and is better told as a rate).
  bool whole_seconds() const;
  // The stamp of row `row` (from 0; rows past the data continue the spacing), written in the
  // form of the data's stamps.
  std::string stamp(std::int64_t row) const;
  // The spacing in words: "1 month", "30 minutes", "0.0005 seconds".
  std::string spacing_text() const;
};

// ---- Reading a table ----------------------------------------------------------------------

struct Table {
  char delimiter = ',';
  bool header = false;
  std::vector<std::string> names;  // with a header: the value columns' names
  std::string time_name;           // with a header and a time column: its name
  int columns = 0;                 // value columns (the time column not counted)
  std::int64_t rows = 0;           // data rows
  std::vector<float> values;       // rows x columns, row after row (all columns of a row together)
  std::optional<TimeAxis> time;

  // Column j (from 0): its `rows` values.
  std::vector<float> column(int j) const;
};

struct ReadOptions {
  std::string file_name;     // how the messages name the text ("seatbelts.csv")
  int expected_columns = 0;  // the number of value columns the caller needs; 0: any number
  // The unit of a time column of numbers (--time-unit): the first column is then one, and its
  // name may name no other unit.
  std::optional<NumberUnit> time_unit = std::nullopt;
  // The threads the rows may be converted on; the table and any error are the same for every
  // number of threads.
  parallel::Threads threads;
};

// Reads a table from the bytes of a file.
Result<Table> read_table(std::string_view bytes, const ReadOptions& options);

// Reads the file at `path` whole into `bytes`; returns 0, or the error number that stopped it
// (EISDIR for a folder, which opens for reading but holds no bytes).
int read_file(const std::string& path, std::string& bytes);

// Reads the file at `path` whole and then its table; a file that cannot be read is an error.
Result<Table> read_table_file(const std::string& path, const ReadOptions& options);

// Whether a data file name asks for delimited text: it ends in .csv or .tsv, any letter case.
bool is_delimited_name(std::string_view file_name);

// ---- Writing the forecast -----------------------------------------------------------------

// One interval level of a run's forecast: the lower and upper bounds of every series.
struct IntervalLevel {
  double level = 0.0;                     // percent: 80, 95
  std::vector<std::vector<float>> lower;  // per series, one value per forecast sample
  std::vector<std::vector<float>> upper;
};

// The forecast of one run.
struct RunForecast {
  int run = 1;
  // The data row (from 1) of the first forecast sample: the run's first datum plus its whole
  // frames, IS + nf lb.
  std::int64_t first_datum = 1;
  int frame_length = 1;
  std::vector<std::vector<float>> series;  // per series, frames ahead x frame length samples
  std::vector<IntervalLevel> levels;
};

struct ForecastTable {
  std::vector<std::string> names;     // the series' names; empty: series1, series2, ...
  std::optional<TimeAxis> time;       // the data's time axis, when it had one
  std::string time_name;              // its column's name; empty: time
  std::vector<RunForecast> runs;
};

// The forecast as CSV: a header row, then one row per forecast sample of every run, with the
// columns run, frame, position, the time stamp (with a time axis), then per series its value,
// and per interval level (the lower bounds from the widest level in, then the upper ones)
// NAME-lo-80 and NAME-hi-80. Values are the shortest text that reads back as the same float.
std::string forecast_csv(const ForecastTable& forecast);

}  // namespace tramel::csv
