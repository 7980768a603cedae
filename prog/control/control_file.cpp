// The control file and its blocks: consecutive 80-column lines, each holding its parameters
// before the comment marker `*`, ended by a line holding `#` or by the block's line limit.
#include <algorithm>

#include "control/control.hpp"

namespace tramel::control {

int ParameterText::line_of(std::size_t position) const {
  int line = 0;
  for (const Part& part : parts) {
    if (part.first > position) break;
    line = part.line;
  }
  return position < text.size() && text[position] != '\0' ? line : 0;
}

std::string ParameterText::lines_text(std::size_t position, bool found) const {
  if (found)
    if (const int line = line_of(position); line > 0) return "tramel.cnl line " + std::to_string(line);
  if (last_line <= first_line) return "tramel.cnl line " + std::to_string(first_line);
  return "tramel.cnl lines " + std::to_string(first_line) + "-" + std::to_string(last_line);
}

int ControlFile::open(const std::string& path) {
  lines_read_ = 0;
  return file_.open(path);
}

void ControlFile::open_text(std::string text) {
  lines_read_ = 0;
  file_.open_text(std::move(text));
}

Block ControlFile::read_block(int max_lines) {
  Block block;
  ParameterText& p = block.parameters;
  p.text.assign(kParameterText, '\0');
  p.first_line = lines_read_ + 1;
  std::size_t used = 0;
  std::string line;
  for (int i = 0; i < max_lines; ++i) {
    if (!file_.read_line(line).ok()) {
      block.end = Block::End::EndOfFile;
      break;
    }
    ++lines_read_;
    if (line.find('#') != std::string::npos) break;
    const std::size_t star = line.find('*');
    if (star == std::string::npos) {
      block.end = Block::End::MissingMarker;
      block.bad_line = line;
      block.bad_line_number = lines_read_;
      break;
    }
    if (line.find('\t') < star) block.lines_with_tabs.push_back(lines_read_);
    // Parts are joined with no separator; what does not fit the text is dropped.
    const std::size_t take = std::min(star, p.text.size() - used);
    if (take > 0) p.parts.push_back(ParameterText::Part{used, lines_read_});
    p.text.replace(used, take, line, 0, take);
    used += take;
  }
  p.last_line = std::max(p.first_line, lines_read_);
  return block;
}

}  // namespace tramel::control
