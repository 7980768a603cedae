// Output formats: the compiler from format text to a flat program, and the formatted write
// that runs the program over a value list.
//
// A format is compiled once into a vector of operations (literal, blanks, record end, colon,
// data descriptor, group begin and end); a write walks that vector with a small fixed stack
// of repeat counters and appends straight into the sink's buffer, so a write allocates
// nothing and parses nothing.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "textio/textio.hpp"

namespace tramel::textio {

namespace {

enum class Code : std::uint8_t { Literal, Blanks, Slash, Colon, Int, Fixed, General, Chars, Begin, End };

constexpr int kMaxDepth = format_grammar::kMaxDepth;
constexpr int kMaxCount = format_grammar::kMaxCount;
// Work of one pass through the format, repeat groups expanded (operations plus characters
// of literals and blanks). Bounds the time and memory of a hostile text such as
// (9999(9999(9999('x')))); the system's own formats need a few hundred.
constexpr std::int64_t kMaxPassCost = 1 << 22;
// A repeated literal such as 57('=') is expanded into one literal up to this length.
constexpr std::int64_t kMaxExpandedLiteral = 512;

}  // namespace

struct Format::Program {
  struct Op {
    Code code;
    std::int32_t a = 0;  // Literal: offset in pool; Blanks: n; data: w (-1: A of the item's length);
                         // Begin: count; End: index of its Begin
    std::int32_t b = 0;  // Literal: length; data: d
    std::int32_t column = 0;  // in the format text, for errors at write time
  };
  std::vector<Op> ops;
  std::string pool;        // the text of all literals
  std::size_t revert = 0;  // where reversion resumes: the last outermost group, or the start
  bool revert_takes_data = false;  // a data descriptor lies between `revert` and the end
};

namespace {

using Op = Format::Program::Op;

class Compiler {
 public:
  Compiler(std::string_view text, Format::Program& p) : text_(text), p_(p) {}

  void run() {
    if (peek() != '(') fail("a format starts with '('");
    ++pos_;
    list(/*depth=*/1);
    if (peek() != kEnd) fail("text after the closing parenthesis");
    for (std::size_t i = p_.revert; i < p_.ops.size(); ++i) {
      const Code c = p_.ops[i].code;
      if (c == Code::Int || c == Code::Fixed || c == Code::General || c == Code::Chars)
        p_.revert_takes_data = true;
    }
  }

 private:
  static constexpr int kEnd = -1;

  [[noreturn]] void fail(const std::string& what) const { fail_at(what, column()); }
  [[noreturn]] void fail_at(const std::string& what, int col) const {
    throw FormatError("format error at column " + std::to_string(col) + ": " + what + " in \"" +
                          std::string(text_) + "\"",
                      col);
  }
  int column() const { return static_cast<int>(pos_) + 1; }

  // Blanks outside literals carry no meaning in a format.
  int peek() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : kEnd;
  }
  int peek_lower() {
    const int c = peek();
    return c == kEnd ? c : std::tolower(c);
  }

  // An unsigned number, or -1 when none stands here.
  int number(int limit) {
    if (peek() == kEnd || !std::isdigit(peek())) return -1;
    const int col = column();
    std::int64_t v = 0;
    while (peek() != kEnd && std::isdigit(peek())) {
      v = v * 10 + (text_[pos_++] - '0');
      if (v > limit) fail_at("number larger than " + std::to_string(limit), col);
    }
    return static_cast<int>(v);
  }

  void emit(Code code, std::int32_t a, std::int32_t b, int col) {
    p_.ops.push_back(Op{code, a, b, col});
  }

  static std::int64_t times(std::int64_t count, std::int64_t cost) {
    return std::min(count * cost, kMaxPassCost + 1);  // both <= 2^22 * 10^6: no overflow
  }

  // Items up to and including the ')' that closes the group; returns the pass cost.
  std::int64_t list(int depth) {
    std::int64_t cost = 0;
    bool first = true;
    bool after_comma = false;
    bool free_sep = true;  // '/' and ':' need no comma on either side
    for (;;) {
      const int c = peek();
      if (c == kEnd) fail("missing ')'");
      if (c == ')') {
        if (after_comma) fail("an edit descriptor is missing before ')'");
        ++pos_;
        return cost;
      }
      if (c == ',') {
        if (first || after_comma) fail("an edit descriptor is missing before ','");
        ++pos_;
        after_comma = true;
        continue;
      }
      const std::size_t before = pos_;
      bool slash_or_colon = false;
      cost += item(depth, slash_or_colon);
      if (!first && !after_comma && !free_sep && !slash_or_colon) {
        pos_ = before;  // only '/' and ':' stand without a comma
        fail("',' expected");
      }
      if (cost > kMaxPassCost) fail("the format expands to too much work for one pass");
      free_sep = slash_or_colon;
      first = false;
      after_comma = false;
    }
  }

  std::int64_t item(int depth, bool& slash_or_colon) {
    const int col = column();
    const int count = number(kMaxCount);
    const int c = peek_lower();
    if (count == 0) fail_at("a count of zero", col);
    const int r = count < 0 ? 1 : count;
    switch (c) {
      case '(': {
        if (depth >= kMaxDepth) fail("groups nested too deeply");
        ++pos_;
        const std::size_t begin = p_.ops.size();
        if (r > 1) emit(Code::Begin, r, 0, col);
        const std::int64_t body = list(depth + 1);
        if (r > 1) collapse_or_close(begin, r, col);
        if (depth == 1) p_.revert = begin;
        return times(r, body + 2);
      }
      case '\'':
      case '"': {
        const std::size_t begin = p_.ops.size();
        if (r > 1) emit(Code::Begin, r, 0, col);
        const std::int64_t len = literal(c);
        if (r > 1) collapse_or_close(begin, r, col);
        return times(r, len + 2);
      }
      case 'x':
        ++pos_;
        emit(Code::Blanks, r, 0, col);
        return r;
      case '/':
        ++pos_;
        slash_or_colon = true;
        return repeated(r, col, [&] { emit(Code::Slash, 0, 0, col); });
      case ':':
        if (count >= 0) fail_at("a count before ':'", col);
        ++pos_;
        slash_or_colon = true;
        emit(Code::Colon, 0, 0, col);
        return 1;
      case 'i':
      case 'f':
      case 'g':
      case 'a':
        return repeated(r, col, [&] { data(c, col); });
      case kEnd:
        fail("missing ')'");
      default:
        if (c == 'p' && count >= 0) fail_at("scale factors are not supported", col);
        if (count >= 0 && c == ')') fail("a count without an edit descriptor");
        fail(std::string("unsupported edit descriptor '") + static_cast<char>(c) + "'");
    }
  }

  // A descriptor with a repeat count (3f9.3, 2/): a group that reversion does not count.
  template <class F>
  std::int64_t repeated(int r, int col, F one) {
    const std::size_t begin = p_.ops.size();
    if (r > 1) emit(Code::Begin, r, 0, col);
    one();
    if (r > 1) close(begin, col);
    return times(r, 3);
  }

  void close(std::size_t begin, int col) {
    emit(Code::End, static_cast<std::int32_t>(begin), 0, col);
  }

  // A group that holds a single literal, such as 17('='), becomes one literal of the text
  // repeated: the rules of the system's boxes cost one append.
  void collapse_or_close(std::size_t begin, int count, int col) {
    if (p_.ops.size() == begin + 2 && p_.ops[begin + 1].code == Code::Literal) {
      const Op lit = p_.ops[begin + 1];
      if (static_cast<std::int64_t>(lit.b) * count <= kMaxExpandedLiteral) {
        const std::string text = p_.pool.substr(static_cast<std::size_t>(lit.a),
                                                static_cast<std::size_t>(lit.b));
        p_.ops.resize(begin);
        const auto at = static_cast<std::int32_t>(p_.pool.size());
        for (int i = 0; i < count; ++i) p_.pool += text;
        emit(Code::Literal, at, lit.b * count, col);
        return;
      }
    }
    if (p_.ops.size() == begin + 1) {  // an empty group writes nothing
      p_.ops.resize(begin);
      return;
    }
    close(begin, col);
  }

  // 'text' or "text", the quote doubled inside.
  std::int64_t literal(int quote) {
    const int col = column();
    ++pos_;
    const auto at = static_cast<std::int32_t>(p_.pool.size());
    for (;;) {
      if (pos_ >= text_.size()) fail_at("unterminated literal", col);
      const char ch = text_[pos_++];
      if (ch == quote) {
        if (pos_ < text_.size() && text_[pos_] == quote) {
          ++pos_;
        } else {
          break;
        }
      }
      p_.pool.push_back(ch);
    }
    const auto len = static_cast<std::int32_t>(p_.pool.size()) - at;
    if (len > 0) emit(Code::Literal, at, len, col);
    return len;
  }

  void data(int c, int col) {
    ++pos_;
    const int w = number(kMaxFieldWidth);
    if (c == 'a') {
      if (w == 0) fail_at("a width of zero", col);
      emit(Code::Chars, w, 0, col);  // -1: the item's own length
      return;
    }
    if (w < 1) fail_at(std::string("a width is needed after '") + static_cast<char>(c) + "'", col);
    if (c == 'i') {
      if (peek() == '.') fail("Iw.m is not supported");
      emit(Code::Int, w, 0, col);
      return;
    }
    if (peek() != '.') fail("'.d' expected");
    ++pos_;
    const int d = number(kMaxFieldWidth);
    if (d < 0) fail("digits expected after '.'");
    if (c == 'g' && d == 0) fail_at("Gw.0 is not supported", col);
    emit(c == 'f' ? Code::Fixed : Code::General, w, d, col);
  }

  std::string_view text_;
  Format::Program& p_;
  std::size_t pos_ = 0;
};

}  // namespace

Format::Format(std::unique_ptr<Program> program) : program_(std::move(program)) {}

Format Format::compile(std::string_view text) {
  auto program = std::make_unique<Program>();
  Compiler(text, *program).run();
  return Format(std::move(program));
}

// The text was checked when the program was compiled; the compiler's own checks stay the
// final word (they also bound the work of one pass through the format).
Format::Format(FormatText text) : Format(compile(text.text)) {}
Format::~Format() = default;
Format::Format(Format&&) noexcept = default;
Format& Format::operator=(Format&&) noexcept = default;

namespace {

// A value of the wrong kind for its descriptor is a programming error. Integers and reals are
// converted into each other; a text for a number (or a number for A) is refused.
[[noreturn]] void mismatch(const Op& op, const char* what) {
  throw FormatError("format item at column " + std::to_string(op.column) + ": " + what,
                    op.column);
}

float real_of(const Item& item, const Op& op) {
  if (item.kind() == Item::Kind::Real) return item.real();
  if (item.kind() == Item::Kind::Integer) return static_cast<float>(item.integer());
  mismatch(op, "a text given for a real descriptor");
}

void edit(std::string& buf, const Op& op, const Item& item) {
  switch (op.code) {
    case Code::Int:
      if (item.kind() == Item::Kind::Integer) {
        edit_i(buf, item.integer(), op.a);
      } else if (item.kind() == Item::Kind::Real) {
        const float v = std::nearbyint(item.real());
        if (std::isfinite(v) && std::fabs(v) < 2147483648.0f) {
          edit_i(buf, static_cast<std::int32_t>(v), op.a);
        } else {
          buf.append(static_cast<std::size_t>(op.a), '*');
        }
      } else {
        mismatch(op, "a text given for an I descriptor");
      }
      break;
    case Code::Fixed:
      edit_f(buf, real_of(item, op), op.a, op.b);
      break;
    case Code::General:
      edit_g(buf, real_of(item, op), op.a, op.b);
      break;
    default:  // Chars
      if (item.kind() != Item::Kind::Text) mismatch(op, "a number given for an A descriptor");
      if (op.a < 0) {
        buf.append(item.text());
      } else {
        edit_a(buf, item.text(), op.a);
      }
      break;
  }
}

}  // namespace

void write(Sink& out, const Format& format, std::span<const Item> items) {
  const Format::Program& p = format.program();
  std::string& buf = out.pending();
  const std::size_t start = buf.size();
  const Op* const ops = p.ops.data();
  const std::size_t end = p.ops.size();
  std::size_t next = 0;    // the next value of the list
  std::size_t blanks = 0;  // columns passed over by nX, written only before a character
  std::int32_t left[kMaxDepth];  // repeats left of each open group
  int depth = 0;
  std::size_t pc = 0;
  try {
    for (;;) {
      if (pc == end) {
        if (next == items.size()) break;
        if (!p.revert_takes_data)
          throw FormatError("values left over: the format takes no more values", 1);
        buf.push_back('\n');  // reversion: a new line, from the last outermost group
        blanks = 0;
        pc = p.revert;
        continue;
      }
      const Op& op = ops[pc];
      switch (op.code) {
        case Code::Literal:
          if (blanks != 0) buf.append(blanks, ' ');
          blanks = 0;
          buf.append(p.pool, static_cast<std::size_t>(op.a), static_cast<std::size_t>(op.b));
          break;
        case Code::Blanks:
          blanks += static_cast<std::size_t>(op.a);
          break;
        case Code::Slash:
          buf.push_back('\n');
          blanks = 0;
          break;
        case Code::Colon:
          if (next == items.size()) goto done;
          break;
        case Code::Begin:
          left[depth++] = op.a;
          break;
        case Code::End:
          if (--left[depth - 1] > 0) {
            pc = static_cast<std::size_t>(op.a) + 1;
            continue;
          }
          --depth;
          break;
        default:  // a data descriptor
          if (next == items.size()) goto done;
          if (blanks != 0) buf.append(blanks, ' ');
          blanks = 0;
          edit(buf, op, items[next++]);
          break;
      }
      ++pc;
    }
  } catch (...) {
    buf.resize(start);  // nothing of a failed write reaches the sink
    throw;
  }
done:
  buf.push_back('\n');
  out.commit();
}

}  // namespace tramel::textio
