// Formatted text I/O: every line the program writes (report, console, forecast file) and every
// data record it reads goes through here.
//
// Output: a fixed format in edit-descriptor notation, compiled once, applied to a list of
// values (`write`), or the free-form list-directed line of a message (`list`).
// Input: a sequential text file read record by record: 80-column lines, list-directed reads,
// and reads under a run-time format taken from the data file itself.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tramel {

// A failed check ends the program. It is thrown where the check fails, after the check's
// own message lines are written, and caught by the main program, which flushes the report
// and the forecast file and returns `status` as the exit status.
struct Stop {
  int status = 1;
};

}  // namespace tramel

namespace tramel::textio {

// ---------------------------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------------------------

// One value of an output list. Reals are single precision: a value computed in double is
// rounded to float by the caller, since every printed real is edited from its float value.
class Item {
 public:
  enum class Kind : std::uint8_t { Integer, Real, Text };

  Item(std::int32_t v) : kind_(Kind::Integer), i_(v) {}
  Item(float v) : kind_(Kind::Real), r_(v) {}
  Item(std::string_view v) : kind_(Kind::Text), s_(v) {}
  Item(const char* v) : kind_(Kind::Text), s_(v) {}
  Item(const std::string& v) : kind_(Kind::Text), s_(v) {}
  Item(double) = delete;       // round to float where the value is printed
  Item(long double) = delete;  // likewise

  Kind kind() const { return kind_; }
  std::int32_t integer() const { return i_; }
  float real() const { return r_; }
  std::string_view text() const { return s_; }

 private:
  Kind kind_;
  std::int32_t i_ = 0;
  float r_ = 0.0f;
  std::string_view s_;
};

// A line-oriented destination: the report, standard output, standard error or the forecast
// file. Lines collect in a buffer that goes to the file in large blocks; a console sink
// passes every line on at once. A sink without a file keeps everything in memory (tests).
class Sink {
 public:
  Sink() = default;                                   // in memory
  explicit Sink(std::FILE* file, bool owned = false, bool line_by_line = false);
  ~Sink();
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  // Opens `path` for writing from its start (created if absent). Returns 0, or the
  // operating system's error number when the file cannot be opened.
  int open(const std::string& path);

  void line(std::string_view text);  // one complete line; the end of line is added
  std::string& pending() { return buf_; }  // the formatter appends lines here directly
  void commit();                       // called after text was appended to pending()
  void flush();                        // everything so far to the file
  void close();

  // Memory sinks: everything written so far (for a file sink, what is not yet flushed).
  const std::string& text() const { return buf_; }

  // The error number of the first write to the file that failed (a full disk), or 0.
  int error() const { return error_; }

 private:
  std::FILE* file_ = nullptr;
  bool owned_ = false;
  bool line_by_line_ = false;
  int error_ = 0;
  std::string buf_;
};

// A compiled output format, e.g. Format("(7x,'Coherence threshold probability = ',f6.3)").
// Fixed formats are compiled once (namespace-scope or function-local statics) and reused.
class FormatError : public std::runtime_error {
 public:
  FormatError(const std::string& what, int column) : std::runtime_error(what), column_(column) {}
  int column() const { return column_; }

 private:
  int column_;
};

class Format {
 public:
  explicit Format(std::string_view text);  // throws FormatError when the text is not a format
  ~Format();
  Format(Format&&) noexcept;
  Format& operator=(Format&&) noexcept;

  struct Program;  // the compiled items; defined by the formatter
  const Program& program() const { return *program_; }

 private:
  std::unique_ptr<Program> program_;
};

// Formatted write: one or more complete lines, by the format control rules (repeat groups,
// `/`, `:`, reversion, asterisks for values too wide, no trailing blanks from nX).
void write(Sink& out, const Format& format, std::span<const Item> items);

// List-directed write: exactly one line, however long.
void list(Sink& out, std::span<const Item> items);

template <class... T>
void write(Sink& out, const Format& format, const T&... values) {
  if constexpr (sizeof...(T) == 0) {
    write(out, format, std::span<const Item>());
  } else {
    const Item items[] = {Item(values)...};
    write(out, format, std::span<const Item>(items));
  }
}

template <class... T>
void list(Sink& out, const T&... values) {
  if constexpr (sizeof...(T) == 0) {
    list(out, std::span<const Item>());
  } else {
    const Item items[] = {Item(values)...};
    list(out, std::span<const Item>(items));
  }
}

// The edit of a single value, for callers and tests that need one field: `Fw.d`, `Gw.d`,
// `Iw` and `Aw` appended to `dst` exactly as inside a formatted write. A width of zero or
// less writes nothing; widths and digit counts above kMaxFieldWidth are cut to it.
inline constexpr int kMaxFieldWidth = 1000;
void edit_f(std::string& dst, float value, int w, int d);
void edit_g(std::string& dst, float value, int w, int d);
void edit_i(std::string& dst, std::int32_t value, int w);
void edit_a(std::string& dst, std::string_view value, int w);

// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

// Outcome of a read: success, end of file before the item list was filled, or an error with
// its error number (5006: the format cannot be compiled or a descriptor does not fit its
// item; 5010: a field that cannot be converted).
struct ReadResult {
  enum class Status : std::uint8_t { Ok, End, Error };
  Status status = Status::Ok;
  int error = 0;
  std::int64_t values = 0;  // reals the read filled before it ended, whatever its outcome

  bool ok() const { return status == Status::Ok; }
  bool end() const { return status == Status::End; }
  bool failed() const { return status == Status::Error; }
};

inline constexpr int kFormatErrorNumber = 5006;
inline constexpr int kConversionErrorNumber = 5010;

// A sequential text file read record by record (a record is a line; a carriage return just
// before the line end belongs to the line end).
class TextFile {
 public:
  TextFile();
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Opens an existing file for reading. Returns 0, or the operating system's error number
  // (a directory is refused with EISDIR).
  int open(const std::string& path);
  // Reads from memory instead of a file (tests and fuzzers).
  void open_text(std::string text);

  void rewind();
  void backspace();  // step back over the record read last

  // The next record, or false at the end of the file. The view stays valid until the next
  // call on this file.
  bool next_record(std::string_view& record);

  // `(a80)`: the next line as exactly 80 characters, blank-padded or cut.
  ReadResult read_line(std::string& line80);

  // List-directed read of integers and reals; an empty list consumes exactly one record.
  using ListTarget = std::variant<std::int32_t*, float*>;
  ReadResult read_list(std::span<const ListTarget> targets);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// A run-time format for data records, compiled from the format text of the data file.
// Compiling never throws: a text that is not a usable format gives a format whose every
// read fails with kFormatErrorNumber.
class RecordFormat {
 public:
  explicit RecordFormat(std::string_view text);
  ~RecordFormat();
  RecordFormat(RecordFormat&&) noexcept;
  RecordFormat& operator=(RecordFormat&&) noexcept;

  bool valid() const;

  struct Program;
  const Program& program() const { return *program_; }

 private:
  std::unique_ptr<Program> program_;
};

// One formatted read: starts at a new record, reads `count` reals into `dest` (or discards
// them when `dest` is null), then, when `label` is not null, one 25-character label, going on
// to further records by `/` and by reversion; the rest of the last record is skipped. The
// result counts the reals filled, so an end of file can name the datum it cut off.
ReadResult read(TextFile& file, const RecordFormat& format, float* dest, std::int64_t count,
                char* label = nullptr);

// ---------------------------------------------------------------------------------------------
// The files of one invocation
// ---------------------------------------------------------------------------------------------

// Opened by the main program and handed to every step that writes or reads them.
struct Files {
  Sink& report;    // tramel.out
  Sink& out;       // standard output
  Sink& err;       // standard error
  Sink& forecast;  // the forecast file
  TextFile& data;  // the data file
};

}  // namespace tramel::textio
