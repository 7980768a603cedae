// TextFile::read_list: list-directed input of integers and reals.
//
// Values are separated by blanks or by a comma with optional blanks around it; the end of a
// record separates like a blank, and reading goes on in the next record until every item has
// its value. Two commas in a row leave an item as it was (a null value), r*c gives r items
// the value c, and a slash ends the read with the remaining items unchanged. Once the items
// are filled the rest of the record is passed over, whatever it holds.
#include <charconv>
#include <limits>

#include "textio/record_program.hpp"

namespace tramel::textio {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

ReadResult conversion_error() { return {ReadResult::Status::Error, kConversionErrorNumber}; }

// An integer: optional sign and digits, within 32 bits.
bool to_integer(std::string_view v, std::int32_t& out) {
  const char* b = v.data();
  const char* e = b + v.size();
  if (b < e && *b == '+') {
    ++b;
    if (b < e && *b == '-') return false;
  }
  std::int32_t x = 0;
  auto r = std::from_chars(b, e, x, 10);
  if (r.ec != std::errc() || r.ptr != e) return false;  // not a number, or beyond 32 bits
  out = x;
  return true;
}

// A real: any form of a numeric field; a value without a point has no fraction digits. At
// least one digit must stand in the mantissa, or it must be an infinity or a NaN.
bool to_real(std::string_view v, float& out) {
  std::size_t i = 0;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
  if (i == v.size()) return false;
  const char c = v[i];
  const bool special = c == 'i' || c == 'I' || c == 'n' || c == 'N';
  if (!special) {
    bool digit = false;
    for (; i < v.size() && !digit; ++i) {
      const char k = v[i];
      if (k >= '0' && k <= '9') digit = true;
      else if (k != '.') break;
    }
    if (!digit) return false;
  }
  return convert_real(v.data(), v.size(), 0, 0, false, out);
}

bool assign(const TextFile::ListTarget& target, std::string_view value) {
  if (auto* i = std::get_if<std::int32_t*>(&target)) return to_integer(value, **i);
  return to_real(value, *std::get<float*>(target));
}

}  // namespace

ReadResult TextFile::read_list(std::span<const ListTarget> targets) {
  std::string_view record;
  if (!next_record(record)) return {ReadResult::Status::End, 0};
  std::size_t item = 0;
  std::size_t i = 0;
  bool after_value = false;  // a comma now separates, rather than standing for a null value
  while (item < targets.size()) {
    while (i < record.size() && is_blank(record[i])) ++i;
    if (i == record.size()) {
      if (!next_record(record)) return {ReadResult::Status::End, 0};
      i = 0;
      continue;
    }
    const char c = record[i];
    if (c == '/') return {};
    if (c == ',') {
      ++i;
      if (after_value) {
        after_value = false;
      } else {
        ++item;  // null value: the item keeps what it held
      }
      continue;
    }
    std::size_t j = i;
    while (j < record.size() && !ends_value(record[j])) ++j;
    std::string_view value = record.substr(i, j - i);
    i = j;
    after_value = true;

    // r*c: the value c (or a null value when c is empty) for the next r items.
    std::int64_t times = 1;
    if (const auto star = value.find('*'); star != std::string_view::npos) {
      std::int32_t r = 0;
      if (!to_integer(value.substr(0, star), r) || r < 1 || value[0] == '+')
        return conversion_error();
      times = r;
      value = value.substr(star + 1);
    }
    for (; times > 0 && item < targets.size(); --times, ++item)
      if (!value.empty() && !assign(targets[item], value)) return conversion_error();
  }
  return {};
}

}  // namespace tramel::textio
