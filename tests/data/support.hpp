// Shared helpers of the data tests: expected list-directed lines and report splitting.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tramel::data::testing {

// A list-directed line of a text followed by one integer (I11 after one blank).
inline std::string list_int(const std::string& text, std::int32_t v) {
  std::string digits = std::to_string(v);
  return " " + text + " " + std::string(11 - digits.size(), ' ') + digits;
}

inline std::string pad(std::string s, std::size_t width) {
  s.resize(width, ' ');
  return s;
}

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace tramel::data::testing
