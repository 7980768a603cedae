// read: one formatted read of data records under a compiled run-time format.
//
// The program of the format is walked instruction by instruction over the current record,
// which is a view into the file's buffer: a field is the next w characters from the position,
// converted in place. Groups loop on a small fixed stack; the end of the format starts a new
// record and goes on from the reversion point.
#include <algorithm>
#include <array>
#include <cstring>

#include "textio/record_program.hpp"

namespace tramel::textio {
namespace {

using Program = RecordFormat::Program;
using Kind = Program::Op::Kind;

constexpr int kLabel = 25;

ReadResult error(int number) { return {ReadResult::Status::Error, number}; }
ReadResult end_of_file() { return {ReadResult::Status::End, 0}; }

// The part of the field [pos, pos + w) that lies within the record.
struct Field {
  const char* p;
  std::size_t n;
};

inline Field field(std::string_view record, std::int64_t pos, std::int32_t w) {
  const auto size = static_cast<std::int64_t>(record.size());
  if (pos >= size) return {record.data(), 0};
  const std::int64_t n = std::min<std::int64_t>(w, size - pos);
  return {record.data() + pos, static_cast<std::size_t>(n)};
}

// `Aw` into the 25-character label: the rightmost 25 characters of a wider field, a narrower
// one left-justified; blanks where the record has ended.
void store_label(char* label, std::string_view record, std::int64_t pos, std::int32_t w) {
  if (w == 0) w = kLabel;
  std::int64_t from = pos;
  std::int32_t width = w;
  if (w > kLabel) {
    from = pos + (w - kLabel);
    width = kLabel;
  }
  const Field f = field(record, from, width);
  if (f.n == kLabel) {  // the usual case, as one fixed-size copy
    std::memcpy(label, f.p, kLabel);
    return;
  }
  std::memcpy(label, f.p, f.n);
  std::memset(label + f.n, ' ', kLabel - f.n);
}

// The read itself; `filled` counts the items filled so far, also when the read fails.
ReadResult read_items(TextFile& file, const Program& prog, float* dest, std::int64_t count,
                      char* label, std::int64_t& filled) {
  if (!prog.valid) return error(kFormatErrorNumber);
  const std::int64_t items = count + (label ? 1 : 0);
  if (items > 0 && !prog.has_data) return error(kFormatErrorNumber);

  std::string_view record;
  if (!file.next_record(record)) return end_of_file();

  const Program::Op* ops = prog.ops.data();
  struct Loop {
    std::size_t body;     // first instruction of the body
    std::int64_t left;    // passes still to go after the current one
  };
  std::array<Loop, Program::kMaxDepth + 1> loops;
  int depth = 0;

  std::int64_t pos = 0;  // 0-based column in the record
  int scale = 0;
  bool blank_zero = false;
  std::size_t pc = 0;

  for (;;) {
    const Program::Op& op = ops[pc];
    switch (op.kind) {
      case Kind::Real: {
        // A run of numeric fields, the body of most data formats, in one loop.
        const Program::Op* o = &op;
        do {
          if (filled == items) return {};
          if (filled == count) return error(kFormatErrorNumber);  // a number into the label
          const Field f = field(record, pos, o->w);
          float v;
          if (!convert_real(f.p, f.n, o->d, scale, blank_zero, v))
            return error(kConversionErrorNumber);
          if (dest) dest[filled] = v;
          ++filled;
          pos = std::min(pos + o->w, Program::kFar);
          ++o;
        } while (o->kind == Kind::Real);
        pc = static_cast<std::size_t>(o - ops);
        break;
      }
      case Kind::Integer: {
        if (filled == items) return {};
        if (filled == count) return error(kFormatErrorNumber);
        const Field f = field(record, pos, op.w);
        float v;
        if (!convert_integer(f.p, f.n, blank_zero, v)) return error(kConversionErrorNumber);
        if (dest) dest[filled] = v;
        ++filled;
        pos = std::min(pos + op.w, Program::kFar);
        ++pc;
        break;
      }
      case Kind::Alpha: {
        if (filled == items) return {};
        if (filled < count) return error(kFormatErrorNumber);  // text into a real
        store_label(label, record, pos, op.w);
        ++filled;
        pos = std::min<std::int64_t>(pos + (op.w == 0 ? kLabel : op.w), Program::kFar);
        ++pc;
        break;
      }
      case Kind::Move:
        pos = std::clamp(std::max(op.floor, pos + op.shift), std::int64_t{0}, Program::kFar);
        ++pc;
        break;
      case Kind::Slash:
        if (!file.next_record(record)) return end_of_file();
        pos = 0;
        ++pc;
        break;
      case Kind::Colon:
        if (filled == items) return {};
        ++pc;
        break;
      case Kind::Scale:
        scale = op.d;
        ++pc;
        break;
      case Kind::BlankNull:
        blank_zero = false;
        ++pc;
        break;
      case Kind::BlankZero:
        blank_zero = true;
        ++pc;
        break;
      case Kind::Group:
        loops[depth++] = {pc + 1, op.count - 1};
        ++pc;
        break;
      case Kind::GroupEnd: {
        Loop& loop = loops[depth - 1];
        if (loop.left > 0) {
          --loop.left;
          pc = loop.body;
        } else {
          --depth;
          ++pc;
        }
        break;
      }
      case Kind::End:
        if (filled == items) return {};
        // Reversion: a new record, then on from the last outermost group.
        if (!prog.revert_has_data) return error(kFormatErrorNumber);
        if (!file.next_record(record)) return end_of_file();
        pos = 0;
        depth = 0;
        pc = prog.revert;
        break;
    }
  }
}

}  // namespace

ReadResult read(TextFile& file, const RecordFormat& format, float* dest, std::int64_t count,
                char* label) {
  count = std::max<std::int64_t>(count, 0);
  std::int64_t filled = 0;
  ReadResult r = read_items(file, format.program(), dest, count, label, filled);
  r.values = std::min(filled, count);
  return r;
}

}  // namespace tramel::textio
