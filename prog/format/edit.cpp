// The edit of one value into a fixed field: Iw, Fw.d, Gw.d and Aw.
//
// The decimal digits always come from std::to_chars with a precision, which rounds the exact
// binary value of the float to the nearest decimal (an exact tie to even, as printf does):
// 0.125 under f5.2 gives 0.12, and a value stored slightly below a half rounds down. The code
// here does only the layout: sign, optional leading zero, right justification, asterisks.
#include <algorithm>
#include <charconv>
#include <cmath>

#include "format/format.hpp"

namespace tramel::format {

namespace {

// Room for 39 integer digits of the largest float, the point, kMaxFieldWidth fraction digits
// and an exponent.
constexpr std::size_t kDigitRoom = kMaxFieldWidth + 64;

void stars(std::string& dst, int w) { dst.append(static_cast<std::size_t>(w), '*'); }

void right(std::string& dst, std::string_view text, int w) {
  if (text.size() > static_cast<std::size_t>(w)) {
    stars(dst, w);
  } else {
    dst.append(static_cast<std::size_t>(w) - text.size(), ' ');
    dst.append(text);
  }
}

// NaN and infinities: the word right-justified, shortened when the field is narrow.
void nonfinite(std::string& dst, float value, int w) {
  if (std::isnan(value)) {
    right(dst, "NaN", w);
  } else if (value > 0) {
    right(dst, w >= 8 ? "Infinity" : "Inf", w);
  } else {
    right(dst, w >= 9 ? "-Infinity" : "-Inf", w);
  }
}

// Fixed-point field of a finite value; w >= 1, 0 <= d <= kMaxFieldWidth.
void fixed(std::string& dst, float value, int w, int d) {
  if (d + 1 > w) {  // not even the point and the fraction digits fit
    stars(dst, w);
    return;
  }
  char buf[kDigitRoom];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, d);
  if (ec != std::errc{}) {
    stars(dst, w);
    return;
  }
  std::string_view digits(buf, static_cast<std::size_t>(end - buf));
  const bool zero = digits.find_first_not_of("0.") == std::string_view::npos;
  const bool minus = std::signbit(value) && !zero;  // -0.004 under f5.2 is " 0.00"
  const bool point = d == 0;                         // to_chars leaves out a bare point
  // The 0 before the point is optional, unless it is the only digit (f2.0 of 0.4 is "0.").
  const bool lead0 = d > 0 && digits[0] == '0' && digits[1] == '.';
  std::size_t len = minus + digits.size() + point;
  if (len > static_cast<std::size_t>(w) && lead0) {
    digits.remove_prefix(1);
    --len;
  }
  if (len > static_cast<std::size_t>(w)) {
    stars(dst, w);
    return;
  }
  dst.append(static_cast<std::size_t>(w) - len, ' ');
  if (minus) dst.push_back('-');
  dst.append(digits);
  if (point) dst.push_back('.');
}

// The fixed-point branch of Gw.d: F(w-4).d followed by four blanks.
void fixed_g(std::string& dst, float value, int w, int d) {
  if (w <= 4) {
    stars(dst, w);
    return;
  }
  fixed(dst, value, w - 4, d);
  dst.append(4, ' ');
}

// The exponent form 0.ddddE+ee in w columns. `sci` holds the d significant digits of the
// value as to_chars writes them in scientific form ("D.DDDe+XX", or "De+XX" for d = 1), x
// its exponent; the fraction is those digits after the point and the exponent is x + 1.
void exponent_g(std::string& dst, bool minus, std::string_view sci, int x, int w, int d) {
  const int e = x + 1;
  const int ae = e < 0 ? -e : e;
  // Fortran writes an exponent beyond two digits as +ddd without the letter; a float never
  // needs it, but a width must still come out exact.
  const std::size_t len = minus + 1 + static_cast<std::size_t>(d) + 4;
  const bool lead0 = len < static_cast<std::size_t>(w);
  if (len > static_cast<std::size_t>(w)) {
    stars(dst, w);
    return;
  }
  dst.append(static_cast<std::size_t>(w) - len - lead0, ' ');
  if (minus) dst.push_back('-');
  if (lead0) dst.push_back('0');
  dst.push_back('.');
  dst.push_back(sci[0]);
  if (d > 1) dst.append(sci.substr(2, static_cast<std::size_t>(d - 1)));
  if (ae <= 99) dst.push_back('E');
  dst.push_back(e < 0 ? '-' : '+');
  if (ae > 99) dst.push_back(static_cast<char>('0' + ae / 100));
  dst.push_back(static_cast<char>('0' + ae / 10 % 10));
  dst.push_back(static_cast<char>('0' + ae % 10));
}

}  // namespace

void edit_i(std::string& dst, std::int32_t value, int w) {
  if (w <= 0) return;
  w = std::min(w, kMaxFieldWidth);
  char buf[16];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  right(dst, std::string_view(buf, static_cast<std::size_t>(end - buf)), w);
}

void edit_f(std::string& dst, float value, int w, int d) {
  if (w <= 0) return;
  w = std::min(w, kMaxFieldWidth);
  d = std::clamp(d, 0, kMaxFieldWidth);
  if (!std::isfinite(value)) {
    nonfinite(dst, value, w);
    return;
  }
  fixed(dst, value, w, d);
}

void edit_g(std::string& dst, float value, int w, int d) {
  if (w <= 0) return;
  w = std::min(w, kMaxFieldWidth);
  d = std::clamp(d, 1, kMaxFieldWidth);
  if (!std::isfinite(value)) {
    nonfinite(dst, value, w);
    return;
  }
  if (value == 0) {  // a zero: d-1 zeros after the point
    fixed_g(dst, 0.0f, w, d - 1);
    return;
  }
  // N, the magnitude rounded to d significant digits, is sci's digits times 10^x.
  char buf[kDigitRoom];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, d - 1);
  if (ec != std::errc{}) {
    stars(dst, w);
    return;
  }
  const std::string_view sci(buf, static_cast<std::size_t>(end - buf));
  const std::size_t e_at = sci.find('e');
  int x = 0;
  std::from_chars(sci.data() + e_at + 1 + (sci[e_at + 1] == '+'), sci.data() + sci.size(), x);
  if (x < -1 || x >= d) {  // N < 0.1 or N >= 10^d
    exponent_g(dst, std::signbit(value), sci, x, w, d);
    return;
  }
  // 0.1 <= N < 10^d: k digits before the point, d-k after; rounding at the same decimal
  // place as the d significant digits above, so the fixed form shows exactly N.
  const int k = x >= 0 ? x + 1 : 0;
  fixed_g(dst, value, w, d - k);
}

void edit_a(std::string& dst, std::string_view value, int w) {
  if (w <= 0) return;
  const std::size_t n = static_cast<std::size_t>(w);
  if (n < value.size()) {
    dst.append(value.substr(0, n));
  } else {
    dst.append(std::min<std::size_t>(n - value.size(), kMaxFieldWidth), ' ');
    dst.append(value);
  }
}

}  // namespace tramel::format
