// The compiled form of a run-time record format and the numeric field conversions, shared by
// the format compiler (record_format.cpp), the record reader (record_read.cpp) and the
// list-directed reader (list_read.cpp). Private to textio.
#pragma once

#include <bit>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::textio {

// A flat program: the format's items in order, nested groups as loop instructions, so that a
// read walks it with one switch per instruction and no recursion.
struct RecordFormat::Program {
  struct Op {
    enum class Kind : std::uint8_t {
      Real,       // Fw.d Ew.d Dw.d Gw.d: a numeric field of w characters, d implied decimals
      Integer,    // Iw: a numeric field of integer syntax
      Alpha,      // Aw (w = 0: the length of the item)
      Move,       // position := max(floor, position + shift): nX TRn TLn Tn, and whole groups
                  // of them folded into one move
      Slash,      // next record
      Colon,      // end of the read when the list is filled
      Scale,      // kP
      BlankNull,  // BN
      BlankZero,  // BZ
      Group,      // start of a group repeated `count` times
      GroupEnd,   // end of the group that starts `back` instructions earlier
      End,        // end of the format
    };
    Kind kind = Kind::End;
    std::int32_t w = 0;
    std::int32_t d = 0;      // Real: digits after the point; Scale: k
    std::int32_t back = 0;   // GroupEnd: distance back to the first instruction of the body
    std::int64_t count = 0;  // Group: repeat count
    std::int64_t shift = 0;  // Move
    std::int64_t floor = 0;  // Move (kNoFloor: none)
    std::int32_t item_at = 0;      // Real, Integer: the descriptor in `text`
    std::int32_t item_length = 0;
  };

  // Column bounds of a move; positions saturate here instead of overflowing.
  static constexpr std::int64_t kFar = std::int64_t{1} << 60;
  static constexpr std::int64_t kNoFloor = -kFar;

  std::vector<Op> ops;       // ends with an End instruction when valid
  std::string text;          // the format as compiled: lower case, without blanks
  std::size_t revert = 0;    // where reading goes on after the end of the format
  bool valid = false;
  std::string error;             // when not valid: what is wrong and where
  bool has_data = false;         // any data descriptor at all
  bool revert_has_data = false;  // any data descriptor from `revert` on
};

// One numeric field of an input record, `n` characters at `p` (the part of the field that lies
// within the record; the rest of a field beyond the record's end is not there at all, so it
// counts as nothing, not even as zeros under BZ). `d` is the number of implied decimals when
// the field has no point, `scale` the kP factor, `blank_zero` the BZ mode. Returns false when
// the field cannot be converted.
bool convert_real_general(const char* p, std::size_t n, int d, int scale, bool blank_zero,
                          float& value);

// The same, with the common field handled in line: blanks, an optional sign, digits with a
// point (or without one when there are no implied decimals), blanks. Such a field goes to
// from_chars as it stands in the record; any other goes through every rule.
inline bool convert_real(const char* p, std::size_t n, int d, int scale, bool blank_zero,
                         float& value) {
  if (!blank_zero && scale == 0) {
    const char* b = p;
    const char* e = p + n;
    if (n >= 8) {  // the leading blanks of a wide field, eight columns at a time
      std::uint64_t word;
      std::memcpy(&word, b, 8);
      word ^= 0x2020202020202020u;
      if (word != 0) b += std::countr_zero(word) / 8;
      else b += 8;
    }
    while (b < e && *b == ' ') ++b;
    while (e > b && e[-1] == ' ') --e;
    if (b == e) {
      value = 0.0f;
      return true;
    }
    // The sign is taken off and put back exactly afterwards (branch-free: signs in data are
    // as good as random, and a mispredicted branch costs more than the rest of the field).
    const bool minus = *b == '-';
    const char* m = b + (minus | (*b == '+'));
    if (m < e && (static_cast<unsigned char>(*m - '0') < 10 || *m == '.')) {
      // from_chars in fixed form takes exactly digits[.digits]; a point in the field
      // overrides the implied decimals, and is looked for where it usually stands first.
      float v;
      const auto r = std::from_chars(m, e, v, std::chars_format::fixed);
      if (r.ec == std::errc() && r.ptr == e &&
          (d == 0 || (e - m > d && e[-1 - d] == '.') ||
           std::memchr(m, '.', static_cast<std::size_t>(e - m)) != nullptr)) {
        value = std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) ^
                                     (static_cast<std::uint32_t>(minus) << 31));
        return true;
      }
    }
  }
  return convert_real_general(p, n, d, scale, blank_zero, value);
}

// The same for a field of integer syntax (sign and digits only), converted to single precision.
bool convert_integer(const char* p, std::size_t n, bool blank_zero, float& value);

}  // namespace tramel::textio
