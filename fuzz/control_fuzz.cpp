// Fuzz target: the control-file block reader and the keyword readers on arbitrary control
// text. The global block is read and every global keyword looked up in it, then run blocks
// until the text ends, each with every run keyword; the digit conversion gets arbitrary
// slices of the text as well.
#include <cstddef>
#include <cstdint>
#include <string>

#include "control/control.hpp"

namespace {

using namespace tramel;
using control::kSeparator;

void global_keywords(const std::string& text, textio::Sink& unit) {
  int pos = 0;
  int ier = 0;
  control::numread("uns", text, kSeparator, pos, ier, unit);
  control::numread("ta/file", text, kSeparator, pos, ier, unit);
  control::charead("ile name", text, kSeparator, pos, ier);
  control::rnumread("bility", text, kSeparator, pos, ier, unit);
  control::numread("ames", text, kSeparator, pos, ier, unit);
  control::numread("ags", text, kSeparator, pos, ier, unit);
  control::charead("unit", text, kSeparator, pos, ier);
}

void run_keywords(const std::string& text, textio::Sink& unit) {
  int pos = 0;
  int ier = 0;
  for (const char* k : {"wer freq", "per freq", "gest period", "test period", "taper",
                        "ion bandwidth", "ion Bandwidth"}) {
    const float v = control::rnumread(k, text, kSeparator, pos, ier, unit);
    control::round_whole(static_cast<double>(v) * 1000.0);
  }
  control::numread("start", text, kSeparator, pos, ier, unit);
  control::numread("end", text, kSeparator, pos, ier, unit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  control::reset_readers();
  textio::TextFile file;
  file.open_text(input);
  textio::Sink unit;
  std::string text;
  std::string bad_line;
  if (control::read_block(file, 7, text, bad_line) == control::BlockEnd::Complete) {
    global_keywords(text, unit);
    for (int run = 0; run < 64; ++run) {
      if (control::read_block(file, 17, text, bad_line) != control::BlockEnd::Complete) break;
      run_keywords(text, unit);
    }
  }

  // The readers on the raw text as a parameter text of its own, with its first line as the
  // keyword; the digit conversion on every slice of up to 8 characters.
  const std::size_t nl = input.find('\n');
  const std::string keyword = input.substr(0, nl == std::string::npos ? 0 : std::min<std::size_t>(nl, 20));
  std::string raw = input.substr(keyword.size());
  raw.resize(control::kParamText, '\0');
  int pos = 0;
  int ier = 0;
  control::numread(keyword, raw, kSeparator, pos, ier, unit);
  control::rnumread(keyword, raw, kSeparator, pos, ier, unit);
  control::charead(keyword, raw, kSeparator, pos, ier);
  for (std::size_t i = 0; i < input.size() && i < 64; ++i)
    control::number(std::string_view(input).substr(i), static_cast<int>(i % 9));
  return 0;
}
