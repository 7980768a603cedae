// read: one formatted read of data records under a compiled run-time format.
//
// The program of the format is walked instruction by instruction over the current record,
// which is a view into the file's buffer: a field is the next w characters from the position,
// converted in place. Groups loop on a small fixed stack; the end of the format starts a new
// record and goes on from the reversion point.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The common numeric field, converted without from_chars: blanks, an optional sign, at most
// 15 digits with at most one point among them, blanks. Its digits read as an integer D and its
// decimals k (those after the point, else the implied ones) give the value D / 10^k. D and 10^k
// (k <= 22) are exact doubles, so the quotient is the decimal correctly rounded to double, and
// rounding that to single gives the decimal correctly rounded to single, unless the quotient
// lies exactly halfway between two floats: only there could the two roundings differ. Such a
// field, and any field of another form, goes through convert_real and its every rule.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kMaxDigits = 15;  // 10^15 < 2^53: D is exact
constexpr int kWindow = 16;     // columns examined at once

// D / 10^k rounded to single, or false when the quotient is a halfway case.
inline bool quotient(std::uint64_t digits, long k, bool minus, float& value) {
  const double q = static_cast<double>(digits) / kPow10[k];
  if ((std::bit_cast<std::uint64_t>(q) & 0x1FFFFFFFu) == 0x10000000u) return false;
  const auto f = static_cast<float>(q);
  value = minus ? -f : f;
  return true;
}

// Eight digit values (0..9, one per byte, the first digit in the lowest byte) to their number.
inline std::uint64_t eight_digits(std::uint64_t v) {
  v = (v * 10 + (v >> 8)) & 0x00FF00FF00FF00FFu;
  v = (v * 100 + (v >> 16)) & 0x0000FFFF0000FFFFu;
  return (v * 10000 + (v >> 32)) & 0xFFFFFFFFu;
}

#if defined(__SSE2__)
// The field [from, from + w) of a record holding at least kWindow columns, w <= kWindow, read
// through the kWindow columns around it: the classes of all its characters at once, then the
// digits assembled without a branch per character.
inline bool convert_window(const char* window, int from, int w, int d, float& value) {
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window));
  const __m128i zero_char = _mm_set1_epi8('0');
  const __m128i val = _mm_sub_epi8(text, zero_char);
  const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(val, _mm_set1_epi8(9)), val);
  const auto mask = [&](char c) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(text, _mm_set1_epi8(c))));
  };
  const unsigned field = ((1u << w) - 1u) << from;
  const unsigned filled = field & ~mask(' ');
  if (filled == 0) {
    value = 0.0f;
    return true;
  }
  const unsigned digit = static_cast<unsigned>(_mm_movemask_epi8(is_digit));
  const unsigned point = mask('.');
  const int first = std::countr_zero(filled);
  const int last = 31 - std::countl_zero(filled);
  const bool minus = (mask('-') >> first) & 1u;
  const int start = first + static_cast<int>(((mask('+') | mask('-')) >> first) & 1u);
  const unsigned core = (2u << last) - (1u << start);  // start..last; 0 if only a sign
  const unsigned core_point = point & core;
  // Only digits and at most one point; so the digits are the columns of the core but the point.
  if ((core & ~(digit | point)) != 0 || (digit & core) == 0 ||
      (core_point & (core_point - 1u)) != 0)
    return false;
  // The point's column; without one, the first digit's (the columns before it are zero).
  const int at = core_point != 0 ? std::countr_zero(core_point) : start;
  if (last - start + 1 - (core_point != 0) > kMaxDigits) return false;
  const long k = core_point != 0 ? last - at : d;
  if (k > 22) return false;

  // The digit values of the core, all else zero, as a 16-byte number in two halves (column i
  // in byte i); the point squeezed out by moving the columns before it up one byte; then the
  // last digit moved to byte 15, so the number reads as 16 digits with leading zeros.
  const __m128i column = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const __m128i inside =
      _mm_and_si128(_mm_cmpgt_epi8(column, _mm_set1_epi8(static_cast<char>(start - 1))),
                    _mm_cmplt_epi8(column, _mm_set1_epi8(static_cast<char>(last + 1))));
  const __m128i digits = _mm_and_si128(val, _mm_and_si128(is_digit, inside));
  auto lo = static_cast<std::uint64_t>(_mm_cvtsi128_si64(digits));
  auto hi = static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_srli_si128(digits, 8)));
  if (core_point != 0) {
    if (at >= 8) {
      const std::uint64_t below = (std::uint64_t{1} << (8 * (at - 8))) - 1;
      hi = (hi & ~below) | ((hi & below) << 8) | (lo >> 56);
      lo <<= 8;
    } else {
      const std::uint64_t below = (std::uint64_t{1} << (8 * at)) - 1;
      lo = (lo & ~below) | ((lo & below) << 8);
    }
  }
  if (last != 15) {
    const int bits = 8 * (15 - last);
    if (bits >= 64) {
      hi = lo << (bits - 64);
      lo = 0;
    } else {
      hi = (hi << bits) | (lo >> (64 - bits));
      lo <<= bits;
    }
  }
  const std::uint64_t high = eight_digits(lo);
  const std::uint64_t low = eight_digits(hi);
  return quotient(high * 100000000u + low, k, minus, value);
}
#endif

// A numeric field of the record at column pos (the part within the record, f).
inline bool convert_field(std::string_view record, std::int64_t pos, std::int32_t w, const char* p,
                          std::size_t n, int d, int scale, bool blank_zero, float& value) {
#if defined(__SSE2__)
  if (!blank_zero && scale == 0 && d >= 0 && n == static_cast<std::size_t>(w) && w <= kWindow &&
      record.size() >= static_cast<std::size_t>(kWindow)) {
    // The window ends with the field, or, near the start of the record, begins with it.
    const std::int64_t at = pos + w >= kWindow ? pos + w - kWindow : 0;
    if (convert_window(record.data() + at, static_cast<int>(pos - at), w, d, value)) return true;
  }
#else
  (void)record, (void)pos, (void)w;
#endif
  return convert_real(p, n, d, scale, blank_zero, value);
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
          if (!convert_field(record, pos, o->w, f.p, f.n, o->d, scale, blank_zero, v))
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
