#include "diagnostics/diagnostics.hpp"

namespace tramel::diagnostics {

std::string Place::run_and_series() const {
  if (run <= 0) return {};
  std::string s = "run " + std::to_string(run);
  if (series > 0) s += ", series " + std::to_string(series);
  return s;
}

Stop stop_at(Destination to, std::string text, std::string console) {
  Stop s;
  s.message = Message{to, std::move(text)};
  s.console = std::move(console);
  return s;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    line.erase(0, line.find_first_not_of(' '));
    line.erase(line.find_last_not_of(' ') + 1);
    if (!line.empty()) lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

}  // namespace tramel::diagnostics
