// read: one formatted read of data records under a compiled run-time format.
//
// The program of the format is walked instruction by instruction over the current record,
// which is a view into the file's buffer: a field is the next w characters from the position,
// converted in place. Groups loop on a small fixed stack; the end of the format starts a new
// record and goes on from the reversion point.
#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

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
  const Field f = field(record, pos + std::max(w - kLabel, 0), std::min(w, kLabel));
  if (f.n == kLabel) {  // the usual case, as one fixed-size copy
    std::memcpy(label, f.p, kLabel);
    return;
  }
  std::memcpy(label, f.p, f.n);
  std::memset(label + f.n, ' ', kLabel - f.n);
}

// The walk of the format's program over records. run() walks one record from the current
// instruction until the record is done with: the list is filled, a `/` or the end of the
// format asks for the next record, or a field cannot be read. `filled` counts the items
// filled so far, also when a field fails.
struct Walker {
  enum class Step : std::uint8_t { Filled, Slash, EndOfFormat, Failed };

  Walker(const Program& program, float* values, std::int64_t reals, char* text,
         std::int64_t wanted)
      : prog(program), dest(values), count(reals), label(text), items(wanted) {}

  const Program& prog;
  float* dest;
  std::int64_t count;  // reals wanted
  char* label;         // and then a label, when not null
  std::int64_t items;  // count, and 1 for the label
  std::int64_t filled = 0;
  int error = 0;       // the error number after Failed

  struct Loop {
    std::size_t body;   // first instruction of the body
    std::int64_t left;  // passes still to go after the current one
  };
  std::array<Loop, format::kMaxDepth + 1> loops;  // the first `depth` in use, no others read
  int depth = 0;
  std::size_t pc = 0;
  int scale = 0;
  bool blank_zero = false;

  Step fail(int number) {
    error = number;
    return Step::Failed;
  }
  // A field that cannot be converted: where it is and what it holds.
  std::optional<FieldError> failed_field;
  Step fail_field(std::string_view record, std::int64_t pos, const Program::Op& op) {
    FieldError& f = failed_field.emplace();
    f.column = pos + 1;
    f.width = op.w;
    f.item = prog.text.substr(static_cast<std::size_t>(op.item_at),
                              static_cast<std::size_t>(op.item_length));
    const Field in_record = field(record, pos, op.w);
    f.text.assign(in_record.p, in_record.n);
    return fail(kConversionErrorNumber);
  }

  Step run(std::string_view record) {
    const Program::Op* ops = prog.ops.data();
    std::int64_t pos = 0;  // 0-based column in the record
    for (;;) {
      const Program::Op& op = ops[pc];
      switch (op.kind) {
        case Kind::Real:
        case Kind::Integer: {
          // A run of numeric fields, the body of most data formats, in one loop.
          const Program::Op* o = &op;
          do {
            if (filled == items) return Step::Filled;
            if (filled == count) return fail(kFormatErrorNumber);  // a number into the label
            const Field f = field(record, pos, o->w);
            float v;
            if (!(o->kind == Kind::Real ? convert_real(f.p, f.n, o->d, scale, blank_zero, v)
                                        : convert_integer(f.p, f.n, blank_zero, v)))
              return fail_field(record, pos, *o);
            if (dest) dest[filled] = v;
            ++filled;
            pos = std::min(pos + o->w, Program::kFar);
            ++o;
          } while (o->kind == Kind::Real || o->kind == Kind::Integer);
          pc = static_cast<std::size_t>(o - ops);
          break;
        }
        case Kind::Alpha: {
          if (filled == items) return Step::Filled;
          if (filled < count) return fail(kFormatErrorNumber);  // text into a real
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
          ++pc;
          return Step::Slash;
        case Kind::Colon:
          if (filled == items) return Step::Filled;
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
          if (filled == items) return Step::Filled;
          return Step::EndOfFormat;
      }
    }
  }

  // After the end of the format: on from the last outermost group, on a new record.
  bool revert() {
    depth = 0;
    pc = prog.revert;
    return prog.revert_has_data;
  }
};

// The read itself, record after record.
ReadResult read_items(TextFile& file, Walker& walk) {
  const Program& prog = walk.prog;
  if (!prog.valid) return error(kFormatErrorNumber);
  if (walk.items > 0 && !prog.has_data) return error(kFormatErrorNumber);

  std::string_view record;
  if (!file.next_record(record)) return end_of_file();
  for (;;) {
    switch (walk.run(record)) {
      case Walker::Step::Filled:
        return {};
      case Walker::Step::Failed: {
        ReadResult r = error(walk.error);
        if (walk.failed_field) {
          r.field = std::move(walk.failed_field);
          r.field->line = file.line();
        }
        return r;
      }
      case Walker::Step::EndOfFormat:
        if (!walk.revert()) return error(kFormatErrorNumber);
        break;
      case Walker::Step::Slash:
        break;
    }
    if (!file.next_record(record)) return end_of_file();
  }
}

// How many values each record gives when the format reads the same ones from every record:
// `first` from the first record, `later` from each record after it (the pass from the
// reversion point). Nothing when records can differ (a `/` or `:`, a scale factor or blank
// mode that carries from record to record, a label) or the format reads nothing.
struct RecordShape {
  std::int64_t first = 0;
  std::int64_t later = 0;
};

std::optional<RecordShape> record_shape(const Program& prog) {
  if (!prog.valid || !prog.revert_has_data) return std::nullopt;
  // The values of one pass from instruction `from` to the end, groups expanded.
  const auto pass = [&prog](std::size_t from) -> std::optional<std::int64_t> {
    std::vector<std::int64_t> totals(1, 0);  // per open group: the values of one pass of it
    std::vector<std::int64_t> counts;
    for (std::size_t pc = from; pc < prog.ops.size(); ++pc) {
      const Program::Op& op = prog.ops[pc];
      switch (op.kind) {
        case Kind::Real:
        case Kind::Integer:
          ++totals.back();
          break;
        case Kind::Move:
          break;
        case Kind::Group:
          totals.push_back(0);
          counts.push_back(op.count);
          break;
        case Kind::GroupEnd: {
          if (counts.empty()) return std::nullopt;
          const std::int64_t body = totals.back();
          totals.pop_back();
          const std::int64_t times = counts.back();
          counts.pop_back();
          if (body != 0 && times > (std::int64_t{1} << 40) / body) return std::nullopt;
          totals.back() += body * times;
          break;
        }
        case Kind::End:
          if (!counts.empty()) return std::nullopt;
          return totals.back();
        default:
          return std::nullopt;  // Alpha, Slash, Colon, Scale, blank modes
      }
    }
    return std::nullopt;
  };
  const std::optional<std::int64_t> first = pass(0);
  const std::optional<std::int64_t> later = pass(prog.revert);
  if (!first || !later || *first < 1 || *later < 1) return std::nullopt;
  return RecordShape{*first, *later};
}

}  // namespace

ReadResult read(TextFile& file, const RecordFormat& format, float* dest, std::int64_t count,
                char* label) {
  count = std::max<std::int64_t>(count, 0);
  Walker walk(format.program(), dest, count, label, count + (label ? 1 : 0));
  ReadResult r = read_items(file, walk);
  r.values = std::min(walk.filled, count);
  return r;
}

ReadResult read_shared(TextFile& file, const RecordFormat& format, float* dest,
                       std::int64_t count, const RecordWork& work) {
  const Program& prog = format.program();
  const std::optional<RecordShape> shape = record_shape(prog);
  if (work.threads <= 1 || dest == nullptr || !shape || count <= 0)
    return read(file, format, dest, count);

  // The values of records [0, r) of the read.
  const auto values_before = [&shape](std::int64_t r) {
    return r == 0 ? 0 : shape->first + (r - 1) * shape->later;
  };
  // The records that complete the list: no more are taken, the file stands after the last.
  const std::int64_t wanted = count <= shape->first
                                  ? 1
                                  : 1 + (count - shape->first + shape->later - 1) / shape->later;

  // The first record of each chunk that fails; the first of them all decides, as it would
  // have read alone.
  struct Failure {
    std::int64_t record = -1;
    int error = 0;
    std::int64_t filled = 0;
    std::optional<FieldError> field;
  };
  std::vector<Failure> failures;
  std::mutex lock;

  // Records are taken in batches of about 8 MB of text, as they stand in the file's buffer;
  // the threads convert a batch's records side by side, each into its own values.
  constexpr std::size_t kBatchBytes = std::size_t{8} << 20;
  std::vector<std::string_view> batch;
  std::int64_t records = 0;  // records taken
  while (records < wanted) {
    const std::int64_t taken = file.next_records(batch, wanted - records, kBatchBytes);
    if (taken == 0) break;  // the end of the file
    work.run(taken, [&](std::int64_t r0, std::int64_t r1) {
      for (std::int64_t r = r0; r < r1; ++r) {
        const std::int64_t at = records + r;
        Walker w(prog, dest, count, nullptr, std::min(count, values_before(at + 1)));
        w.filled = values_before(at);
        if (at > 0) w.revert();
        if (w.run(batch[r]) == Walker::Step::Failed) {
          const std::lock_guard<std::mutex> hold(lock);
          failures.push_back(Failure{r, w.error, w.filled, std::move(w.failed_field)});
          return;  // the rest of this chunk cannot come first
        }
      }
    });
    if (!failures.empty()) {
      Failure& f = *std::min_element(
          failures.begin(), failures.end(),
          [](const Failure& a, const Failure& b) { return a.record < b.record; });
      ReadResult r = error(f.error);
      r.values = f.filled;
      r.field = std::move(f.field);
      if (r.field) r.field->line = file.line() - taken + 1 + f.record;
      return r;
    }
    records += taken;
  }
  const std::int64_t filled = std::min(count, values_before(records));
  ReadResult r = filled < count ? end_of_file() : ReadResult{};
  r.values = filled;
  return r;
}

}  // namespace tramel::textio
