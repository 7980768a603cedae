// RecordFormat: compiles the run-time format of the data records into a flat program.
//
// The text (at most 50 characters; blanks anywhere are ignored, letters in either case) is
// read by the notation's parser in its record form. Groups become loop instructions; small
// groups are unrolled so that a format like (8f10.3) runs as eight field instructions; a group
// that holds only position and mode items is folded into one move whatever its repeat count,
// so no repeat count can make a read spin without reading anything. A text that does not compile gives an invalid program.
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

// A group is unrolled when its body, repeated, stays within this many instructions.
constexpr std::int64_t kUnroll = 64;

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

// Appends `body` repeated r times: folded into moves when it reads nothing and starts no
// record, unrolled when small, else as a loop.
void repeat(std::vector<Op>& out, const std::vector<Op>& body, std::int64_t r) {
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
    for (std::int64_t k = 0; k < r; ++k) out.insert(out.end(), body.begin(), body.end());
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

// The instruction of one edit item outside groups, or nothing for an item without effect.
std::optional<Op> instruction(const format::Edit& e) {
  using format::Descriptor;
  Op op;
  switch (e.descriptor) {
    case Descriptor::Fixed:
    case Descriptor::Exponent:
    case Descriptor::DoubleExponent:
    case Descriptor::General:
      op.kind = Kind::Real;
      op.w = e.width;
      op.d = e.digits;
      return op;
    case Descriptor::Integer:
      op.kind = Kind::Integer;
      op.w = e.width;
      return op;
    case Descriptor::Characters:
      op.kind = Kind::Alpha;
      op.w = e.width < 0 ? 0 : e.width;
      return op;
    case Descriptor::Skip:
      return move(e.columns, Program::kNoFloor);
    case Descriptor::TabRight:
      return move(e.columns, Program::kNoFloor);
    case Descriptor::TabLeft:
      return move(-std::int64_t{e.columns}, 0);  // never left of the record's first column
    case Descriptor::Tab:
      return move(Program::kNoFloor, e.columns - 1);
    case Descriptor::NextRecord:
      return Op{Kind::Slash};
    case Descriptor::Colon:
      return Op{Kind::Colon};
    case Descriptor::Scale:
      op.kind = Kind::Scale;
      op.d = e.scale;
      return op;
    case Descriptor::BlankNull:
      return Op{Kind::BlankNull};
    case Descriptor::BlankZero:
      return Op{Kind::BlankZero};
    default:  // S, SP, SS: sign control, no meaning on input
      return std::nullopt;
  }
}

// Compiles the format into `prog`, which stays invalid, with the error, when the text is not a
// record format.
void compile(Program& prog, std::string_view text) {
  using format::Descriptor;
  format::Parser parser(text, format::kRecordNotation);
  // The format as compiled (at most 50 characters: a text whose closing parenthesis lies
  // beyond them does not compile), and each place of it in that text, which names the
  // descriptors in field errors.
  const std::string_view used = parser.text();
  std::vector<std::int32_t> squeezed_at(1, 0);
  for (const char c : used) {
    if (c != ' ') prog.text.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    squeezed_at.push_back(static_cast<std::int32_t>(prog.text.size()));
  }
  struct Open {
    std::vector<Op> body;
    std::int64_t repeat = 1;
    std::size_t start = 0;  // where the group begins in the enclosing body
  };
  std::vector<Open> open(1);
  std::size_t revert = 0;
  for (;;) {
    const format::Edit e = parser.next();
    if (e.descriptor == Descriptor::Error) {
      prog.error = format::describe(e, used);
      return;
    }
    if (e.descriptor == Descriptor::End) break;
    if (e.descriptor == Descriptor::GroupBegin) {
      open.push_back(Open{{}, e.repeat, open.back().body.size()});
      continue;
    }
    if (e.descriptor == Descriptor::GroupEnd) {
      Open group = std::move(open.back());
      open.pop_back();
      std::vector<Op>& out = open.back().body;
      repeat(out, group.body, group.repeat);
      if (open.size() == 1) revert = std::min(group.start, out.size());
      continue;
    }
    std::optional<Op> op = instruction(e);
    if (!op) continue;
    if (op->kind == Kind::Real || op->kind == Kind::Integer) {
      op->item_at = squeezed_at[static_cast<std::size_t>(e.text_begin)];
      op->item_length = squeezed_at[static_cast<std::size_t>(e.text_end)] - op->item_at;
    }
    if (op->kind == Kind::Move && e.descriptor == Descriptor::Skip) {
      open.back().body.push_back(*op);  // nX: the count is the move itself
    } else {
      repeat(open.back().body, {*op}, e.repeat);
    }
  }
  prog.ops = std::move(open.back().body);
  prog.ops.push_back(Op{});  // End
  prog.revert = revert;
  for (std::size_t i = 0; i < prog.ops.size(); ++i) {
    if (!is_data(prog.ops[i].kind)) continue;
    prog.has_data = true;
    if (i >= prog.revert) prog.revert_has_data = true;
  }
  prog.valid = true;
}

}  // namespace

RecordFormat::RecordFormat(std::string_view text) : program_(std::make_unique<Program>()) {
  compile(*program_, text);
}
RecordFormat::~RecordFormat() = default;
RecordFormat::RecordFormat(RecordFormat&&) noexcept = default;
RecordFormat& RecordFormat::operator=(RecordFormat&&) noexcept = default;

bool RecordFormat::valid() const { return program_ && program_->valid; }
const std::string& RecordFormat::error() const { return program_->error; }

}  // namespace tramel::textio
