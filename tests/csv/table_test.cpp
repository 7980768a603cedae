// The table reader: the layout rules, the values against the program's fixed-format reader,
// the time column, every error with its message, line and column, and the same table for
// every number of threads.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
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
                        "within 1 minute of it, 1 % of it or the stamps' last digit, whichever is more)"),
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
