// A control-file block: consecutive 80-column lines, each holding its parameters before the
// comment marker `*`, ended by a line holding `#` or by the block's line limit.
#include <algorithm>

#include "control/control.hpp"

namespace tramel::control {

BlockEnd read_block(textio::TextFile& control, int max_lines, std::string& text,
                    std::string& bad_line) {
  // Positions after the last contribution hold NUL, which is neither a blank nor part of
  // any keyword.
  text.assign(kParamText, '\0');
  std::size_t used = 0;
  std::string line;
  for (int i = 0; i < max_lines; ++i) {
    if (!control.read_line(line).ok()) return BlockEnd::EndOfFile;
    if (line.find('#') != std::string::npos) return BlockEnd::Complete;
    const std::size_t star = line.find('*');
    if (star == std::string::npos) {
      bad_line = line;
      return BlockEnd::MissingMarker;
    }
    // Contributions are joined with no separator; what does not fit the text is dropped.
    const std::size_t take = std::min(star, text.size() - used);
    text.replace(used, take, line, 0, take);
    used += take;
  }
  return BlockEnd::Complete;
}

}  // namespace tramel::control
