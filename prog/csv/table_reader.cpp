// The table reader: the first rows decide the layout (delimiter, header, time column, number
// of fields), then every row is read into the values and the time stamps, and the stamps are
// checked for regularity.
//
// Each row is first tried on a fast path: the fields in order, each a number that fast_float
// converts up to the next delimiter (or a time stamp at its fixed positions). A row the fast
// path does not take whole (quotes, blanks, a missing value, anything wrong) is read again by
// the general path, which splits it by the quoting rules and says what is wrong with it. The
// fast path takes only rows that the general path reads to the same values, so it changes no
// result. Without quotes a row is one line, and the rows are read in chunks of whole lines side
// by side; the first error of the text is the first error of the first chunk that has one.
#include <fast_float/fast_float.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>

#include "csv/stamps.hpp"

namespace tramel::csv {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

using stamps::equal_ignoring_case;

// A first column of this name must be a time column.
bool is_time_name(std::string_view name) {
  return equal_ignoring_case(name, "date") || equal_ignoring_case(name, "datetime") || is_time_word(name) ||
         time_name_unit(name).has_value();
}

// The number that is the whole text (of a time column), or nothing.
std::optional<stamps::Decimal> decimal_of(std::string_view t) {
  stamps::Decimal d;
  if (t.empty() || stamps::read_decimal(t.data(), t.data() + t.size(), d) != t.data() + t.size()) return std::nullopt;
  return d;
}

bool is_missing_word(std::string_view t) {
  for (std::string_view w : {"na", "nan", "n/a", "null"})
    if (equal_ignoring_case(t, w)) return true;
  return false;
}

// The number at the start of [first, last) as a float, correctly rounded; the end of the
// number, or nullptr when none stands there. A plain decimal of at most 7 digits (the common
// case, -3.781) takes one division of two floats that hold their values exactly, which
// rounds correctly by itself: measured a third faster than fast_float on such fields. Every
// other text goes to fast_float.
const char* to_float(const char* first, const char* last, float& v) {
  constexpr float kPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
  const char* p = first;
  const bool negative = p < last && *p == '-';
  if (negative) ++p;
  std::uint32_t digits = 0;
  int count = 0, fraction = 0;
  while (p < last && static_cast<unsigned>(*p - '0') < 10) {
    digits = digits * 10 + static_cast<std::uint32_t>(*p++ - '0');
    ++count;
  }
  if (p < last && *p == '.') {
    ++p;
    while (p < last && static_cast<unsigned>(*p - '0') < 10) {
      digits = digits * 10 + static_cast<std::uint32_t>(*p++ - '0');
      ++fraction;
    }
  }
  if (count + fraction == 0 || count + fraction > 7 || (p < last && (*p == 'e' || *p == 'E'))) {
    const fast_float::from_chars_result r = fast_float::from_chars(first, last, v);
    return r.ec == std::errc() ? r.ptr : nullptr;
  }
  const float magnitude = static_cast<float>(digits) / kPowers[fraction];
  v = negative ? -magnitude : magnitude;
  return p;
}

enum class Conversion { Ok, Missing, NotNumber, NotFinite };

// A field's text (without quotes and surrounding blanks) as a value.
Conversion convert(std::string_view t, float& v) {
  if (t.empty() || is_missing_word(t)) return Conversion::Missing;
  const char* first = t.data();
  const char* last = first + t.size();
  // from_chars takes no plus sign; one before a digit or a point is passed over.
  if (*first == '+' && last - first > 1 && (first[1] == '.' || (first[1] >= '0' && first[1] <= '9'))) ++first;
  if (to_float(first, last, v) != last) return Conversion::NotNumber;
  if (std::isnan(v)) return Conversion::Missing;
  if (std::isinf(v)) return Conversion::NotFinite;
  return Conversion::Ok;
}

// Whether a field of the first row is data rather than a column name.
bool is_data_field(std::string_view t) {
  float v = 0.0f;
  return convert(t, v) != Conversion::NotNumber || stamps::form_of(t).has_value();
}

std::string quoted(std::string_view t) { return '"' + std::string(t) + '"'; }

// One record split into fields by the quoting rules.
struct Record {
  std::vector<std::string> fields;
  std::int64_t first_line = 0;  // the line the record starts on
  std::int64_t lines = 0;       // the line ends it holds, its own included
};

// Where a record could not be split.
struct SplitError {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::string what;
};

// Splits the record at `p` (before `end`) and moves `p` past its line end.
std::optional<SplitError> split(const char*& p, const char* end, char delimiter, std::int64_t line,
                                Record& record) {
  record.fields.clear();
  record.first_line = line;
  record.lines = 0;
  const auto blank = [delimiter](char c) { return c == ' ' || (c == '\t' && delimiter != '\t'); };
  for (;;) {
    std::string field;
    while (p < end && blank(*p)) ++p;
    const auto column = static_cast<std::int64_t>(record.fields.size()) + 1;
    if (p < end && *p == '"') {
      const std::int64_t opened = line + record.lines;
      ++p;
      for (;;) {
        if (p == end)
          return SplitError{opened, column,
                            "the quote that opens this field is never closed: end the field with a "
                            "quote (\"), and write a quote inside it twice (\"\")"};
        if (*p == '"') {
          if (p + 1 < end && p[1] == '"') {
            field += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        if (*p == '\n') ++record.lines;
        field += *p++;
      }
      while (p < end && blank(*p)) ++p;
      if (p < end && *p != delimiter && *p != '\n' && !(*p == '\r' && p + 1 < end && p[1] == '\n') &&
          !(*p == '\r' && p + 1 == end))
        return SplitError{line + record.lines, column,
                          "text follows the closing quote of this field: a quote inside a quoted "
                          "field is written twice (\"\")"};
    } else {
      const char* start = p;
      while (p < end && *p != delimiter && *p != '\n') ++p;
      const char* stop = p;
      if (stop > start && stop == p && p < end && *p == '\n' && stop[-1] == '\r') --stop;
      if (p == end && stop > start && stop[-1] == '\r') --stop;
      while (stop > start && blank(stop[-1])) --stop;
      field.assign(start, stop);
    }
    record.fields.push_back(std::move(field));
    if (p < end && *p == delimiter) {
      ++p;
      continue;
    }
    if (p < end && *p == '\r') ++p;
    if (p < end && *p == '\n') {
      ++p;
      ++record.lines;
    }
    return std::nullopt;
  }
}

// What the first column is.
enum class TimeColumn : std::uint8_t {
  None,     // a column of values
  Stamps,   // ISO 8601 time stamps
  Numbers,  // numbers of a unit
};

// What the first rows decide.
struct Layout {
  std::string file;
  char delimiter = ',';
  std::size_t fields = 0;  // fields per row
  TimeColumn time = TimeColumn::None;
  StampForm form;
  std::string first_stamp;  // the first row's stamp, for the messages
  std::vector<std::string> names;  // the header's fields, when there is one
  int values = 0;                  // value columns

  // An error at a field, after where it is: seatbelts.csv line 3, column 2 ("front"): ...
  Error error(std::int64_t line, std::int64_t column, const std::string& what) const {
    std::string w = file + " line " + std::to_string(line) + ", column " + std::to_string(column);
    if (!names.empty() && column >= 1 && static_cast<std::size_t>(column) <= names.size())
      w += " (" + quoted(names[static_cast<std::size_t>(column - 1)]) + ")";
    return Error{w + ": " + what, line, column};
  }
  // An error about the whole text, or about a line (`line` above 0), after the text's name.
  Error file_error(const std::string& what, std::int64_t line = 0) const { return Error{file + " " + what, line, 0}; }
};

// The words for a value that cannot be read.
std::string value_problem(Conversion c, std::string_view t) {
  const std::string advice =
      "the method needs every sample, so fill the gap first (interpolate it, or end the data "
      "before it); a missing value is never read as zero";
  switch (c) {
    case Conversion::Missing:
      return (t.empty() ? std::string("the value is empty") : "the value " + quoted(t) + " marks a missing sample") +
             ": " + advice;
    case Conversion::NotFinite:
      return quoted(t) + " is not a finite number in single precision (at most about 3.4e38 in size): "
             "scale the data down or correct the value";
    case Conversion::NotNumber:
    case Conversion::Ok:
      break;
  }
  std::string s = quoted(t) + " is not a number: write a value such as 12, -0.5 or 1.5e3";
  const std::size_t comma = t.find(',');
  if (comma != std::string_view::npos && comma > 0 && comma + 1 < t.size())
    s += "; a decimal comma is not read (write 1.5, not 1,5)";
  return s;
}

// Where a row's values and stamp go: a stamp's ticks, or a number's digits and the exponent
// of its last digit (made ticks once every row is read).
struct RowTarget {
  float* values = nullptr;
  std::int64_t* stamp = nullptr;
  std::int16_t* exponent = nullptr;
  bool* scientific = nullptr;    // set when a number is written with an exponent
  stamps::LastDay* last_day = nullptr;  // the date of the stamp before, in the chunk
};

// A time column's number into its row's target.
void keep_number(const stamps::Decimal& d, const RowTarget& to) {
  *to.stamp = d.digits;
  *to.exponent = static_cast<std::int16_t>(std::clamp(d.exponent, -30000, 30000));
  if (d.scientific) *to.scientific = true;
}

// The general path: one record, split and converted, or its error.
std::optional<Error> read_record(const Layout& layout, const Record& record, RowTarget to) {
  const std::int64_t line = record.first_line;
  if (record.fields.size() != layout.fields) {
    const std::string this_line = "line " + std::to_string(line);
    if (record.fields.size() == 1 && record.fields[0].empty())
      return layout.file_error(this_line + " is empty: remove the empty line, or fill in the row's values", line);
    return layout.file_error(this_line + " has " + std::to_string(record.fields.size()) +
                                 " fields, but the first row has " + std::to_string(layout.fields) +
                                 ": every row needs the same columns (check the delimiters, '" +
                                 std::string(layout.delimiter == '\t' ? "tab" : std::string(1, layout.delimiter)) +
                                 "', and the quotes)",
                             line);
  }
  std::size_t f = 0;
  if (layout.time == TimeColumn::Stamps) {
    const std::string& t = record.fields[0];
    const std::optional<std::int64_t> s = stamps::read(t, layout.form);
    if (!s)
      return layout.error(line, 1,
                          quoted(t) + " is not a time stamp of the form " + stamps::form_text(layout.form) +
                              " like the first one (" + layout.first_stamp +
                              "): write every stamp in the first one's form, a real date and time of "
                              "day (accepted forms: " + std::string(stamps::kAcceptedForms) + ")");
    *to.stamp = *s;
    f = 1;
  } else if (layout.time == TimeColumn::Numbers) {
    const std::string& t = record.fields[0];
    const std::optional<stamps::Decimal> d = decimal_of(t);
    if (!d)
      return layout.error(line, 1,
                          quoted(t) + " is not a number of " + std::string(layout.form.unit.words) +
                              " like the first one (" + layout.first_stamp +
                              "): every row of a time column of numbers needs one");
    keep_number(*d, to);
    f = 1;
  }
  for (int j = 0; j < layout.values; ++j, ++f) {
    const std::string& t = record.fields[f];
    const Conversion c = convert(t, to.values[j]);
    if (c != Conversion::Ok) return layout.error(line, static_cast<std::int64_t>(f) + 1, value_problem(c, t));
  }
  return std::nullopt;
}

// The fast path: the row at `p` when it is plain numbers (and a stamp) and delimiters; moves
// `p` past the row. False, with `p` unmoved, when the general path has to read it.
bool read_plain_row(const Layout& layout, const char*& p, const char* end, RowTarget to) {
  const char* q = p;
  const char d = layout.delimiter;
  if (layout.time == TimeColumn::Stamps) {
    // Every stamp has the first one's length.
    const char* stop = q + layout.first_stamp.size();
    if (stop >= end || *stop != d) return false;
    const std::optional<std::int64_t> s =
        stamps::read(std::string_view(q, layout.first_stamp.size()), layout.form, to.last_day);
    if (!s) return false;
    *to.stamp = *s;
    q = stop + 1;
  } else if (layout.time == TimeColumn::Numbers) {
    stamps::Decimal number;
    const char* stop = stamps::read_decimal(q, end, number);
    if (stop == nullptr || stop == end || *stop != d) return false;
    keep_number(number, to);
    q = stop + 1;
  }
  for (int j = 0; j < layout.values; ++j) {
    float v = 0.0f;
    q = to_float(q, end, v);
    if (q == nullptr || !std::isfinite(v)) return false;
    to.values[j] = v;
    if (j + 1 < layout.values) {
      if (q == end || *q != d) return false;
      ++q;
    }
  }
  if (q < end) {
    if (*q == '\n') {
      ++q;
    } else if (*q == '\r' && q + 1 < end && q[1] == '\n') {
      q += 2;
    } else {
      return false;
    }
  }
  p = q;
  return true;
}

// A stretch of whole rows, read by one thread.
struct Chunk {
  const char* begin = nullptr;
  const char* end = nullptr;
  std::int64_t first_row = 0;
  std::int64_t first_line = 0;
  // Filled in by the reading.
  std::int64_t rows = 0;
  std::optional<Error> error;
  bool scientific = false;  // a time column's number written with an exponent
  std::vector<std::int64_t> row_lines;  // with quotes: each row's first line
};

// Reads the chunk's rows into `values` and, where the rows' time column goes when it is kept,
// `row_stamps` (a stamp or a number's digits per row) and `row_exponents` (the exponent of each
// number's last digit).
void read_chunk(const Layout& layout, Chunk& c, float* values, std::int64_t* row_stamps,
                std::int16_t* row_exponents, bool keep_lines) {
  const char* p = c.begin;
  std::int64_t line = c.first_line;
  std::int64_t spare_stamp = 0;
  std::int16_t spare_exponent = 0;
  stamps::LastDay last_day;
  // The targets of the chunk's first row, moved on a row at a time (a column not kept writes to
  // its spare).
  const std::ptrdiff_t stamp_step = row_stamps ? 1 : 0, exponent_step = row_exponents ? 1 : 0;
  RowTarget to{values + c.first_row * layout.values, row_stamps ? row_stamps + c.first_row : &spare_stamp,
               row_exponents ? row_exponents + c.first_row : &spare_exponent, &c.scientific, &last_day};
  Record record;
  while (p < c.end) {
    if (keep_lines) c.row_lines.push_back(line);
    if (read_plain_row(layout, p, c.end, to)) {
      ++line;
    } else {
      if (const std::optional<SplitError> e = split(p, c.end, layout.delimiter, line, record)) {
        c.error = layout.error(e->line, e->column, e->what);
        return;
      }
      if (std::optional<Error> e = read_record(layout, record, to)) {
        c.error = std::move(e);
        return;
      }
      line += std::max<std::int64_t>(record.lines, 1);
    }
    to.values += layout.values;
    to.stamp += stamp_step;
    to.exponent += exponent_step;
    ++c.rows;
  }
}

// The delimiter, from the first line outside quotes: tab, else semicolon, else comma.
char detect_delimiter(std::string_view text) {
  bool in_quotes = false, semicolon = false;
  for (const char c : text) {
    if (c == '"') in_quotes = !in_quotes;
    if (in_quotes) continue;
    if (c == '\n') break;
    if (c == '\t') return '\t';
    if (c == ';') semicolon = true;
  }
  return semicolon ? ';' : ',';
}

// The start of the line after the one `p` is on (before `end`), or `end`.
const char* next_line(const char* p, const char* end) {
  const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
  return nl ? static_cast<const char*>(nl) + 1 : end;
}

// The end of the rows: after the line end of the last line that is not blank.
const char* rows_end(const char* begin, const char* end) {
  const char* p = end;
  while (p > begin && (is_blank(p[-1]) || p[-1] == '\n')) --p;
  return p == begin ? begin : next_line(p, end);
}

// The lines of whole lines [begin, end): their line ends, and a last line without one.
std::int64_t count_lines(const char* begin, const char* end) {
  std::int64_t n = 0;
  for (const char* p = begin; p < end; p = next_line(p, end)) ++n;
  return n;
}

std::string joined(const std::vector<std::string>& names, std::size_t from) {
  std::string s;
  for (std::size_t i = from; i < names.size(); ++i) s += (i > from ? ", " : "") + names[i];
  return s;
}

}  // namespace

std::vector<float> Table::column(int j) const {
  std::vector<float> c(static_cast<std::size_t>(rows));
  for (std::int64_t i = 0; i < rows; ++i)
    c[static_cast<std::size_t>(i)] = values[static_cast<std::size_t>(i * columns + j)];
  return c;
}

bool is_delimited_name(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view tail = name.substr(name.size() - 4);
  return equal_ignoring_case(tail, ".csv") || equal_ignoring_case(tail, ".tsv");
}

Result<Table> read_table(std::string_view bytes, const ReadOptions& options) {
  using R = Result<Table>;
  Layout layout;
  layout.file = options.file_name.empty() ? std::string("the data") : options.file_name;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const char* begin = bytes.data();
  const char* end = rows_end(begin, begin + bytes.size());
  if (begin == end)
    return R::failure(layout.file_error("holds no data: write one row per sample, the values separated by commas"));
  layout.delimiter = detect_delimiter(bytes);

  // The first record: a header, or the first row.
  const char* p = begin;
  Record first;
  if (const std::optional<SplitError> e = split(p, end, layout.delimiter, 1, first))
    return R::failure(layout.error(e->line, e->column, e->what));
  layout.fields = first.fields.size();
  const bool header = !std::all_of(first.fields.begin(), first.fields.end(), is_data_field);
  const char* data_begin = begin;
  std::int64_t first_line = 1;
  Record row1 = first;
  if (header) {
    layout.names = first.fields;
    data_begin = p;
    first_line = 1 + first.lines;
    if (data_begin == end) return R::failure(layout.file_error("holds a header row but no data rows"));
    const char* q = data_begin;
    if (const std::optional<SplitError> e = split(q, end, layout.delimiter, first_line, row1))
      return R::failure(layout.error(e->line, e->column, e->what));
  }

  // The time column: holding stamps, or numbers named so (or by --time-unit).
  const std::string& stamp = row1.fields[0];
  const std::string first_name = header ? layout.names[0] : std::string();
  const std::optional<StampForm> form = stamps::form_of(stamp);
  const std::optional<NumberUnit> named_unit = header ? time_name_unit(first_name) : std::nullopt;
  if (options.time_unit) {
    if (form)
      return R::failure(layout.error(first_line, 1,
                                     "--time-unit " + std::string(options.time_unit->name) +
                                         " is for a time column of numbers, but this one holds time stamps (" +
                                         quoted(stamp) + "): leave --time-unit out"));
    if (named_unit && named_unit->nanoseconds != options.time_unit->nanoseconds)
      return R::failure(layout.error(first_line, 1,
                                     "the column's name says " + std::string(named_unit->words) + ", but --time-unit " +
                                         std::string(options.time_unit->name) + " says " +
                                         std::string(options.time_unit->words) +
                                         ": give the unit the numbers count, and a name that does not say another"));
  }
  if (form) {
    layout.time = TimeColumn::Stamps;
    layout.form = *form;
  } else if (options.time_unit || ((named_unit || is_time_word(first_name)) && decimal_of(stamp))) {
    layout.time = TimeColumn::Numbers;
    layout.form.kind = StampForm::Kind::Number;
    layout.form.unit = options.time_unit ? *options.time_unit : named_unit ? *named_unit : *number_unit("s");
  } else if (header && is_time_name(first_name)) {
    return R::failure(layout.error(
        first_line, 1,
        quoted(stamp) + " is not a time stamp: the first column's name makes it the time column, "
        "whose stamps are written " + std::string(stamps::kAcceptedForms) +
        (named_unit || is_time_word(first_name)
             ? ", or are numbers of " + std::string(named_unit ? named_unit->words : "seconds")
             : std::string()) +
        " (or rename the column to read it as values)"));
  }
  if (layout.time != TimeColumn::None) layout.first_stamp = stamp;
  const bool time = layout.time != TimeColumn::None;
  layout.values = static_cast<int>(layout.fields) - (time ? 1 : 0);
  if (layout.values < 1) return R::failure(layout.file_error("has a time column but no column of values"));
  if (options.expected_columns > 0 && layout.values != options.expected_columns) {
    std::string counted = std::to_string(layout.values) + " value column" + (layout.values == 1 ? "" : "s");
    if (header) counted += " (" + joined(layout.names, time ? 1 : 0) + ")";
    return R::failure(layout.file_error("has " + counted + ", but No. of data/file in the control file is " +
                                            std::to_string(options.expected_columns) +
                                            ": make the two agree (the time column is not counted)",
                                        first_line));
  }

  // The chunks: whole lines side by side when no quote can join lines, else one.
  const auto span = static_cast<std::size_t>(end - data_begin);
  const bool quotes = std::memchr(data_begin, '"', span) != nullptr;
  const int threads = std::max(1, options.threads.count);
  const int chunk_count = quotes || span < (std::size_t{1} << 20) ? 1 : threads;
  std::vector<Chunk> chunks(static_cast<std::size_t>(chunk_count));
  for (int k = 0; k < chunk_count; ++k) {
    const char* b = k == 0 ? data_begin : data_begin + span * static_cast<std::size_t>(k) / static_cast<std::size_t>(chunk_count);
    if (k > 0) b = std::max(next_line(b, end), chunks[static_cast<std::size_t>(k - 1)].begin);
    chunks[static_cast<std::size_t>(k)].begin = b;
  }
  for (int k = 0; k < chunk_count; ++k)
    chunks[static_cast<std::size_t>(k)].end = k + 1 < chunk_count ? chunks[static_cast<std::size_t>(k + 1)].begin : end;
  // Each chunk's lines; every line is a row (a line that is not is an error in any case).
  std::vector<std::int64_t> lines(static_cast<std::size_t>(chunk_count));
  parallel::for_chunks(chunk_count, options.threads, [&](std::int64_t a, std::int64_t b) {
    for (std::int64_t k = a; k < b; ++k) {
      const Chunk& c = chunks[static_cast<std::size_t>(k)];
      lines[static_cast<std::size_t>(k)] = count_lines(c.begin, c.end);
    }
  });
  std::int64_t total_lines = 0;
  for (int k = 0; k < chunk_count; ++k) {
    chunks[static_cast<std::size_t>(k)].first_row = total_lines;
    chunks[static_cast<std::size_t>(k)].first_line = first_line + total_lines;
    total_lines += lines[static_cast<std::size_t>(k)];
  }

  Table table;
  table.delimiter = layout.delimiter;
  table.header = header;
  table.columns = layout.values;
  if (header) {
    table.names.assign(layout.names.begin() + (time ? 1 : 0), layout.names.end());
    if (time) table.time_name = layout.names[0];
  }
  table.values.resize(static_cast<std::size_t>(total_lines) * static_cast<std::size_t>(layout.values));
  const bool numbers = layout.time == TimeColumn::Numbers;
  std::vector<std::int64_t> stamps_of_rows(time ? static_cast<std::size_t>(total_lines) : 0);
  std::vector<std::int16_t> exponents(numbers ? static_cast<std::size_t>(total_lines) : 0);
  parallel::for_chunks(chunk_count, options.threads, [&](std::int64_t a, std::int64_t b) {
    for (std::int64_t k = a; k < b; ++k)
      read_chunk(layout, chunks[static_cast<std::size_t>(k)], table.values.data(),
                 time ? stamps_of_rows.data() : nullptr, numbers ? exponents.data() : nullptr, quotes);
  });

  // The rows read before the first error (all of them when there is none).
  std::int64_t rows = 0;
  const Chunk* failed = nullptr;
  bool scientific = false;
  for (const Chunk& c : chunks) {
    rows = c.first_row + c.rows;
    scientific = scientific || c.scientific;
    if (c.error) {
      failed = &c;
      break;
    }
  }
  const auto line_of = [&](std::int64_t row) {
    return quotes ? chunks[0].row_lines[static_cast<std::size_t>(row)] : first_line + row;
  };
  if (numbers) {
    // The numbers in ticks of the finest last digit among them, at most nanoseconds of a second.
    int digits = 0;
    bool fixed = !scientific;
    for (std::int64_t i = 0; i < rows; ++i) {
      const int e = exponents[static_cast<std::size_t>(i)];
      digits = std::max(digits, std::min(-e, 9));
      fixed = fixed && e == exponents[0];
    }
    layout.form.digits = digits;
    layout.form.fixed_digits = fixed;
    for (std::int64_t i = 0; i < rows; ++i) {
      std::int64_t& t = stamps_of_rows[static_cast<std::size_t>(i)];
      const std::optional<std::int64_t> ticks =
          stamps::ticks_of(stamps::Decimal{t, exponents[static_cast<std::size_t>(i)], false}, digits);
      if (!ticks)
        return R::failure(layout.error(line_of(i), 1,
                                       "the time value is too large to count in its column's last digit "
                                       "(10^-" + std::to_string(digits) + " " + std::string(layout.form.unit.words) +
                                       "): count them from a nearer origin, or write fewer digits"));
      t = *ticks;
    }
  }
  if (time && rows >= 2) {
    const stamps::Regularity r = stamps::regularity(
        std::span<const std::int64_t>(stamps_of_rows.data(), static_cast<std::size_t>(rows)), layout.form);
    if (!r.axis) return R::failure(layout.error(line_of(r.bad_row), 1, r.problem));
    table.time = r.axis;
  }
  if (failed) return R::failure(*failed->error);
  if (time && rows < 2)
    return R::failure(layout.file_error(
        "has a single data row: a time column needs two rows or more to give the sampling interval", first_line));
  table.rows = rows;
  table.values.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(layout.values));
  return R{std::move(table), std::nullopt};
}

int read_file(const std::string& path, std::string& bytes) {
  errno = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return errno != 0 ? errno : EIO;
  struct stat st {};
  if (fstat(fileno(file.get()), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  // The size the file says first, then whatever more it gives (a pipe says 0).
  std::size_t got = 0;
  bytes.resize(std::max<std::size_t>(static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)) + 1, 1 << 16));
  for (;;) {
    got += std::fread(bytes.data() + got, 1, bytes.size() - got, file.get());
    if (got < bytes.size()) break;
    bytes.resize(2 * bytes.size());
  }
  bytes.resize(got);
  return std::ferror(file.get()) ? EIO : 0;
}

Result<Table> read_table_file(const std::string& path, const ReadOptions& options) {
  std::string bytes;
  if (const int error = read_file(path, bytes)) {
    const std::string& name = options.file_name.empty() ? path : options.file_name;
    return Result<Table>::failure(Error{name + " cannot be read: " + std::strerror(error), 0, 0});
  }
  return read_table(bytes, options);
}

}  // namespace tramel::csv
