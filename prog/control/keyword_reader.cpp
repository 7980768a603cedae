// The keyword readers: a setting is found in a block's parameter text by its keyword, the
// first `=` after it and the value after that `=`. The numbers are parsed here character by
// character with fixed digit limits, quirks included, because stored control files rely on
// exactly this reading.
#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "control/control.hpp"

namespace tramel::control {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// The character at a 0-based position; past the end of the text it is no blank, so a search
// for the value terminator never reads beyond the text.
char at(std::string_view text, std::size_t i) { return i < text.size() ? text[i] : '\0'; }

// The rest of the text from position `start`, as the over-long-number messages show it:
// without the NUL characters that fill the text after the block's parts.
std::string rest_of_text(std::string_view text, std::size_t start) {
  std::string rest(text.substr(std::min(start, text.size())));
  std::erase(rest, '\0');
  return rest;
}

// The separator of keyword and value, and the blank that ends a value.
constexpr char kEquals = '=';
constexpr char kBlank = ' ';

// Finds the keyword and the first `=` at or after it. On success returns the 0-based position
// right after the `=`; otherwise nothing, with the error 1 (keyword absent) or 2 (no `=`).
template <class T>
std::optional<std::size_t> locate(std::string_view keyword, std::string_view text,
                                  KeywordValue<T>& value) {
  const std::size_t last = keyword.find_last_not_of(' ');
  // An all-blank keyword names nothing: it is treated as absent.
  const std::size_t k = last == npos ? npos : text.find(keyword.substr(0, last + 1));
  if (k == npos) {
    value.error = ReadError::KeywordAbsent;
    return std::nullopt;
  }
  value.position = k;
  const std::size_t eq = text.find(kEquals, k);
  if (eq == npos) {
    value.error = ReadError::NoEquals;
    return std::nullopt;
  }
  value.value_position = eq + 1;
  return eq + 1;
}

// Passes over at most two blanks and a leading minus sign; returns the sign.
int skip_blanks_and_sign(std::string_view text, std::size_t& start) {
  if (at(text, start) == kBlank) ++start;
  if (at(text, start) == kBlank) ++start;
  if (at(text, start) == '-') {
    ++start;
    return -1;
  }
  return 1;
}

}  // namespace

std::int32_t digits_value(std::string_view s, int count) {
  if (count < 1 || count > 7 || static_cast<std::size_t>(count) > s.size()) return 0;
  // Every character counts its code minus '0', digit or not; seven characters of any code
  // stay far inside the 32-bit range (at most 207 * 1111111).
  std::int64_t value = 0;
  for (int i = 0; i < count; ++i)
    value = value * 10 + (static_cast<unsigned char>(s[static_cast<std::size_t>(i)]) - 48);
  return static_cast<std::int32_t>(value);
}

KeywordValue<std::string> KeywordReader::text(const Keyword& keyword, std::string_view text) const {
  KeywordValue<std::string> result;
  result.value.assign(50, ' ');
  const std::optional<std::size_t> start = locate(keyword.text, text, result);
  if (!start) return result;
  // The value is the word right after the `=`, taken with the blank that ends it.
  const std::size_t blank = text.find(kBlank, *start);
  if (blank == npos || blank == *start) {
    result.error = ReadError::Malformed;
    return result;
  }
  const std::string_view value =
      text.substr(*start, std::min<std::size_t>(blank - *start + 1, 50));
  result.value.replace(0, value.size(), value);
  return result;
}

KeywordValue<std::int32_t> KeywordReader::integer(const Keyword& keyword, std::string_view text) {
  KeywordValue<std::int32_t> result;
  result.value = saved_integer_;
  const std::optional<std::size_t> found = locate(keyword.text, text, result);
  if (!found) return result;
  std::size_t start = *found;
  const int sign = skip_blanks_and_sign(text, start);
  const std::size_t blank = text.find(kBlank, start);
  if (blank == npos || blank == start) {
    result.error = ReadError::Malformed;
    return result;
  }
  const std::size_t length = blank - start;
  if (length >= 8) {
    result.message = textio::list_text("The number ", rest_of_text(text, start), " > 999999");
    result.error = ReadError::IntegerTooLong;
    return result;
  }
  saved_integer_ = sign * digits_value(text.substr(start), static_cast<int>(length));
  result.value = saved_integer_;
  return result;
}

KeywordValue<float> KeywordReader::real(const Keyword& keyword, std::string_view text) {
  KeywordValue<float> result;
  result.value = saved_real_;
  const std::optional<std::size_t> found = locate(keyword.text, text, result);
  if (!found) return result;
  std::size_t start = *found;
  const float sign = skip_blanks_and_sign(text, start) < 0 ? -1.0f : 1.0f;

  // The point is searched to the end of the text, so a value without one takes the point
  // of a later label.
  const std::size_t point = text.find('.', start);
  if (point == npos) {
    result.error = ReadError::NoPoint;
    return result;
  }
  const std::size_t length = point - start;
  if (length >= 8) {
    result.message = textio::list_text("The number ", rest_of_text(text, start), " > 9,999,999");
    result.error = ReadError::RealTooLong;
    return result;
  }
  const std::int32_t whole =
      length == 0 ? 0 : digits_value(text.substr(start), static_cast<int>(length));

  // The fraction is read from the nine characters after the point (fewer at the end of the
  // text); a blank right after the point counts as the digit 0, so "25. " reads 25.0.
  std::string fraction(text.substr(point + 1, 9));
  if (!fraction.empty() && fraction[0] == kBlank) fraction[0] = '0';
  const std::size_t fraction_length = fraction.find(kBlank);
  if (fraction_length == npos) {
    result.error = ReadError::Malformed;
    return result;
  }
  if (fraction_length >= 7) {
    result.message = textio::list_text("The number ", rest_of_text(text, point + 1), " > 9,999,999");
    result.error = ReadError::RealTooLong;
    return result;
  }
  static constexpr std::array<double, 7> kTens = {1.0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  const double digits = digits_value(fraction, static_cast<int>(fraction_length));
  // Sum formed in double, rounded to single precision, the sign applied last.
  saved_real_ =
      sign * static_cast<float>(static_cast<double>(whole) + digits / kTens[fraction_length]);
  result.value = saved_real_;
  return result;
}

}  // namespace tramel::control
