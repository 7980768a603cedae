// Conversion of one numeric input field to single precision.
//
// The field is turned into a decimal digit string and a power of ten, and std::from_chars
// converts that exactly (correctly rounded, as a Fortran READ does). Nothing is ever scaled
// by a power of ten in floating point, which would round twice.
#include <algorithm>
#include <charconv>
#include <limits>

#include "textio/record_program.hpp"

namespace tramel::textio {
namespace {

// Significant digits kept. Every decimal number halfway between two floats has at most 150
// significant digits (the exact value of a multiple of 2^-150), so 200 digits followed by one
// sticky digit for anything nonzero further right decide the rounding exactly.
constexpr int kKeptDigits = 200;
// Exponents are clamped far beyond the range of a float: the result is then 0 or infinity.
constexpr std::int64_t kExponentClamp = 1000000;

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool exponent_letter(char c) {
  return c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q';
}

// Digits and a power of ten, collected from a field and converted with from_chars.
class Decimal {
 public:
  void digit(char c, bool after_point) {
    if (kept_ == 0 && c == '0') {  // a leading zero only moves the point
      if (after_point) --exp10_;
      return;
    }
    if (kept_ < kKeptDigits) {
      buf_[1 + kept_++] = c;
      if (after_point) --exp10_;
    } else {
      if (c != '0') sticky_ = true;
      if (!after_point) ++exp10_;
    }
  }
  void add_exponent(std::int64_t e) { exp10_ += e; }

  // The value with the given sign; out-of-range magnitudes become infinity or zero.
  float value(bool negative) {
    if (kept_ == 0) return negative ? -0.0f : 0.0f;
    char* first = buf_ + 1;
    int len = kept_;
    std::int64_t e = exp10_;
    if (sticky_) {
      first[len++] = '1';
      --e;
    }
    first[len++] = 'e';
    auto tc = std::to_chars(first + len, buf_ + sizeof buf_, e);
    if (negative) *--first = '-';
    float v = 0.0f;
    auto r = std::from_chars(first, tc.ptr, v, std::chars_format::scientific);
    if (r.ec == std::errc::result_out_of_range) {
      // from_chars leaves v alone: decide between overflow and underflow by the magnitude
      // (the value lies in [10^(kept+e-1), 10^(kept+e))).
      v = kept_ + e > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
      if (negative) v = -v;
    }
    return v;
  }

 private:
  char buf_[1 + kKeptDigits + 1 + 24];  // sign, digits, sticky digit, 'e' and exponent
  int kept_ = 0;
  bool sticky_ = false;
  std::int64_t exp10_ = 0;
};

// Leading blanks, then a sign. Returns the index after them; `negative` tells the sign.
std::size_t lead(const char* p, std::size_t n, bool& negative) {
  std::size_t i = 0;
  while (i < n && p[i] == ' ') ++i;
  negative = false;
  if (i < n && (p[i] == '+' || p[i] == '-')) {
    negative = p[i] == '-';
    ++i;
    while (i < n && p[i] == ' ') ++i;  // blanks before the first digit never count
  }
  return i;
}

// The exponent digits from p[i] on (after the letter, or at the bare sign). Blanks follow the
// blank mode. Returns false when there is no digit or another character follows.
bool exponent(const char* p, std::size_t n, std::size_t i, bool blank_zero, std::int64_t& e) {
  if (!blank_zero)
    while (i < n && p[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
  std::int64_t v = 0;
  int digits = 0;
  for (; i < n; ++i) {
    char c = p[i];
    if (c == ' ') {
      if (!blank_zero) continue;
      c = '0';
    }
    if (!is_digit(c)) return false;
    v = std::min(v * 10 + (c - '0'), kExponentClamp);
    ++digits;
  }
  if (digits == 0) return false;
  e = negative ? -v : v;
  return true;
}

// A field whose first character (after blanks and sign) is I or N: an infinity or a NaN.
bool special(char c, bool negative, float& value) {
  if (c == 'i' || c == 'I') {
    value = negative ? -std::numeric_limits<float>::infinity()
                     : std::numeric_limits<float>::infinity();
    return true;
  }
  if (c == 'n' || c == 'N') {
    value = std::numeric_limits<float>::quiet_NaN();
    return true;
  }
  return false;
}

}  // namespace

// Every rule of the numeric field, character by character.
bool convert_real_general(const char* p, std::size_t n, int d, int scale, bool blank_zero,
                          float& value) {
  bool negative = false;
  std::size_t i = lead(p, n, negative);
  if (i == n) {  // all blank, or only a sign
    value = 0.0f;
    return true;
  }
  if (special(p[i], negative, value)) return true;
  Decimal dec;
  bool point = false;
  bool mantissa = false;  // a digit or the point seen
  bool has_exponent = false;
  for (; i < n; ++i) {
    char c = p[i];
    if (c == ' ') {
      if (!blank_zero) continue;
      c = '0';
    }
    if (is_digit(c)) {
      dec.digit(c, point);
      mantissa = true;
    } else if (c == '.') {
      if (point) return false;
      point = mantissa = true;
    } else if (exponent_letter(c) || ((c == '+' || c == '-') && mantissa)) {
      // The exponent: after its letter, or from a sign without one (1.5+3).
      std::int64_t e = 0;
      if (!exponent(p, n, exponent_letter(c) ? i + 1 : i, blank_zero, e)) return false;
      dec.add_exponent(e);
      has_exponent = true;
      break;
    } else {
      return false;
    }
  }
  if (!point) dec.add_exponent(-d);
  if (!has_exponent) dec.add_exponent(-scale);  // kP acts only on a value without exponent
  // A lone sign read as +0 above; a point or digits keep the sign of a zero.
  value = dec.value(negative);
  return true;
}

bool convert_integer(const char* p, std::size_t n, bool blank_zero, float& value) {
  bool negative = false;
  std::size_t i = lead(p, n, negative);
  Decimal dec;
  for (; i < n; ++i) {
    char c = p[i];
    if (c == ' ') {
      if (!blank_zero) continue;
      c = '0';
    }
    if (!is_digit(c)) return false;
    dec.digit(c, false);
  }
  value = dec.value(negative);
  if (value == 0.0f) value = 0.0f;  // the integer zero has no sign
  return true;
}

}  // namespace tramel::textio
