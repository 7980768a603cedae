// The edit-descriptor notation of formats, `(2x,'b(',i2,',',i2,') = ',f9.3)`: one parser that
// turns a format text into its edit items one by one, the two uses of the notation (the
// program's output formats and the run-time formats of data records), the check of a format
// against the kinds of the values it is written with, and the editors of single values
// (Iw, Fw.d, Gw.d, Aw) that turn one value into its characters. Pure: no files, no sinks.
//
// The parser is usable in constant expressions: the same code checks the program's own formats
// when the program is compiled, and compiles run-time formats into the programs that the
// formatted write and the record read walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tramel::format {

// ---------------------------------------------------------------------------------------------
// Edit items
// ---------------------------------------------------------------------------------------------

enum class Descriptor : std::uint8_t {
  Integer,         // Iw, Iw.m
  Fixed,           // Fw.d
  Exponent,        // Ew.d, Ew.dEe
  DoubleExponent,  // Dw.d
  General,         // Gw.d, Gw.dEe
  Characters,      // Aw, A (the value's own length)
  Literal,         // 'text' or "text"
  Skip,            // nX: move `columns` on
  Tab,             // Tn: to column `columns`
  TabLeft,         // TLn
  TabRight,        // TRn
  NextRecord,      // /
  Colon,           // : ends the edit when no value is left
  Scale,           // kP
  BlankNull,       // BN
  BlankZero,       // BZ
  SignControl,     // S, SP, SS
  GroupBegin,      // n( : a group repeated `repeat` times
  GroupEnd,        // ) of a group
  End,             // the closing parenthesis of the format
  Error,           // the text is not a format of the notation
};

constexpr bool is_data(Descriptor d) {
  return d == Descriptor::Integer || d == Descriptor::Fixed || d == Descriptor::Exponent ||
         d == Descriptor::DoubleExponent || d == Descriptor::General ||
         d == Descriptor::Characters;
}

// One item of a format, self-describing: the fields that do not apply to its descriptor keep
// their defaults.
struct Edit {
  Descriptor descriptor = Descriptor::End;
  std::int32_t repeat = 1;           // data edits, '/', literals and groups: the count before
  std::int32_t width = -1;           // data edits: w (-1 for A without one)
  std::int32_t digits = -1;          // F E D G: d; I: m (-1 when absent)
  std::int32_t exponent_digits = -1; // E G: e of Ew.dEe
  std::int32_t columns = 0;          // X T TL TR: n
  std::int32_t scale = 0;            // P: k
  std::int32_t depth = 0;            // GroupBegin, GroupEnd: 2 for a group directly in the format
  std::int32_t column = 0;           // where the item (or the error) is in the text, from 1
  // Literal: the characters between the quotes (a doubled quote still doubled); data edits:
  // the descriptor's own characters, from its letter on. Offsets into the text.
  std::int32_t text_begin = 0;
  std::int32_t text_end = 0;
  char quote = 0;                    // Literal: the quote character
  const char* error = nullptr;       // Error: what is wrong
  std::int64_t limit = 0;            // Error on a number too large: the largest allowed
};

// ---------------------------------------------------------------------------------------------
// The two uses of the notation
// ---------------------------------------------------------------------------------------------

// Limits of the parser itself, whatever the use: nesting of groups (the format's own
// parentheses count as the first level), and any number in the text.
inline constexpr int kMaxDepth = 32;
inline constexpr std::int64_t kMaxNumber = 2147483647;

// What a use of the notation accepts beyond the common core (groups with repeat counts, nX,
// '/', ':', Iw, Fw.d, Gw.d, A[w]).
struct Notation {
  bool literals = false;          // 'text' and "text"
  bool exponent_forms = false;    // Ew.d, Dw.d, and the exponent width Ee
  bool integer_minimum = false;   // Iw.m
  bool general_zero_digits = false;  // Gw.0
  bool positions_and_modes = false;  // T, TL, TR, kP, BN, BZ, S, SP, SS
  bool commas_optional = false;   // items may stand side by side, commas anywhere
  bool tab_is_blank = false;      // a tab outside literals is ignored like a blank
  bool text_after_end = false;    // whatever follows the closing parenthesis is not part of it
  std::int64_t max_count = kMaxNumber;  // a repeat count or nX
  std::int64_t max_width = kMaxNumber;  // a width or digit count
  std::size_t max_length = std::string_view::npos;  // characters of the text that count
};

// The formats the program writes with: literals, strict commas (only '/' and ':' stand
// without one), widths the editors can fill.
inline constexpr Notation kOutputNotation{
    .literals = true,
    .tab_is_blank = true,
    .max_count = 1'000'000,
    .max_width = 1000,
};

// The format of a data file's records: no literals, the input descriptors and modes, commas
// optional, at most 50 characters.
inline constexpr Notation kRecordNotation{
    .exponent_forms = true,
    .integer_minimum = true,
    .general_zero_digits = true,
    .positions_and_modes = true,
    .commas_optional = true,
    .text_after_end = true,
    .max_length = 50,
};

// ---------------------------------------------------------------------------------------------
// The parser
// ---------------------------------------------------------------------------------------------

// Reads a format text item by item, in text order: next() gives the items of the format, a
// GroupBegin and GroupEnd around each group, and at last End, or Error where the text goes
// wrong (and keeps giving it). Repeats are not expanded: walking the groups is the user's.
// Blanks outside literals carry no meaning, letters are read in either case. A parser is a
// small value: a copy resumes where the original stood.
class Parser {
 public:
  constexpr Parser(std::string_view text, const Notation& notation)
      : text_(text.substr(0, notation.max_length)),
        notation_(&notation) {}
  constexpr Parser() : Parser({}, kOutputNotation) {}  // a parser of no text

  constexpr Edit next() {
    if (finished_) return last_;
    if (depth_ == 0) {
      if (peek() != '(') return fail("a format starts with '('", column());
      ++pos_;
      open_level();
    }
    for (;;) {
      Level& level = levels_[depth_ - 1];
      const int c = peek();
      if (c == kEnd) return fail("missing ')'", column());
      if (c == ')') {
        if (level.after_comma && !notation_->commas_optional)
          return fail("an edit descriptor is missing before ')'", column());
        const int col = column();
        ++pos_;
        if (depth_ == 1) {
          if (!notation_->text_after_end && peek() != kEnd)
            return fail("text after the closing parenthesis", column());
          Edit end;
          end.descriptor = Descriptor::End;
          end.column = col;
          finished_ = true;
          last_ = end;
          return end;
        }
        Edit close;
        close.descriptor = Descriptor::GroupEnd;
        close.depth = depth_;
        close.column = col;
        --depth_;
        item_done(false);
        return close;
      }
      if (c == ',') {
        if (!notation_->commas_optional && (level.first || level.after_comma))
          return fail("an edit descriptor is missing before ','", column());
        ++pos_;
        level.after_comma = true;
        continue;
      }
      return item();
    }
  }

  std::string_view text() const { return text_; }

 private:
  static constexpr int kEnd = -1;
  struct Level {
    bool first = true;
    bool after_comma = false;
    bool free_separator = true;  // the last item was '/' or ':', which need no comma
  };

  static constexpr bool digit(int c) { return c >= '0' && c <= '9'; }
  static constexpr int lower(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

  constexpr int column() const { return static_cast<int>(pos_) + 1; }
  constexpr bool blank(char c) const { return c == ' ' || (c == '\t' && notation_->tab_is_blank); }
  constexpr int peek() {
    while (pos_ < text_.size() && blank(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? lower(static_cast<unsigned char>(text_[pos_])) : kEnd;
  }
  constexpr bool eat(char c) {
    if (peek() != c) return false;
    ++pos_;
    return true;
  }

  constexpr Edit fail(const char* what, int col, std::int64_t limit = 0) {
    Edit e;
    e.descriptor = Descriptor::Error;
    e.error = what;
    e.column = col;
    e.limit = limit;
    finished_ = true;
    last_ = e;
    return e;
  }

  constexpr void open_level() { levels_[depth_++] = Level{}; }

  // An item of the current level is complete: the comma rules for the next one.
  constexpr void item_done(bool slash_or_colon) {
    Level& level = levels_[depth_ - 1];
    level.free_separator = slash_or_colon;
    level.first = false;
    level.after_comma = false;
  }
  // Whether an item may stand here without a comma before it.
  constexpr bool separated(bool slash_or_colon) {
    const Level& level = levels_[depth_ - 1];
    return notation_->commas_optional || level.first || level.after_comma ||
           level.free_separator || slash_or_colon;
  }

  // An unsigned number up to `limit`: -1 when none stands here, -2 when it is too large
  // (the error is then set).
  constexpr std::int64_t number(std::int64_t limit) {
    if (!digit(peek())) return -1;
    const int col = column();
    std::int64_t v = 0;
    while (digit(peek())) {
      v = v * 10 + (text_[pos_++] - '0');
      if (v > limit) {
        fail("number larger than", col, limit);
        return -2;
      }
    }
    return v;
  }

  constexpr Edit item() {
    const int col = column();
    const std::size_t start = pos_;
    bool negative = false;
    const bool sign = notation_->positions_and_modes && (peek() == '+' || peek() == '-');
    if (sign) negative = text_[pos_++] == '-';
    const std::int64_t count = number(notation_->max_count);
    if (count == -2) return last_;
    const int c = peek();
    if (c == 'p') {
      if (!notation_->positions_and_modes || count < 0) {
        if (count >= 0) return fail("scale factors are not supported", col);
        return fail("unsupported edit descriptor", column());
      }
      ++pos_;
      Edit e = make(Descriptor::Scale, col, start);
      e.scale = static_cast<std::int32_t>(negative ? -count : count);
      return done(e, false);
    }
    if (sign) return fail("a sign stands only before P", col);
    if (count == 0) return fail("a count of zero", col);
    const auto repeat = static_cast<std::int32_t>(count < 0 ? 1 : count);
    switch (c) {
      case '(': {
        if (depth_ >= kMaxDepth) return fail("groups nested too deeply", column());
        if (!separated(false)) return fail("',' expected", col);
        ++pos_;
        Edit e = make(Descriptor::GroupBegin, col, start);
        e.repeat = repeat;
        open_level();
        e.depth = depth_;
        return e;
      }
      case '\'':
      case '"':
        if (!notation_->literals) return fail("unsupported edit descriptor", column());
        return literal(col, start, repeat, static_cast<char>(c));
      case 'x': {
        ++pos_;
        Edit e = make(Descriptor::Skip, col, start);
        e.columns = repeat;
        return done(e, false);
      }
      case '/': {
        ++pos_;
        Edit e = make(Descriptor::NextRecord, col, start);
        e.repeat = repeat;
        return done(e, true);
      }
      case ':':
        if (count >= 0) return fail("a count before ':'", col);
        ++pos_;
        return done(make(Descriptor::Colon, col, start), true);
      case 'i':
      case 'f':
      case 'g':
      case 'a':
        return data(c, col, repeat);
      case 'e':
      case 'd':
        if (!notation_->exponent_forms) break;
        return data(c, col, repeat);
      case 't':
      case 'b':
      case 's':
        if (!notation_->positions_and_modes) break;
        if (count >= 0) return fail("a count before a position or mode item", col);
        return position_or_mode(c, col, start);
      case kEnd:
        return fail("missing ')'", column());
      case ')':
        if (count >= 0) return fail("a count without an edit descriptor", column());
        break;
      default:
        break;
    }
    return fail("unsupported edit descriptor", column());
  }

  constexpr Edit make(Descriptor d, int col, std::size_t start) const {
    Edit e;
    e.descriptor = d;
    e.column = col;
    e.text_begin = static_cast<std::int32_t>(start);
    e.text_end = end_of_item(start);
    return e;
  }
  // Where the item read from `start` ends: before the blanks that peek() passed over.
  constexpr std::int32_t end_of_item(std::size_t start) const {
    std::size_t end = pos_;
    while (end > start && blank(text_[end - 1])) --end;
    return static_cast<std::int32_t>(end);
  }

  constexpr Edit done(Edit e, bool slash_or_colon) {
    if (!separated(slash_or_colon)) return fail("',' expected", e.column);
    item_done(slash_or_colon);
    return e;
  }

  // 'text' or "text", the quote doubled inside.
  constexpr Edit literal(int col, std::size_t start, std::int32_t repeat, char quote) {
    const int at = column();
    ++pos_;
    Edit e = make(Descriptor::Literal, col, start);
    e.repeat = repeat;
    e.quote = quote;
    e.text_begin = static_cast<std::int32_t>(pos_);
    for (;;) {
      if (pos_ >= text_.size()) return fail("unterminated literal", at);
      if (text_[pos_] == quote) {
        if (pos_ + 1 < text_.size() && text_[pos_ + 1] == quote) {
          pos_ += 2;
          continue;
        }
        e.text_end = static_cast<std::int32_t>(pos_);
        ++pos_;
        return done(e, false);
      }
      ++pos_;
    }
  }

  constexpr Edit data(int c, int col, std::int32_t repeat) {
    const std::size_t letter = pos_;
    ++pos_;
    const std::int64_t limit = notation_->max_width;
    const std::int64_t w = number(limit);
    if (w == -2) return last_;
    Edit e;
    e.column = col;
    e.repeat = repeat;
    e.width = static_cast<std::int32_t>(w);
    e.text_begin = static_cast<std::int32_t>(letter);
    if (c == 'a') {
      if (w == 0) return fail("a width of zero", col);
      e.descriptor = Descriptor::Characters;
    } else if (w < 1) {
      return fail("a width is needed after the descriptor", col);
    } else if (c == 'i') {
      e.descriptor = Descriptor::Integer;
      if (peek() == '.') {
        if (!notation_->integer_minimum) return fail("Iw.m is not supported", column());
        ++pos_;
        const std::int64_t m = number(limit);
        if (m == -2) return last_;
        if (m < 0) return fail("digits expected after '.'", column());
        e.digits = static_cast<std::int32_t>(m);
      }
    } else {
      e.descriptor = c == 'f'   ? Descriptor::Fixed
                     : c == 'g' ? Descriptor::General
                     : c == 'e' ? Descriptor::Exponent
                                : Descriptor::DoubleExponent;
      if (peek() != '.') return fail("'.d' expected", column());
      ++pos_;
      const std::int64_t d = number(limit);
      if (d == -2) return last_;
      if (d < 0) return fail("digits expected after '.'", column());
      if (c == 'g' && d == 0 && !notation_->general_zero_digits)
        return fail("Gw.0 is not supported", col);
      e.digits = static_cast<std::int32_t>(d);
      if ((c == 'e' || c == 'g') && notation_->exponent_forms && peek() == 'e') {
        ++pos_;
        const std::int64_t x = number(limit);
        if (x == -2) return last_;
        if (x < 1) return fail("exponent digits expected after 'e'", column());
        e.exponent_digits = static_cast<std::int32_t>(x);
      }
    }
    e.text_end = end_of_item(letter);
    return done(e, false);
  }

  // T, TL, TR with their column; BN, BZ; S, SP, SS.
  constexpr Edit position_or_mode(int c, int col, std::size_t start) {
    ++pos_;
    if (c == 'b') {
      if (eat('n')) return done(make(Descriptor::BlankNull, col, start), false);
      if (eat('z')) return done(make(Descriptor::BlankZero, col, start), false);
      return fail("BN or BZ expected", column());
    }
    if (c == 's') {
      if (!eat('p')) eat('s');
      return done(make(Descriptor::SignControl, col, start), false);
    }
    Descriptor d = Descriptor::Tab;
    if (eat('l')) d = Descriptor::TabLeft;
    else if (eat('r')) d = Descriptor::TabRight;
    peek();
    const int at = column();
    const std::int64_t n = number(notation_->max_count);
    if (n == -2) return last_;
    if (n < 1) return fail("a column is needed after T", at);
    Edit e = make(d, col, start);
    e.columns = static_cast<std::int32_t>(n);
    return done(e, false);
  }

  std::string_view text_;
  const Notation* notation_;
  std::size_t pos_ = 0;
  int depth_ = 0;  // 0 before the opening parenthesis
  bool finished_ = false;
  Edit last_;
  Level levels_[kMaxDepth];
};

// The first error of `text` in `notation`, or an item of kind End when it is well formed.
constexpr Edit first_error(std::string_view text, const Notation& notation) {
  Parser parser(text, notation);
  for (;;) {
    const Edit e = parser.next();
    if (e.descriptor == Descriptor::End || e.descriptor == Descriptor::Error) return e;
  }
}

// Whether `text` is a format the program can write with.
constexpr bool is_output_format(std::string_view text) {
  return first_error(text, kOutputNotation).descriptor == Descriptor::End;
}

// The message of an error item: what, where, and the text.
std::string describe(const Edit& error, std::string_view text);

// ---------------------------------------------------------------------------------------------
// Formats against the kinds of their values
// ---------------------------------------------------------------------------------------------

// The kind of a value of an output list: Iw takes integers, Fw.d and Gw.d reals, Aw texts.
enum class ValueKind : std::uint8_t { Integer, Real, Text };

struct KindCheck {
  enum class Outcome : std::uint8_t { Fits, WrongKind, ValuesLeftOver, NotAFormat };
  Outcome outcome = Outcome::Fits;
  int value = 0;   // WrongKind: the value (from 0) whose edit does not take its kind
  int column = 0;  // WrongKind: the edit's column; NotAFormat: the error's column
};

constexpr bool takes(Descriptor d, ValueKind kind) {
  switch (d) {
    case Descriptor::Integer:
      return kind == ValueKind::Integer;
    case Descriptor::Characters:
      return kind == ValueKind::Text;
    default:
      return kind == ValueKind::Real;
  }
}

// Walks the output format `text` over values of the given kinds by the format control rules
// (items in order, groups repeated, reversion to the last outermost group when values are
// left at the end of the format) and tells whether every value meets an edit of its kind.
constexpr KindCheck check_kinds(std::string_view text, std::span<const ValueKind> kinds) {
  using enum Descriptor;
  KindCheck result;
  // A first pass: the text is a format, and where reversion resumes.
  Parser scan(text, kOutputNotation);
  Parser revert = scan;
  bool revert_has_data = false;
  for (;;) {
    const Parser before = scan;
    const Edit e = scan.next();
    if (e.descriptor == Error) return {KindCheck::Outcome::NotAFormat, 0, e.column};
    if (e.descriptor == End) break;
    if (e.descriptor == GroupBegin && e.depth == 2) {
      revert = before;
      revert_has_data = false;
    }
    if (is_data(e.descriptor)) revert_has_data = true;
  }
  // Whether the group that `p` has just opened holds a data edit; `p` is not moved.
  const auto group_has_data = [](Parser p) {
    for (int open = 1;;) {
      const Edit e = p.next();
      if (is_data(e.descriptor)) return true;
      if (e.descriptor == GroupBegin) ++open;
      if (e.descriptor == GroupEnd && --open == 0) return false;
      if (e.descriptor == End || e.descriptor == Error) return false;
    }
  };
  struct Open {
    Parser body;
    std::int32_t left;
  };
  Open open[kMaxDepth] = {};
  int depth = 0;
  Parser walk(text, kOutputNotation);
  std::size_t next = 0;
  while (next < kinds.size()) {
    const Edit e = walk.next();
    if (is_data(e.descriptor)) {
      for (std::int32_t k = 0; k < e.repeat && next < kinds.size(); ++k, ++next)
        if (!takes(e.descriptor, kinds[next]))
          return {KindCheck::Outcome::WrongKind, static_cast<int>(next), e.column};
    } else if (e.descriptor == GroupBegin) {
      if (group_has_data(walk)) {
        open[depth++] = Open{walk, e.repeat - 1};
      } else {
        for (int level = 1; level > 0;) {  // a group without data takes no value: past it
          const Edit skipped = walk.next();
          if (skipped.descriptor == GroupBegin) ++level;
          if (skipped.descriptor == GroupEnd) --level;
        }
      }
    } else if (e.descriptor == GroupEnd) {
      if (open[depth - 1].left > 0) {
        --open[depth - 1].left;
        walk = open[depth - 1].body;
      } else {
        --depth;
      }
    } else if (e.descriptor == End) {
      if (!revert_has_data) return {KindCheck::Outcome::ValuesLeftOver, static_cast<int>(next), 0};
      walk = revert;
      depth = 0;
    }
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// The editors of single values
// ---------------------------------------------------------------------------------------------

// `Fw.d`, `Gw.d`, `Iw` and `Aw` appended to `dst` exactly as inside a formatted write. A width
// of zero or less writes nothing; widths and digit counts above kMaxFieldWidth are cut to it.
inline constexpr int kMaxFieldWidth = 1000;
void edit_f(std::string& dst, float value, int w, int d);
void edit_g(std::string& dst, float value, int w, int d);
void edit_i(std::string& dst, std::int32_t value, int w);
void edit_a(std::string& dst, std::string_view value, int w);

}  // namespace tramel::format
