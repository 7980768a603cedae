// Fuzz target: the report formatter. The input's first line is an output format text (a
// FormatError is an allowed outcome), the rest a list of values: one byte of kind, then four
// bytes of an integer or a float, or a byte of length and that many characters of text. The
// values go through the formatted write, the list-directed write and the single edits.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "fuzz_input.hpp"
#include "textio/textio.hpp"

using namespace tramel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::string_view text = in.line();
  std::vector<std::string> texts;
  texts.reserve(16);
  std::vector<textio::Item> items;
  while (!in.empty() && items.size() < 16) {
    switch (in.byte() % 3) {
      case 0:
        items.emplace_back(static_cast<std::int32_t>(in.u32()));
        break;
      case 1: {
        const std::uint32_t bits = in.u32();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        items.emplace_back(v);
        break;
      }
      default:
        texts.emplace_back(in.take(in.byte()));
        items.emplace_back(texts.back());
        break;
    }
  }

  textio::Sink sink;
  try {
    const textio::Format format = textio::Format::compile(text);
    // What compiles passes the check the program's own formats get when it is built.
    if (!format::is_output_format(text)) __builtin_trap();
    textio::write(sink, format, std::span<const textio::Item>(items));
  } catch (const textio::FormatError&) {
    // a text that is no format, or values that do not fit its descriptors
  }
  textio::list(sink, std::span<const textio::Item>(items));

  // Single edits with widths and digit counts taken from the values themselves.
  std::string field;
  for (const textio::Item& item : items) {
    const int w = static_cast<int>(field.size() % 1100) - 5;
    const int d = static_cast<int>(items.size() * 7 % 40);
    switch (item.kind()) {
      case textio::Item::Kind::Integer:
        format::edit_i(field, item.integer(), (item.integer() & 0x7ff) - 8);
        break;
      case textio::Item::Kind::Real:
        format::edit_f(field, item.real(), w, d);
        format::edit_g(field, item.real(), w % 30, d % 12);
        break;
      case textio::Item::Kind::Text:
        format::edit_a(field, item.text(), w);
        break;
    }
  }
  return 0;
}
