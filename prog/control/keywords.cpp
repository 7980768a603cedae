// The keyword readers: a setting is found in a block's parameter text by its keyword, the
// first `=` after it and the value after that `=`. The numbers are parsed here character by
// character with fixed digit limits, quirks included, because stored control files rely on
// exactly this reading.
#include <array>
#include <cstddef>
#include <string>

#include "control/control.hpp"

namespace tramel::control {

namespace {

// Each numeric reader returns its last good result after an error.
std::int32_t saved_integer = 0;
float saved_real = 0.0f;

constexpr std::size_t npos = std::string_view::npos;

// The character at a 0-based position; past the end of the text it is no blank, so a search
// for the value terminator never reads beyond the text.
char at(std::string_view text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }

char terminator(std::string_view sep) { return sep.size() > 1 ? sep[1] : ' '; }

// Finds the keyword and the first `=` at or after it. On success `s` is the 0-based position
// right after the `=`; otherwise ier is 1 (keyword absent) or 2 (no `=`).
bool locate(std::string_view keyword, std::string_view text, std::string_view sep, int& pos,
            int& ier, std::size_t& s) {
  ier = 0;
  const std::size_t last = keyword.find_last_not_of(' ');
  // An all-blank keyword names nothing: it is treated as absent.
  const std::size_t k = last == npos ? npos : text.find(keyword.substr(0, last + 1));
  if (k == npos) {
    pos = 0;
    ier = 1;
    return false;
  }
  const std::size_t eq = text.find(sep.empty() ? '=' : sep[0], k);
  if (eq == npos) {
    pos = 0;
    ier = 2;
    return false;
  }
  s = eq + 1;
  return true;
}

// Passes over at most two blanks and a leading minus sign; returns the sign.
int skip_blanks_and_sign(std::string_view text, char blank, std::size_t& s) {
  if (at(text, s) == blank) ++s;
  if (at(text, s) == blank) ++s;
  if (at(text, s) == '-') {
    ++s;
    return -1;
  }
  return 1;
}

}  // namespace

void reset_readers() {
  saved_integer = 0;
  saved_real = 0.0f;
}

std::int32_t number(std::string_view s, int count) {
  if (count < 1 || count > 7 || static_cast<std::size_t>(count) > s.size()) return 0;
  // Every character counts its code minus '0', digit or not; seven characters of any code
  // stay far inside the 32-bit range (at most 207 * 1111111).
  std::int64_t value = 0;
  for (int i = 0; i < count; ++i)
    value = value * 10 + (static_cast<unsigned char>(s[static_cast<std::size_t>(i)]) - 48);
  return static_cast<std::int32_t>(value);
}

std::string charead(std::string_view keyword, std::string_view text, std::string_view sep,
                    int& pos, int& ier) {
  std::string result(50, ' ');
  std::size_t s = 0;
  if (!locate(keyword, text, sep, pos, ier, s)) return result;
  pos = static_cast<int>(s) + 1;
  // The value is the word right after the `=`, taken with the blank that ends it.
  const std::size_t e = text.find(terminator(sep), s);
  if (e == npos || e == s) {
    ier = 3;
    return result;
  }
  const std::string_view value = text.substr(s, std::min<std::size_t>(e - s + 1, 50));
  result.replace(0, value.size(), value);
  return result;
}

std::int32_t numread(std::string_view keyword, std::string_view text, std::string_view sep,
                     int& pos, int& ier, textio::Sink& unit) {
  std::size_t s = 0;
  if (!locate(keyword, text, sep, pos, ier, s)) return saved_integer;
  const char blank = terminator(sep);
  const int sign = skip_blanks_and_sign(text, blank, s);
  pos = static_cast<int>(s) + 1;
  const std::size_t e = text.find(blank, s);
  if (e == npos || e == s) {
    ier = 3;
    return saved_integer;
  }
  const std::size_t n = e - s;
  if (n >= 8) {
    textio::list(unit, "The number ", text.substr(s), " > 999999");
    ier = 4;
    return saved_integer;
  }
  saved_integer = sign * number(text.substr(s), static_cast<int>(n));
  return saved_integer;
}

float rnumread(std::string_view keyword, std::string_view text, std::string_view sep, int& pos,
               int& ier, textio::Sink& unit) {
  std::size_t s = 0;
  if (!locate(keyword, text, sep, pos, ier, s)) return saved_real;
  const char blank = terminator(sep);
  const float sign = skip_blanks_and_sign(text, blank, s) < 0 ? -1.0f : 1.0f;
  pos = static_cast<int>(s) + 1;

  // The point is searched to the end of the text, so a value without one takes the point
  // of a later label.
  const std::size_t point = text.find('.', s);
  if (point == npos) {
    ier = 4;
    return saved_real;
  }
  const std::size_t n = point - s;
  if (n >= 8) {
    textio::list(unit, "The number ", text.substr(s), " > 9,999,999");
    ier = 5;
    return saved_real;
  }
  const std::int32_t whole = n == 0 ? 0 : number(text.substr(s), static_cast<int>(n));

  // The fraction is read from the nine characters after the point (fewer at the end of the
  // text); a blank right after the point counts as the digit 0, so "25. " reads 25.0.
  std::string fraction(text.substr(point + 1, 9));
  if (!fraction.empty() && fraction[0] == blank) fraction[0] = '0';
  const std::size_t m = fraction.find(blank);
  if (m == npos) {
    ier = 3;
    return saved_real;
  }
  if (m >= 7) {
    textio::list(unit, "The number ", text.substr(point + 1), " > 9,999,999");
    ier = 5;
    return saved_real;
  }
  static constexpr std::array<double, 7> kTens = {1.0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  const double f = number(fraction, static_cast<int>(m));
  // Sum formed in double, rounded to single precision, the sign applied last.
  saved_real = sign * static_cast<float>(static_cast<double>(whole) + f / kTens[m]);
  return saved_real;
}

}  // namespace tramel::control
