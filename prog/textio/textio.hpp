// Formatted text I/O: every line the program writes (report, console, forecast file) and every
// data record it reads goes through here. The notation of formats and the editing of single
// values are format/'s; this folder puts them to work on sinks and files.
//
// Offers: sinks (line destinations, buffered); the formatted write under a format literal of
// the program (checked when the program is compiled) or a format compiled at run time; the
// list-directed write of messages; text files read record by record; list-directed reads;
// reads under a run-time record format taken from the data file; and the messages and
// outcomes of the steps that read or check.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "format/format.hpp"

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

// A format that is not a format, or values that do not fit its descriptors: the column of the
// format text where it went wrong.
class FormatError : public std::runtime_error {
 public:
  FormatError(const std::string& what, int column) : std::runtime_error(what), column_(column) {}
  int column() const { return column_; }

 private:
  int column_;
};

// An output format compiled at run time, for texts the program does not know when it is
// built (tests, fuzzers). The program's own formats are format literals (below).
class Format {
 public:
  // Throws FormatError when the text is not a format.
  static Format compile(std::string_view text);
  ~Format();
  Format(Format&&) noexcept;
  Format& operator=(Format&&) noexcept;

  struct Program;  // the compiled items; defined by the formatter
  const Program& program() const { return *program_; }

 private:
  explicit Format(std::unique_ptr<Program> program);
  std::unique_ptr<Program> program_;
};

// Formatted write: one or more complete lines, by the format control rules (repeat groups,
// `/`, `:`, reversion, asterisks for values too wide, no trailing blanks from nX). A value of
// a kind its descriptor does not take throws FormatError; an integer under F or G, or a real
// under I, is converted.
void write(Sink& out, const Format& format, std::span<const Item> items);

// List-directed write: exactly one line, however long.
void list(Sink& out, std::span<const Item> items);

template <class... T>
void write(Sink& out, const Format& format, const T&... values) {
  const std::array<Item, sizeof...(T)> items{Item(values)...};
  write(out, format, std::span<const Item>(items));
}

template <class... T>
void list(Sink& out, const T&... values) {
  const std::array<Item, sizeof...(T)> items{Item(values)...};
  list(out, std::span<const Item>(items));
}

// ---- Format literals: the program's own formats, checked when the program is compiled ----
//
// "(1x,i2,2x,f8.4)"_format is a format whose text is part of its type. A write with it does
// not compile when the text is not a format, or when a value meets an edit that does not take
// its kind (Iw takes integers, Fw.d and Gw.d reals, Aw texts, by the format control rules);
// a double is never printed: the caller rounds it to float. The text is compiled on its first
// use and kept.

// A text as a template argument.
template <std::size_t N>
struct FormatChars {
  consteval FormatChars(const char (&text)[N]) {  // NOLINT: implicit on purpose
    for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
  }
  constexpr std::string_view view() const { return {chars, N - 1}; }
  char chars[N] = {};
};

template <FormatChars Text>
struct FormatLiteral {
  static constexpr std::string_view text() { return Text.view(); }
  static const Format& compiled() {
    static const Format format = Format::compile(Text.view());
    return format;
  }
};

inline namespace literals {
template <FormatChars Text>
consteval FormatLiteral<Text> operator""_format() {
  if (!format::is_output_format(Text.view())) throw "not an output format";
  return {};
}
}  // namespace literals

// The kinds of values a formatted write takes; a double or a bool is none of them.
template <class T>
concept Printable = std::same_as<T, float> ||
                    (std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char>) ||
                    std::convertible_to<const T&, std::string_view>;

template <Printable T>
constexpr format::ValueKind kind_of() {
  if constexpr (std::same_as<T, float>) {
    return format::ValueKind::Real;
  } else if constexpr (std::integral<T>) {
    return format::ValueKind::Integer;
  } else {
    return format::ValueKind::Text;
  }
}

// Whether values of types T... fit the format literal F.
template <class F, class... T>
concept FitsFormat = (Printable<T> && ...) && requires { F::text(); } &&
                     format::check_kinds(F::text(), std::array<format::ValueKind, sizeof...(T)>{
                                                        kind_of<T>()...})
                             .outcome == format::KindCheck::Outcome::Fits;

template <FormatChars Text, class... T>
  requires FitsFormat<FormatLiteral<Text>, T...>
void write(Sink& out, FormatLiteral<Text> format, const T&... values) {
  write(out, format.compiled(), values...);
}

// A list whose length is known only at run time: its kinds are checked as the line is written.
template <FormatChars Text>
void write(Sink& out, FormatLiteral<Text> format, std::span<const Item> items) {
  write(out, format.compiled(), items);
}

// The same writes into a text of their own: the complete lines they write, each ended by a
// line feed. For messages that are made where a check fails and printed later.
template <FormatChars Text, class... T>
  requires FitsFormat<FormatLiteral<Text>, T...>
std::string format_text(FormatLiteral<Text> format, const T&... values) {
  Sink lines;
  write(lines, format, values...);
  return lines.text();
}
template <class... T>
std::string list_text(const T&... values) {
  Sink lines;
  list(lines, values...);
  return lines.text();
}


// ---------------------------------------------------------------------------------------------
// Input
// ---------------------------------------------------------------------------------------------

// Outcome of a read: success, end of file before the item list was filled, or an error with
// its error number (5006: the format cannot be compiled or a descriptor does not fit its
// item; 5010: a field that cannot be converted).
// A field of a data record that could not be converted: the record's line in the file (from
// 1), the field's first column (from 1) and width, the descriptor that read it, and what the
// field held.
struct FieldError {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::int32_t width = 0;
  std::string item;
  std::string text;
};

struct ReadResult {
  enum class Status : std::uint8_t { Ok, End, Error };
  ReadResult(Status outcome = Status::Ok, int number = 0) : status(outcome), error(number) {}

  Status status = Status::Ok;
  int error = 0;
  std::int64_t values = 0;  // reals the read filled before it ended, whatever its outcome

  std::optional<FieldError> field;  // for a field that could not be converted

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
  // The line number of the record read last (0 before the first, and after a rewind).
  std::int64_t line() const;

  // Up to `max_records` next records at once, about `bytes` of them (at least one while the
  // file has one): the records next_record would give one at a time. The views stay valid
  // until the next call on this file. Returns how many.
  std::int64_t next_records(std::vector<std::string_view>& records, std::int64_t max_records,
                            std::size_t bytes);

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
  // Why the text is not a usable format, naming the column; empty when it is one.
  const std::string& error() const;

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

// How a read may share its records out: `threads` and a function that calls work(first, last)
// for chunks of [0, count) on that many threads and returns when all are done.
struct RecordWork {
  int threads = 1;
  std::function<void(std::int64_t count,
                     const std::function<void(std::int64_t first, std::int64_t last)>& work)>
      run;
};

// The same read without a label, its records converted side by side when the format reads the
// same values from every record (no `/`, `:`, scale factor or blank mode): the values and the
// outcome are those of read(), and so is the file's position after a read that succeeds or
// meets the end of the file. After a field that cannot be read, the values past it are not
// the read's.
ReadResult read_shared(TextFile& file, const RecordFormat& format, float* dest,
                       std::int64_t count, const RecordWork& work);

}  // namespace tramel::textio
