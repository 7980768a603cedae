// Output formats: the compiler from format text to a flat program, and the formatted write
// that runs the program over a value list.
//
// A format is compiled once into a vector of operations (literal, blanks, record end, colon,
// data descriptor, group begin and end); a write walks that vector with a small fixed stack
// of repeat counters and appends straight into the sink's buffer, so a write allocates
// nothing and parses nothing.
#include <algorithm>
#include <cmath>

#include "textio/textio.hpp"

namespace tramel::textio {

namespace {

enum class Code : std::uint8_t { Literal, Blanks, Slash, Colon, Int, Fixed, General, Chars, Begin, End };

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
    std::int32_t width = 0;   // data: w (-1: A of the value's own length); Blanks: columns
    std::int32_t digits = 0;  // Fixed, General: d
    std::int32_t repeat = 0;  // Begin: passes of the group
    std::int32_t begin = 0;   // End: index of its Begin
    std::int32_t text_at = 0;      // Literal: its characters in the pool
    std::int32_t text_length = 0;
    std::int32_t column = 0;  // in the format text, for errors at write time
  };
  std::vector<Op> ops;
  std::string pool;        // the text of all literals
  std::size_t revert = 0;  // where reversion resumes: the last outermost group, or the start
  bool revert_takes_data = false;  // a data descriptor lies between `revert` and the end
};

namespace {

using Op = Format::Program::Op;
using format::Descriptor;

// Turns the parser's edit items into the program a write walks: groups become Begin/End
// loops, a descriptor with a repeat count a loop of one, a repeated single literal one
// longer literal.
class Compiler {
 public:
  Compiler(std::string_view text, Format::Program& p) : text_(text), p_(p) {}

  void run() {
    format::Parser parser(text_, format::kOutputNotation);
    struct Open {
      std::size_t begin;
      std::int32_t repeat;
      std::int64_t outer_cost;  // the enclosing level's cost so far
    };
    Open open[format::kMaxDepth];
    int depth = 0;
    std::int64_t cost = 0;  // of the level being read
    for (;;) {
      const format::Edit e = parser.next();
      const std::int32_t col = e.column;
      const std::int32_t r = e.repeat;
      switch (e.descriptor) {
        case Descriptor::Error:
          throw FormatError(format::describe(e, text_), col);
        case Descriptor::End:
          return;
        case Descriptor::GroupBegin:
          // An outermost group may be where reversion resumes: only the data from it on count.
          if (depth == 0) p_.revert_takes_data = false;
          open[depth++] = Open{p_.ops.size(), r, cost};
          cost = 0;
          if (r > 1) begin_loop(r, col);
          break;
        case Descriptor::GroupEnd: {
          const Open o = open[--depth];
          if (o.repeat > 1) collapse_or_close(o.begin, o.repeat, col);
          if (depth == 0) p_.revert = o.begin;
          cost = o.outer_cost + times(o.repeat, cost + 2);
          break;
        }
        case Descriptor::Literal: {
          const std::size_t begin = p_.ops.size();
          if (r > 1) begin_loop(r, col);
          const std::int64_t len = literal(e);
          if (r > 1) collapse_or_close(begin, r, col);
          cost += times(r, len + 2);
          break;
        }
        case Descriptor::Skip: {
          Op op{Code::Blanks};
          op.width = e.columns;
          op.column = col;
          p_.ops.push_back(op);
          cost += e.columns;
          break;
        }
        case Descriptor::NextRecord:
          cost += repeated(r, Op{Code::Slash, 0, 0, 0, 0, 0, 0, col});
          break;
        case Descriptor::Colon:
          p_.ops.push_back(Op{Code::Colon, 0, 0, 0, 0, 0, 0, col});
          cost += 1;
          break;
        default:
          p_.revert_takes_data = true;
          cost += repeated(r, data(e));
          break;
      }
      if (cost > kMaxPassCost) {
        format::Edit too_much;
        too_much.column = col;
        too_much.error = "the format expands to too much work for one pass";
        throw FormatError(format::describe(too_much, text_), col);
      }
    }
  }

 private:
  static std::int64_t times(std::int64_t count, std::int64_t cost) {
    return std::min(count * cost, kMaxPassCost + 1);  // both <= 2^22 * 10^6: no overflow
  }

  void begin_loop(std::int32_t r, std::int32_t col) {
    Op op{Code::Begin};
    op.repeat = r;
    op.column = col;
    p_.ops.push_back(op);
  }

  // A descriptor with a repeat count (3f9.3, 2/): a group that reversion does not count.
  std::int64_t repeated(std::int32_t r, const Op& one) {
    const std::size_t begin = p_.ops.size();
    if (r > 1) begin_loop(r, one.column);
    p_.ops.push_back(one);
    if (r > 1) close(begin, one.column);
    return times(r, 3);
  }

  void close(std::size_t begin, std::int32_t col) {
    Op op{Code::End};
    op.begin = static_cast<std::int32_t>(begin);
    op.column = col;
    p_.ops.push_back(op);
  }

  // A group that holds a single literal, such as 17('='), becomes one literal of the text
  // repeated: the rules of the system's boxes cost one append.
  void collapse_or_close(std::size_t begin, std::int32_t count, std::int32_t col) {
    if (p_.ops.size() == begin + 2 && p_.ops[begin + 1].code == Code::Literal) {
      const Op lit = p_.ops[begin + 1];
      if (static_cast<std::int64_t>(lit.text_length) * count <= kMaxExpandedLiteral) {
        const std::string text = p_.pool.substr(static_cast<std::size_t>(lit.text_at),
                                                static_cast<std::size_t>(lit.text_length));
        p_.ops.resize(begin);
        Op op{Code::Literal};
        op.text_at = static_cast<std::int32_t>(p_.pool.size());
        op.text_length = lit.text_length * count;
        op.column = col;
        for (std::int32_t i = 0; i < count; ++i) p_.pool += text;
        p_.ops.push_back(op);
        return;
      }
    }
    if (p_.ops.size() == begin + 1) {  // an empty group writes nothing
      p_.ops.resize(begin);
      return;
    }
    close(begin, col);
  }

  // The literal's characters into the pool, a doubled quote as one.
  std::int64_t literal(const format::Edit& e) {
    const auto at = static_cast<std::int32_t>(p_.pool.size());
    for (std::int32_t i = e.text_begin; i < e.text_end; ++i) {
      p_.pool.push_back(text_[static_cast<std::size_t>(i)]);
      if (text_[static_cast<std::size_t>(i)] == e.quote) ++i;
    }
    const auto len = static_cast<std::int32_t>(p_.pool.size()) - at;
    if (len > 0) {
      Op op{Code::Literal};
      op.text_at = at;
      op.text_length = len;
      op.column = e.column;
      p_.ops.push_back(op);
    }
    return len;
  }

  static Op data(const format::Edit& e) {
    Op op{Code::Chars};
    op.width = e.width;  // A: -1 for the value's own length
    op.digits = e.digits;
    op.column = e.column;
    if (e.descriptor == Descriptor::Integer) op.code = Code::Int;
    if (e.descriptor == Descriptor::Fixed) op.code = Code::Fixed;
    if (e.descriptor == Descriptor::General) op.code = Code::General;
    return op;
  }

  std::string_view text_;
  Format::Program& p_;
};

}  // namespace

Format::Format(std::unique_ptr<Program> program) : program_(std::move(program)) {}

Format Format::compile(std::string_view text) {
  auto program = std::make_unique<Program>();
  Compiler(text, *program).run();
  return Format(std::move(program));
}

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
        format::edit_i(buf, item.integer(), op.width);
      } else if (item.kind() == Item::Kind::Real) {
        const float v = std::nearbyint(item.real());
        if (std::isfinite(v) && std::fabs(v) < 2147483648.0f) {
          format::edit_i(buf, static_cast<std::int32_t>(v), op.width);
        } else {
          buf.append(static_cast<std::size_t>(op.width), '*');
        }
      } else {
        mismatch(op, "a text given for an I descriptor");
      }
      break;
    case Code::Fixed:
      format::edit_f(buf, real_of(item, op), op.width, op.digits);
      break;
    case Code::General:
      format::edit_g(buf, real_of(item, op), op.width, op.digits);
      break;
    default:  // Chars
      if (item.kind() != Item::Kind::Text) mismatch(op, "a number given for an A descriptor");
      if (op.width < 0) {
        buf.append(item.text());
      } else {
        format::edit_a(buf, item.text(), op.width);
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
  std::int32_t left[format::kMaxDepth];  // repeats left of each open group
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
          buf.append(p.pool, static_cast<std::size_t>(op.text_at),
                     static_cast<std::size_t>(op.text_length));
          break;
        case Code::Blanks:
          blanks += static_cast<std::size_t>(op.width);
          break;
        case Code::Slash:
          buf.push_back('\n');
          blanks = 0;
          break;
        case Code::Colon:
          if (next == items.size()) goto done;
          break;
        case Code::Begin:
          left[depth++] = op.repeat;
          break;
        case Code::End:
          if (--left[depth - 1] > 0) {
            pc = static_cast<std::size_t>(op.begin) + 1;
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
