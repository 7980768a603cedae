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
// - The first column is a time column when its header is time, date, datetime, timestamp or t
//   (any letter case), or when its first value is an ISO 8601 time stamp: 1969-01-01, 1969-01,
//   1969-01-01T06:00, 1969-01-01 06:00:30, each date-time with an optional Z. Every stamp has
//   the form of the first. The stamps must be regular: a fixed number of seconds apart, or a
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

// How the stamps of a time column are written, so that stamps after the data are written alike.
struct StampForm {
  enum class Kind : std::uint8_t {
    Month,     // 1969-01
    Date,      // 1969-01-01
    DateTime,  // 1969-01-01T06:00, 1969-01-01 06:00:30, ...
  };
  Kind kind = Kind::Date;
  char separator = 'T';  // DateTime: 'T' or ' ' between the date and the time
  bool seconds = false;  // DateTime: the time has its seconds
  bool zulu = false;     // DateTime: a Z ends the stamp
};

// The time stamps of the rows: regular, so the first stamp and the spacing give them all.
// Stamps count seconds from 1970-01-01 00:00:00 of a calendar without time zones or leap
// seconds (a Z only marks the stamps as UTC).
struct TimeAxis {
  std::int64_t first = 0;  // the first row's stamp
  // The spacing: `step` seconds, or with `calendar` `step` calendar months.
  bool calendar = false;
  std::int64_t step = 0;
  bool month_ends = false;  // calendar: every stamp is the last day of its month
  // The spacing in the unit that fits it: `interval` units of `unit` (1 month, 30 minutes,
  // 2 days, 1 quarter, ...).
  TimeUnit unit = TimeUnit::Seconds;
  std::int64_t interval = 0;
  StampForm form;

  // The stamp of row `row` (from 0; rows past the data continue the spacing), written in the
  // form of the data's stamps.
  std::string stamp(std::int64_t row) const;
  // The spacing in words: "1 month", "30 minutes".
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
  // The threads the rows may be converted on; the table and any error are the same for every
  // number of threads.
  parallel::Threads threads;
};

// Reads a table from the bytes of a file.
Result<Table> read_table(std::string_view bytes, const ReadOptions& options);

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
