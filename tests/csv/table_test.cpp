// The table reader: the layout rules, the values against the program's fixed-format reader,
// the time column, every error with its message, line and column, and the same table for
// every number of threads.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "csv/csv.hpp"
#include "textio/textio.hpp"

namespace {

using namespace tramel;
using csv::Result;
using csv::Table;
using csv::TimeUnit;

Result<Table> read(std::string_view text, int expected = 0, int threads = 1) {
  csv::ReadOptions o;
  o.file_name = "d.csv";
  o.expected_columns = expected;
  o.threads = parallel::Threads{threads};
  return csv::read_table(text, o);
}

Table table(std::string_view text, int expected = 0) {
  Result<Table> r = read(text, expected);
  EXPECT_TRUE(r.ok()) << (r.error ? r.error->text : "");
  return r.ok() ? *r.value : Table{};
}

// The error a text gives: its message, line and column.
struct Failure {
  std::string text;
  std::int64_t line = -1, column = -1;
};
Failure failure(std::string_view text, int expected = 0) {
  Result<Table> r = read(text, expected);
  EXPECT_FALSE(r.ok());
  if (!r.error) return {};
  return {r.error->text, r.error->line, r.error->column};
}

TEST(TableLayout, DelimiterHeaderQuotesBomAndLineEnds) {
  // Comma, with a header and a quoted name holding the delimiter and a doubled quote.
  Table t = table("a,\"b,\"\"c\"\"\",d\n1,2,3\n4,5,6\n");
  EXPECT_EQ(t.delimiter, ',');
  EXPECT_TRUE(t.header);
  EXPECT_EQ(t.names, (std::vector<std::string>{"a", "b,\"c\"", "d"}));
  EXPECT_EQ(t.rows, 2);
  EXPECT_EQ(t.values, (std::vector<float>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(t.column(1), (std::vector<float>{2, 5}));
  // Semicolon, with a byte-order mark, CR LF line ends, no header, blanks around the values
  // and no line end after the last row.
  t = table("\xEF\xBB\xBF" "1.5; -2\r\n 3 ;4e1\r\n5;+6");
  EXPECT_EQ(t.delimiter, ';');
  EXPECT_FALSE(t.header);
  EXPECT_TRUE(t.names.empty());
  EXPECT_EQ(t.values, (std::vector<float>{1.5f, -2, 3, 40, 5, 6}));
  // Tab wins over the commas of the first line; quoted values and a quoted line end in a name.
  t = table("x,1\t\"y\nz\"\n\"1\"\t2\n3\t\"4\"\n\n\n");
  EXPECT_EQ(t.delimiter, '\t');
  EXPECT_EQ(t.names, (std::vector<std::string>{"x,1", "y\nz"}));
  EXPECT_EQ(t.values, (std::vector<float>{1, 2, 3, 4}));
  // A single column without a header; blank lines at the end are passed over.
  t = table("7\n8\n9\n  \r\n\n");
  EXPECT_EQ(t.columns, 1);
  EXPECT_EQ(t.rows, 3);
  EXPECT_FALSE(t.time);
}

TEST(TableValues, SameFloatAsTheFixedFormatReader) {
  // Short decimals (the quick path), long ones, exponents, halfway cases and the limits of
  // single precision, each against the program's reader of the two-line layout.
  std::vector<std::string> texts = {"0", "-0", "0.1", "-3.781", "9999999", "1234567", "0.0000001",
                                    "16777217", "16777216.5", "3.4028235e38", "1.17549435e-38",
                                    "1.4e-45", "7.0e-46", "0.30000001192092896", "1e-50",
                                    "4.999999999999999999999e-1", "123456789012345678901234567890",
                                    "2.5000000000000000000000000000000000001e-8"};
  std::mt19937_64 random(7);
  for (int k = 0; k < 3000; ++k) {
    const std::uint32_t bits = static_cast<std::uint32_t>(random()) & 0x7f7fffffu;
    const float f = std::bit_cast<float>(bits);
    const int digits = 1 + static_cast<int>(random() % 12);
    char buf[64];
    std::snprintf(buf, sizeof buf, k % 2 ? "%.*g" : "%.*e", digits, static_cast<double>(f));
    texts.push_back(buf);
    std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(random() % 7),
                  static_cast<double>(random() % 20000000) / 1000.0 - 10000.0);
    texts.push_back(buf);
  }
  std::string csv;
  for (const std::string& t : texts) csv += t + "\n";
  const Table table_read = table(csv);
  ASSERT_EQ(table_read.values.size(), texts.size());

  textio::TextFile file;
  std::string records;
  for (const std::string& t : texts) records += t + "\n";
  file.open_text(records);
  const textio::RecordFormat format("(f60.0)");
  std::vector<float> fixed(texts.size());
  ASSERT_TRUE(textio::read(file, format, fixed.data(), static_cast<std::int64_t>(fixed.size())).ok());
  for (std::size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(std::bit_cast<std::uint32_t>(table_read.values[i]), std::bit_cast<std::uint32_t>(fixed[i]))
        << texts[i];
}

TEST(TableTime, FormsUnitsAndStampsAfterTheData) {
  struct Case {
    std::string text;
    TimeUnit unit;
    std::int64_t interval;
    std::string stamp_after;  // the stamp two rows after the last
  };
  const Case cases[] = {
      {"date,v\n1969-01-01,1\n1969-02-01,2\n1969-03-01,3\n", TimeUnit::Months, 1, "1969-05-01"},
      {"1969-01,1\n1969-02,2\n1969-03,3\n", TimeUnit::Months, 1, "1969-05"},
      {"t,v\n2000-01-31,1\n2000-02-29,2\n2000-03-31,3\n", TimeUnit::Months, 1, "2000-05-31"},
      {"2001-01-01,1\n2001-04-01,2\n2001-07-01,3\n", TimeUnit::Quarters, 1, "2002-01-01"},
      {"1996-02-29,1\n2000-02-29,2\n2004-02-29,3\n", TimeUnit::Years, 4, "2012-02-29"},
      {"1999-12-30,1\n1999-12-31,2\n2000-01-01,3\n", TimeUnit::Days, 1, "2000-01-03"},
      {"2000-01-01,1\n2000-01-08,2\n2000-01-15,3\n", TimeUnit::Weeks, 1, "2000-01-29"},
      {"2000-01-01T23:00Z,1\n2000-01-02T00:00Z,2\n2000-01-02T01:00Z,3\n", TimeUnit::Hours, 1,
       "2000-01-02T03:00Z"},
      {"2000-01-01 00:00:00,1\n2000-01-01 00:30:00,2\n2000-01-01 01:00:00,3\n", TimeUnit::Minutes, 30,
       "2000-01-01 02:00:00"},
      {"Timestamp;v\n2000-01-01T00:00:10;1\n2000-01-01T00:00:55;2\n2000-01-01T00:01:40;3\n",
       TimeUnit::Seconds, 45, "2000-01-01T00:03:10"},
  };
  for (const Case& c : cases) {
    const Table t = table(c.text);
    ASSERT_TRUE(t.time) << c.text;
    EXPECT_EQ(t.columns, 1) << c.text;
    EXPECT_EQ(t.values, (std::vector<float>{1, 2, 3})) << c.text;
    EXPECT_EQ(t.time->unit, c.unit) << c.text;
    EXPECT_EQ(t.time->interval, c.interval) << c.text;
    // Row 0 gives back the first stamp as written.
    const std::size_t first = t.header ? c.text.find('\n') + 1 : 0;
    EXPECT_EQ(t.time->stamp(0), c.text.substr(first, c.text.find_first_of(",;", first) - first)) << c.text;
    EXPECT_EQ(t.time->stamp(4), c.stamp_after) << c.text;
  }
  // Named "time", the column must hold stamps; named otherwise, stamps still make it the
  // time column; its name is kept.
  EXPECT_EQ(table("when,v\n1969-01-01,1\n1969-01-02,2\n").time_name, "when");
  EXPECT_EQ(table("when,v\n1969-01-01,1\n1969-01-02,2\n").time->spacing_text(), "1 day");
}

// Time columns finer than a second, with offsets, and of numbers: the rate from the mean step,
// the stamps after the data in the input's form, and the first stamp as written.
TEST(TableTime, StampsAtAnyResolutionAndNumbers) {
  struct Case {
    std::string text;
    std::optional<csv::NumberUnit> unit;  // --time-unit
    double hz;                            // 1 / the mean step
    std::string spacing;
    std::int64_t row;                     // a row after the data, and its stamp
    std::string stamp;
  };
  const Case cases[] = {
      {"time,v\n2024-05-01 10:00:00.000000,1\n2024-05-01 10:00:00.000500,2\n2024-05-01 10:00:00.001000,3\n",
       {}, 2000, "0.0005 seconds", 4, "2024-05-01 10:00:00.002000"},
      // A third of a millisecond to the microsecond: steps 333 and 334, the mean 1/3 ms.
      {"2026-03-02T14:00:00.000000Z,1\n2026-03-02T14:00:00.000333Z,2\n2026-03-02T14:00:00.000667Z,3\n"
       "2026-03-02T14:00:00.001000Z,4\n",
       {}, 3000, "0.000333333 seconds", 7, "2026-03-02T14:00:00.002333Z"},
      {"2024-01-01T00:00:00.000000001,1\n2024-01-01T00:00:00.000000003,2\n2024-01-01T00:00:00.000000005,3\n",
       {}, 5e8, "0.000000002 seconds", 3, "2024-01-01T00:00:00.000000007"},
      // Offsets are taken off, and the stamps after the data have the first stamp's: the change
      // to summer time keeps the axis regular in UTC.
      {"2024-03-31T01:00+01:00,1\n2024-03-31T03:00+02:00,2\n2024-03-31T04:00+02:00,3\n", {}, 1.0 / 3600,
       "1 hour", 3, "2024-03-31T04:00+01:00"},
      {"2024-01-01 06:00:00-0530,1\n2024-01-01 06:00:30-0530,2\n2024-01-01 06:01:00-0530,3\n", {}, 1.0 / 30,
       "30 seconds", 3, "2024-01-01 06:01:30-0530"},
      {"2024-01-31T12:00+01,1\n2024-02-29T12:00+01,2\n2024-03-31T12:00+01,3\n", {}, 0, "1 month", 3,
       "2024-04-30T12:00+01"},
      // Numbers: seconds by the name, each as short as it goes (as pandas writes them), or
      // with a fixed count of digits; another unit by the name or by --time-unit.
      {"time,v\n0.0,1\n0.0005,2\n0.001,3\n0.0015,4\n", {}, 2000, "0.0005 seconds", 5, "0.0025"},
      {"t_ms,v\n0.000,1\n0.500,2\n1.000,3\n", {}, 2000, "0.0005 seconds", 4, "2.000"},
      {"Time (us);v\n0;1\n500;2\n1000;3\n", {}, 2000, "0.0005 seconds", 3, "1500"},
      {"0,1\n1,2\n2,3\n", csv::number_unit("ms"), 1000, "0.001 seconds", 5, "5"},
      {"x,v\n-1.5,1\n-1,2\n-0.5,3\n", csv::number_unit("min"), 1.0 / 30, "30 seconds", 3, "0.0"},
      {"elapsed,v\n0.0,1\n0.00020833333333333335,2\n0.0004166666666666667,3\n0.000625,4\n", {}, 4800,
       "0.000208333 seconds", 4, "0.000833333"},
      {"timestamp,v\n1700000000,1\n1700000060,2\n1700000120,3\n", {}, 1.0 / 60, "1 minute", 3, "1700000180"},
      {"seconds,v\n5e-4,1\n1e-3,2\n1.5e-3,3\n", {}, 2000, "0.0005 seconds", 3, "0.002"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    csv::ReadOptions o;
    o.time_unit = c.unit;
    const Result<Table> r = csv::read_table(c.text, o);
    ASSERT_TRUE(r.ok()) << r.error->text;
    const Table& t = *r.value;
    ASSERT_TRUE(t.time);
    EXPECT_EQ(t.columns, 1);
    EXPECT_EQ(t.values[0], 1.0f);
    if (c.hz > 0) {
      EXPECT_EQ(static_cast<float>(1.0L / t.time->step_seconds()), static_cast<float>(c.hz));
    } else {
      EXPECT_TRUE(t.time->calendar);
    }
    EXPECT_EQ(t.time->spacing_text(), c.spacing);
    const std::size_t first = t.header ? c.text.find('\n') + 1 : 0;
    if (c.text.find("e-") == std::string::npos) {  // numbers with an exponent are written without
      EXPECT_EQ(t.time->stamp(0), c.text.substr(first, c.text.find_first_of(",;", first) - first));
    }
    EXPECT_EQ(t.time->stamp(c.row), c.stamp);
  }
  // A column of numbers not named as time holds values; a name that says time makes numbers
  // the time column.
  EXPECT_FALSE(table("x,v\n0.5,1\n1.0,2\n").time);
  EXPECT_FALSE(table("h,v\n0.5,1\n1.0,2\n").time);
  EXPECT_EQ(table("T,v\n0.5,1\n1.0,2\n").time->spacing_text(), "0.5 seconds");
  for (std::string_view name : {"time_s", "TIME-MS", "t [s]", "time(ms)", "secs", "Microseconds", "hours"})
    EXPECT_TRUE(csv::time_name_unit(name)) << name;
  for (std::string_view name : {"time", "timer", "times", "t s)", "date", "h", "d", "time_x"})
    EXPECT_FALSE(csv::time_name_unit(name)) << name;
}

// The tolerance: 1 % of the median step, or the stamps' last digit when that is more, and
// never half a step; the first stamp outside it is the error, with the tolerance in words.
TEST(TableErrors, TheMedianStepAndItsTolerance) {
  // Stamps a second apart to the millisecond: 10 ms either way pass, 11 do not.
  const auto seconds = [](int late_ms) {
    std::string text;
    for (int i = 0; i < 20; ++i) {
      char row[64];
      std::snprintf(row, sizeof row, "2024-01-01T00:00:%02d.%03d,%d\n", i + (i == 10 ? late_ms / 1000 : 0),
                    i == 10 ? late_ms % 1000 : 0, i);
      text += row;
    }
    return text;
  };
  EXPECT_TRUE(read(seconds(10)).ok());
  Failure f = failure(seconds(11));
  EXPECT_EQ(f.line, 11);
  EXPECT_EQ(f.text, "d.csv line 11, column 1: the time stamp 2024-01-01T00:00:10.011 is 1.011 seconds after the "
                    "one before (2024-01-01T00:00:09.000), but the stamps are 1 second apart (the median step; "
                    "each step must be within 0.01 seconds of it, 1 % of it): the time column must be regular (a fixed step from row to row, or whole calendar "
                    "months, quarters or years); fill in the missing rows or resample the data");
  // 48 kHz to the microsecond: steps of 20 and 21 us pass as the mean step rounded to the last
  // digit; a row too many (a step of 0 us counts as not later) or too few does not.
  std::string fast, gap;
  for (int i = 0; i <= 240; ++i) {
    char row[64];
    std::snprintf(row, sizeof row, "2024-01-01 00:00:00.%06d,1\n", (i * 125 + 3) / 6);
    fast += row;
    if (i != 13) gap += row;
  }
  const Result<Table> r = read(fast);
  ASSERT_TRUE(r.ok()) << r.error->text;
  EXPECT_EQ(static_cast<float>(1.0L / r.value->time->step_seconds()), 48000.0f);
  EXPECT_EQ(r.value->time->stamp(241), "2024-01-01 00:00:00.005021");
  f = failure(gap);
  EXPECT_EQ(f.line, 14);
  EXPECT_NE(f.text.find("is 0.000042 seconds after the one before (2024-01-01 00:00:00.000250), but the stamps are "
                        "0.000021 seconds apart (the median step; each step must be the mean step rounded to the stamps' last "
                        "digit, 0.00002 seconds or 0.000021 seconds)"),
            std::string::npos)
      << f.text;
  // Whole seconds a second apart: no tolerance; weekly dates a day off are no rounding (their
  // mean step is a whole week).
  f = failure("t,v\n0,1\n1,2\n2,3\n4,4\n");
  EXPECT_NE(f.text.find("line 5, column 1 (\"t\"): the time stamp 4 is 2 seconds after the one before (2), but the "
                        "stamps are 1 second apart (the median step, which every step must be)"),
            std::string::npos)
      << f.text;
  EXPECT_EQ(failure("2024-01-01,1\n2024-01-08,2\n2024-01-16,3\n2024-01-22,4\n").line, 3);
  EXPECT_EQ(failure("2024-01-01,1\n2024-01-08,2\n2024-01-17,3\n2024-01-22,4\n").line, 3);
  // Numbers that stop, or go back.
  f = failure("time,v\n0.5,1\n1.0,2\nsoon,3\n");
  EXPECT_EQ(f.text, "d.csv line 4, column 1 (\"time\"): \"soon\" is not a number of seconds like the first one "
                    "(0.5): every row of a time column of numbers needs one");
  EXPECT_EQ(failure("time,v\n0.5,1\n1.0,2\n0.9,3\n").text,
            "d.csv line 4, column 1 (\"time\"): the time stamp 0.9 is not later than the one before (1.0): the time "
            "stamps must increase from row to row");
  // --time-unit for stamps, or against the column's name.
  csv::ReadOptions o;
  o.file_name = "d.csv";
  o.time_unit = csv::number_unit("s");
  EXPECT_EQ(csv::read_table("2024-01-01,1\n2024-01-02,2\n", o).error->text,
            "d.csv line 1, column 1: --time-unit s is for a time column of numbers, but this one holds time "
            "stamps (\"2024-01-01\"): leave --time-unit out");
  EXPECT_EQ(csv::read_table("time_ms,v\n0,1\n1,2\n", o).error->text,
            "d.csv line 2, column 1 (\"time_ms\"): the column's name says milliseconds, but --time-unit s says "
            "seconds: give the unit the numbers count, and a name that does not say another");
  // Offsets and fractions that name no time, and stamps too far from 1970 for nanoseconds.
  EXPECT_EQ(failure("2024-01-01T00:00+24:00,1\n2024-01-01T01:00+24:00,2\n").line, 1);
  EXPECT_EQ(failure("2024-01-01T00:00:00.5,1\n2024-01-01T00:00:01.50,2\n").line, 2);
  EXPECT_EQ(failure("1600-01-01T00:00:00.000000000,1\n1600-01-01T00:00:00.000000001,2\n").line, 1);
  EXPECT_TRUE(read("1600-01-01T00:00:00.000001,1\n1600-01-01T00:00:00.000002,2\n").ok());
}

TEST(TableErrors, MissingValuesAreNeverZero) {
  const std::string advice =
      ": the method needs every sample, so fill the gap first (interpolate it, or end the data before "
      "it); a missing value is never read as zero";
  Failure f = failure("a,b\n1,2\n3,\n");
  EXPECT_EQ(f.text, "d.csv line 3, column 2 (\"b\"): the value is empty" + advice);
  EXPECT_EQ(f.line, 3);
  EXPECT_EQ(f.column, 2);
  f = failure("1;2\n3;4\n NA ;5\n");
  EXPECT_EQ(f.text, "d.csv line 3, column 1: the value \"NA\" marks a missing sample" + advice);
  EXPECT_EQ(f.line, 3);
  EXPECT_EQ(f.column, 1);
  f = failure("date,x,y\n1969-01-01,1,nan\n");
  EXPECT_EQ(f.text, "d.csv line 2, column 3 (\"y\"): the value \"nan\" marks a missing sample" + advice);
  EXPECT_EQ(failure("x\n1\n\"\"\n").text, "d.csv line 3, column 1 (\"x\"): the value is empty" + advice);
  // A single column: an empty line is an empty value.
  EXPECT_EQ(failure("1\n\n2\n").text, "d.csv line 2, column 1: the value is empty" + advice);
  EXPECT_EQ(failure("1\nN/A\n").line, 2);
  EXPECT_EQ(failure("1\nnull\n").line, 2);
}

TEST(TableErrors, ValuesFieldsAndQuotes) {
  Failure f = failure("a;b\n1,5;2\n");
  EXPECT_EQ(f.text, "d.csv line 2, column 1 (\"a\"): \"1,5\" is not a number: write a value such as 12, -0.5 or "
                    "1.5e3; a decimal comma is not read (write 1.5, not 1,5)");
  EXPECT_EQ(f.column, 1);
  f = failure("1,2\n3,4x\n");
  EXPECT_EQ(f.text, "d.csv line 2, column 2: \"4x\" is not a number: write a value such as 12, -0.5 or 1.5e3");
  f = failure("1,2\n3,1e39\n");
  EXPECT_EQ(f.text, "d.csv line 2, column 2: \"1e39\" is not a finite number in single precision (at most "
                    "about 3.4e38 in size): scale the data down or correct the value");
  EXPECT_EQ(failure("1,2\n3,-inf\n").line, 2);
  f = failure("a,b\n1,2\n3,4,5\n");
  EXPECT_EQ(f.text, "d.csv line 3 has 3 fields, but the first row has 2: every row needs the same columns "
                    "(check the delimiters, ',', and the quotes)");
  EXPECT_EQ(f.line, 3);
  EXPECT_EQ(f.column, 0);
  f = failure("a\tb\n1\t2\n\n3\t4\n");
  EXPECT_EQ(f.text, "d.csv line 3 is empty: remove the empty line, or fill in the row's values");
  EXPECT_EQ(f.line, 3);
  f = failure("a,b\n1,\"2\n3,4\n");
  EXPECT_EQ(f.text, "d.csv line 2, column 2 (\"b\"): the quote that opens this field is never closed: end the "
                    "field with a quote (\"), and write a quote inside it twice (\"\")");
  f = failure("\"x\ny\",b\n1,2\n3,\"4\"5\n");
  EXPECT_EQ(f.text, "d.csv line 4, column 2 (\"b\"): text follows the closing quote of this field: a quote "
                    "inside a quoted field is written twice (\"\")");
  EXPECT_EQ(f.line, 4);
}

TEST(TableErrors, CountsAndEmptyTables) {
  Failure f = failure("t,kms,front\n1969-01-01,1,2\n1969-02-01,3,4\n", 3);
  EXPECT_EQ(f.text, "d.csv has 2 value columns (kms, front), but No. of data/file in the control file is 3: "
                    "make the two agree (the time column is not counted)");
  EXPECT_EQ(failure("1\n2\n", 2).text, "d.csv has 1 value column, but No. of data/file in the control file is "
                                      "2: make the two agree (the time column is not counted)");
  EXPECT_EQ(failure("").text, "d.csv holds no data: write one row per sample, the values separated by commas");
  EXPECT_EQ(failure("\xEF\xBB\xBF\r\n\n").text, failure("").text);
  EXPECT_EQ(failure("a,b\n").text, "d.csv holds a header row but no data rows");
  EXPECT_EQ(failure("date\n1969-01-01\n1969-02-01\n").text, "d.csv has a time column but no column of values");
  EXPECT_EQ(failure("1969-01-01,4\n").text,
            "d.csv has a single data row: a time column needs two rows or more to give the sampling interval");
}

TEST(TableErrors, TimeStampsAndTheirRegularity) {
  Failure f = failure("date,v\n1969-01-01,1\n1969-02-30,2\n");
  const std::string forms =
      "1969-01-01, 1969-01, 1969-01-01T06:00 or 1969-01-01 06:00:30 (with up to nine digits of a second: "
      "06:00:30.000250), optionally ending in Z or an offset (+01:00, -0530, +01)";
  EXPECT_EQ(f.text, "d.csv line 3, column 1 (\"date\"): \"1969-02-30\" is not a time stamp of the form YYYY-MM-DD "
                    "like the first one (1969-01-01): write every stamp in the first one's form, a real date and "
                    "time of day (accepted forms: " + forms + ")");
  EXPECT_EQ(f.line, 3);
  EXPECT_EQ(f.column, 1);
  EXPECT_EQ(failure("2000-01-01T00:00,1\n2000-01-01T00:01:00,2\n").line, 2);  // another form
  EXPECT_EQ(failure("2000-01-01T24:00,1\n2000-01-02T00:00,2\n").line, 1);
  f = failure("Time,v\n12:00,1\n");
  EXPECT_EQ(f.text, "d.csv line 2, column 1 (\"Time\"): \"12:00\" is not a time stamp: the first column's name "
                    "makes it the time column, whose stamps are written " + forms +
                    ", or are numbers of seconds (or rename the column to read it as values)");
  EXPECT_EQ(failure("date,v\n12,1\n").text,
            "d.csv line 2, column 1 (\"date\"): \"12\" is not a time stamp: the first column's name makes it the "
            "time column, whose stamps are written " + forms + " (or rename the column to read it as values)");
  // Irregular in months: the row and the two spacings.
  f = failure("date,v\n1969-01-01,1\n1969-02-01,2\n1969-03-01,3\n1969-05-01,4\n");
  EXPECT_EQ(f.text, "d.csv line 5, column 1 (\"date\"): the time stamp 1969-05-01 is 2 months after the one before "
                    "(1969-03-01), but the first two stamps are 1 month apart: the time column must be regular (a "
                    "fixed step from row to row, or whole calendar months, quarters or years); fill in the missing "
                    "rows or resample the data");
  EXPECT_EQ(f.line, 5);
  // Irregular in seconds.
  f = failure("2000-01-01 10:00,1\n2000-01-01 11:00,2\n2000-01-01 12:30,3\n");
  EXPECT_NE(f.text.find("line 3, column 1: the time stamp 2000-01-01 12:30 is 90 minutes after the one before "
                        "(2000-01-01 11:00), but the stamps are 1 hour apart (the median step; each step must be "
                        "within 36 seconds of it, 1 % of it)"),
            std::string::npos)
      << f.text;
  // A month that breaks the day of the month is said in days.
  f = failure("1969-01-15,1\n1969-02-15,2\n1969-03-16,3\n");
  EXPECT_NE(f.text.find("line 3, column 1: the time stamp 1969-03-16 is 29 days after the one before (1969-02-15), "
                        "but the first two stamps are 1 month apart"),
            std::string::npos)
      << f.text;
  f = failure("1969-01-01,1\n1969-01-02,2\n1969-01-02,3\n");
  EXPECT_EQ(f.text, "d.csv line 3, column 1: the time stamp 1969-01-02 is not later than the one before "
                    "(1969-01-02): the time stamps must increase from row to row");
  // The first problem of the text is said: an irregular row before a bad value.
  EXPECT_EQ(failure("1969-01-01,1\n1969-01-02,2\n1969-01-04,3\n1969-01-05,x\n").line, 3);
  EXPECT_EQ(failure("1969-01-01,1\n1969-01-02,x\n1969-01-04,3\n").line, 2);
  // Weekly dates with one step of 6 days and one of 8: the mean step is a whole week, so no
  // rounding to the day explains them (the day's tolerance would move the rows between).
  f = failure("1969-01-06,1\n1969-01-13,2\n1969-01-19,3\n1969-01-27,4\n1969-02-03,5\n");
  EXPECT_EQ(f.line, 3);
  EXPECT_NE(f.text.find("the time stamp 1969-01-19 is 6 days after the one before (1969-01-13), but the stamps "
                        "are 1 week apart (the median step; each step must be within 6048 seconds of it"),
            std::string::npos)
      << f.text;
}

// A large text (read in chunks) with its first problem near the end: the same table, or the
// same error, on every number of threads, with and without quotes.
TEST(TableThreads, SameResultOnEveryThreadCount) {
  std::string plain = "time,a,b\n";
  std::mt19937 random(3);
  for (int i = 0; i < 60000; ++i) {
    char row[96];
    std::snprintf(row, sizeof row, "2000-01-%02dT%02d:%02d:%02d,%d.%03d,%d\n", 1 + i / 86400, i / 3600 % 24,
                  i / 60 % 60, i % 60, static_cast<int>(random() % 1000) - 500,
                  static_cast<int>(random() % 1000), static_cast<int>(random() % 100000));
    plain += row;
  }
  const Result<Table> one = read(plain, 2, 1);
  ASSERT_TRUE(one.ok());
  EXPECT_EQ(one.value->rows, 60000);
  for (int threads : {2, 3, 4, 7}) {
    const Result<Table> more = read(plain, 2, threads);
    ASSERT_TRUE(more.ok());
    EXPECT_EQ(more.value->values, one.value->values);
    EXPECT_EQ(more.value->time->first, one.value->time->first);
  }
  // A bad value late, an irregular stamp later, and the same text with a quoted name.
  std::string bad = plain;
  const std::size_t late = bad.find("2000-01-01T16:00:00");
  bad.replace(bad.find(',', late) + 1, 1, "?");
  const std::size_t later = bad.find("2000-01-01T16:30:00");
  bad.replace(later, 19, "2000-01-01T16:30:01");
  for (const std::string& text : {bad, "\"time\",a,b" + bad.substr(bad.find('\n'))}) {
    const Result<Table> first = read(text, 2, 1);
    ASSERT_FALSE(first.ok());
    EXPECT_EQ(first.error->line, 2 + 16 * 3600);
    for (int threads : {2, 3, 5}) {
      const Result<Table> more = read(text, 2, threads);
      ASSERT_FALSE(more.ok());
      EXPECT_EQ(more.error->text, first.error->text);
    }
  }
  // A time column of numbers: the digits and the form of the whole column (a number with an
  // exponent near the end makes it one of numbers each as short as it goes).
  std::string numbers = "time,a,b\n";
  for (std::size_t at = plain.find('\n') + 1, i = 0; at < plain.size(); ++i) {
    const std::size_t comma = plain.find(',', at), end = plain.find('\n', at) + 1;
    numbers += (i == 59990 ? std::string("2.9995e4") : std::to_string(i / 2) + (i % 2 ? ".5" : ".0")) +
               plain.substr(comma, end - comma);
    at = end;
  }
  const Result<Table> by_one = read(numbers, 2, 1);
  ASSERT_TRUE(by_one.ok()) << by_one.error->text;
  EXPECT_FALSE(by_one.value->time->form.fixed_digits);
  EXPECT_EQ(by_one.value->time->stamp(60000), "30000.0");
  for (int threads : {2, 3}) {
    const Result<Table> more = read(numbers, 2, threads);
    ASSERT_TRUE(more.ok());
    EXPECT_EQ(more.value->time->form.fixed_digits, false);
    EXPECT_EQ(more.value->time->stamp(60000), "30000.0");
  }
  // An irregular stamp before any bad value is the first problem, on every thread count.
  std::string irregular = plain;
  irregular.replace(irregular.find("2000-01-01T12:00:00"), 19, "2000-01-01T12:00:02");
  for (int threads : {1, 2, 4}) EXPECT_EQ(read(irregular, 2, threads).error->line, 2 + 12 * 3600);
}

TEST(TableFile, ReadsAFileAndSaysWhyItCannot) {
  const std::string path = testing::TempDir() + "/table_test.csv";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("x;y\n1;2\n", f);
  std::fclose(f);
  csv::ReadOptions o;
  o.file_name = "table_test.csv";
  Result<Table> r = csv::read_table_file(path, o);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value->names, (std::vector<std::string>{"x", "y"}));
  r = csv::read_table_file(path + ".absent", o);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error->text, "table_test.csv cannot be read: No such file or directory");
  EXPECT_TRUE(csv::is_delimited_name("a.CSV"));
  EXPECT_TRUE(csv::is_delimited_name("b.tsv"));
  EXPECT_FALSE(csv::is_delimited_name("c.dat"));
  EXPECT_FALSE(csv::is_delimited_name("csv"));
}

}  // namespace
