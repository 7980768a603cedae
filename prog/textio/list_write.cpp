// List-directed write: the one-line free form of the short messages.
//
// " Coherence threshold    1.00000000     is out in unit interval": a blank column, texts
// as they are (nothing between two texts), one blank before a number that follows a text,
// integers as I11, reals as G16.9 when zero or 0.1 <= |x| < 1e9 and otherwise as 1PE15.8.
// The line is never continued, however long.
#include <charconv>
#include <cmath>

#include "textio/textio.hpp"

namespace tramel::textio {

namespace {

// One digit, the point, 8 digits and a two-digit exponent, right-justified in 15 columns:
// 0.01 (single) gives " 9.99999978E-03".
void exponent_1p(std::string& dst, float value) {
  char buf[48];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 8);
  const std::string_view sci(buf, static_cast<std::size_t>(end - buf));
  const std::size_t e_at = sci.find('e');
  const std::size_t len = std::signbit(value) + sci.size();
  if (len < 15) dst.append(15 - len, ' ');
  if (std::signbit(value)) dst.push_back('-');
  dst.append(sci.substr(0, e_at));
  dst.push_back('E');
  dst.append(sci.substr(e_at + 1));
}

void real(std::string& dst, float value) {
  const double a = std::fabs(static_cast<double>(value));
  if (!std::isfinite(value) || value == 0 || (a >= 0.1 && a < 1e9)) {
    format::edit_g(dst, value, 16, 9);
  } else {
    exponent_1p(dst, value);
  }
}

}  // namespace

void list(Sink& out, std::span<const Item> items) {
  std::string& buf = out.pending();
  if (!items.empty()) {
    buf.push_back(' ');
    bool after_text = false;
    for (const Item& item : items) {
      switch (item.kind()) {
        case Item::Kind::Text:
          buf.append(item.text());
          after_text = true;
          continue;
        case Item::Kind::Integer:
          if (after_text) buf.push_back(' ');
          format::edit_i(buf, item.integer(), 11);
          break;
        case Item::Kind::Real:
          if (after_text) buf.push_back(' ');
          real(buf, item.real());
          break;
      }
      after_text = false;
    }
  }
  buf.push_back('\n');  // no items: an empty line
  out.commit();
}

}  // namespace tramel::textio
