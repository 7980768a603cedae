// RecordFormat: compiles the run-time format of the data records into a flat program.
//
// The text (at most 50 characters; blanks anywhere are ignored, letters in either case) is
// parsed once. Groups become loop instructions; small groups are unrolled so that a format
// like (8f10.3) runs as eight field instructions; a group that holds only position and mode
// items is folded into one move whatever its repeat count, so no repeat count can make a read
// spin without reading anything. A text that does not compile gives an invalid program.
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "textio/record_program.hpp"

namespace tramel::textio {
namespace {

using Program = RecordFormat::Program;
using Op = Program::Op;
using Kind = Op::Kind;

constexpr std::size_t kMaxText = 50;
// A group is unrolled when its body, repeated, stays within this many instructions.
constexpr std::int64_t kUnroll = 64;
constexpr std::int64_t kMaxCount = 2147483647;

std::int64_t clamp_far(std::int64_t v) {
  return std::clamp(v, -Program::kFar, Program::kFar);
}

// Moves compose: pos -> max(f1, pos + s1), then pos -> max(f2, pos + s2), is
// pos -> max(max(f2, f1 + s2), pos + s1 + s2). Values saturate at +-kFar.
Op compose(const Op& first, const Op& then) {
  Op m;
  m.kind = Kind::Move;
  m.shift = clamp_far(first.shift + then.shift);
  m.floor = std::max(then.floor, clamp_far(first.floor + then.shift));
  return m;
}

// The move repeated r times, by squaring: a handful of compositions for any r.
Op power(Op move, std::int64_t r) {
  Op result;
  result.kind = Kind::Move;
  result.shift = 0;
  result.floor = Program::kNoFloor;
  while (r > 0) {
    if (r & 1) result = compose(result, move);
    move = compose(move, move);
    r >>= 1;
  }
  return result;
}

Op move(std::int64_t shift, std::int64_t floor) {
  Op m;
  m.kind = Kind::Move;
  m.shift = shift;
  m.floor = floor;
  return m;
}

bool is_data(Kind k) { return k == Kind::Real || k == Kind::Integer || k == Kind::Alpha; }

class Compiler {
 public:
  explicit Compiler(std::string text) : s_(std::move(text)) {}

  bool compile(Program& prog) {
    if (!eat('(')) return false;
    std::vector<Op> body;
    std::size_t revert = 0;
    if (!list(body, 1, &revert)) return false;
    // Whatever follows the closing parenthesis is not part of the format.
    body.push_back(Op{});  // End
    prog.ops = std::move(body);
    prog.revert = revert;
    for (std::size_t i = 0; i < prog.ops.size(); ++i) {
      if (!is_data(prog.ops[i].kind)) continue;
      prog.has_data = true;
      if (i >= revert) prog.revert_has_data = true;
    }
    prog.valid = true;
    return true;
  }

 private:
  std::string s_;  // blanks removed, lower case
  std::size_t i_ = 0;

  bool eat(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }

  // An unsigned number, at most kMaxCount; nullopt when no digit stands here (or too big,
  // which `bad_` records).
  std::optional<std::int64_t> number() {
    if (!std::isdigit(static_cast<unsigned char>(peek()))) return std::nullopt;
    std::int64_t v = 0;
    while (std::isdigit(static_cast<unsigned char>(peek()))) {
      v = v * 10 + (s_[i_++] - '0');
      if (v > kMaxCount) {
        bad_ = true;
        return std::nullopt;
      }
    }
    return v;
  }
  bool bad_ = false;

  // A positive number, required.
  bool positive(std::int64_t& v) {
    auto n = number();
    if (!n || *n < 1) return false;
    v = *n;
    return true;
  }

  // Appends `body` repeated r times: folded into moves when it reads nothing and starts no
  // record, unrolled when small, else as a loop.
  static void repeat(std::vector<Op>& out, const std::vector<Op>& body, std::int64_t r) {
    const bool passive = std::none_of(body.begin(), body.end(), [](const Op& op) {
      return is_data(op.kind) || op.kind == Kind::Slash || op.kind == Kind::Group;
    });
    if (passive) {
      // Position items compose into one move; of the mode items only the last of each kind
      // matters after the first pass. A colon can only end the read, which it does at once
      // or never within such a group, so one colon stands for all.
      Op m = move(0, Program::kNoFloor);
      std::optional<Op> scale, blanks;
      bool colon = false;
      for (const Op& op : body) {
        if (op.kind == Kind::Move) m = compose(m, op);
        if (op.kind == Kind::Scale) scale = op;
        if (op.kind == Kind::BlankNull || op.kind == Kind::BlankZero) blanks = op;
        if (op.kind == Kind::Colon) colon = true;
      }
      if (colon) out.push_back(Op{Kind::Colon});
      if (m.shift != 0 || m.floor != Program::kNoFloor) out.push_back(power(m, r));
      if (scale) out.push_back(*scale);
      if (blanks) out.push_back(*blanks);
      return;
    }
    if (r * static_cast<std::int64_t>(body.size()) <= kUnroll) {
      for (std::int64_t k = 0; k < r; ++k)
        out.insert(out.end(), body.begin(), body.end());
      return;
    }
    Op group{Kind::Group};
    group.count = r;
    out.push_back(group);
    out.insert(out.end(), body.begin(), body.end());
    Op end{Kind::GroupEnd};
    end.back = static_cast<std::int32_t>(body.size());
    out.push_back(end);
  }

  // Items up to the closing parenthesis of the current group (which is consumed). At the
  // outermost level `revert` receives the start of the last group.
  bool list(std::vector<Op>& out, int depth, std::size_t* revert) {
    if (depth > Program::kMaxDepth) return false;
    for (;;) {
      const char c = peek();
      if (c == '\0') return false;  // the text ended inside the format
      if (c == ')') {
        ++i_;
        return true;
      }
      if (c == ',') {
        ++i_;
        continue;
      }
      if (!item(out, depth, revert)) return false;
    }
  }

  bool item(std::vector<Op>& out, int depth, std::size_t* revert) {
    // A signed number before P is a scale factor; an unsigned one before anything else a
    // repeat count.
    bool negative = false;
    const bool sign = peek() == '+' || peek() == '-';
    if (sign) negative = s_[i_++] == '-';
    std::optional<std::int64_t> n = number();
    if (bad_) return false;
    if (eat('p')) {
      if (!n) return false;
      Op op{Kind::Scale};
      op.d = static_cast<std::int32_t>(negative ? -*n : *n);
      out.push_back(op);
      return true;
    }
    if (sign) return false;
    if (n && *n < 1) return false;
    const std::int64_t r = n.value_or(1);

    std::vector<Op> body;
    const char c = peek();
    ++i_;
    switch (c) {
      case '(': {
        const std::size_t start = out.size();
        if (!list(body, depth + 1, nullptr)) return false;
        repeat(out, body, r);
        if (revert) *revert = std::min(start, out.size());
        return true;
      }
      case '/':
        body.push_back(Op{Kind::Slash});
        break;
      case 'f': case 'e': case 'd': case 'g': {
        Op op{Kind::Real};
        op.item_at = static_cast<std::int32_t>(i_ - 1);
        std::int64_t w = 0;
        if (!positive(w) || !eat('.')) return false;
        auto d = number();
        if (!d) return false;
        if ((c == 'e' || c == 'g') && eat('e')) {  // Ew.dEe: the exponent width
          std::int64_t e = 0;
          if (!positive(e)) return false;
        }
        op.w = static_cast<std::int32_t>(w);
        op.d = static_cast<std::int32_t>(*d);
        op.item_length = static_cast<std::int32_t>(i_) - op.item_at;
        body.push_back(op);
        break;
      }
      case 'i': {
        Op op{Kind::Integer};
        op.item_at = static_cast<std::int32_t>(i_ - 1);
        std::int64_t w = 0;
        if (!positive(w)) return false;
        if (eat('.') && !number()) return false;  // Iw.m: m has no meaning on input
        op.w = static_cast<std::int32_t>(w);
        op.item_length = static_cast<std::int32_t>(i_) - op.item_at;
        body.push_back(op);
        break;
      }
      case 'a': {
        Op op{Kind::Alpha};
        if (auto w = number()) {
          if (*w < 1) return false;
          op.w = static_cast<std::int32_t>(*w);
        }
        if (bad_) return false;
        body.push_back(op);
        break;
      }
      case 'x':  // nX; a bare X moves one column
        out.push_back(move(r, Program::kNoFloor));
        return true;
      case 't': {
        std::int64_t k = 0;
        if (eat('r')) {
          if (!positive(k)) return false;
          body.push_back(move(k, Program::kNoFloor));
        } else if (eat('l')) {
          if (!positive(k)) return false;
          body.push_back(move(-k, 0));  // never left of the record's first column
        } else {
          if (!positive(k)) return false;
          body.push_back(move(Program::kNoFloor, k - 1));
        }
        if (n) return false;
        break;
      }
      case 'b':
        if (n) return false;
        if (eat('n')) {
          body.push_back(Op{Kind::BlankNull});
        } else if (eat('z')) {
          body.push_back(Op{Kind::BlankZero});
        } else {
          return false;
        }
        break;
      case 's':  // S, SP, SS: sign control, no meaning on input
        if (n) return false;
        if (!eat('p')) eat('s');
        return true;
      case ':':
        if (n) return false;
        body.push_back(Op{Kind::Colon});
        break;
      default:
        return false;  // literals, H, unknown letters, stray characters
    }
    repeat(out, body, r);
    return true;
  }
};

std::unique_ptr<Program> compile(std::string_view text) {
  auto prog = std::make_unique<Program>();
  // The format holds at most 50 characters: a text whose closing parenthesis lies beyond
  // them does not compile.
  text = text.substr(0, kMaxText);
  std::string squeezed;
  for (char c : text)
    if (c != ' ') squeezed.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  prog->text = squeezed;
  Compiler compiler(std::move(squeezed));
  if (!compiler.compile(*prog)) *prog = Program{};
  return prog;
}

}  // namespace

RecordFormat::RecordFormat(std::string_view text) : program_(compile(text)) {}
RecordFormat::~RecordFormat() = default;
RecordFormat::RecordFormat(RecordFormat&&) noexcept = default;
RecordFormat& RecordFormat::operator=(RecordFormat&&) noexcept = default;

bool RecordFormat::valid() const { return program_ && program_->valid; }

}  // namespace tramel::textio
