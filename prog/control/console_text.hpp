// Private to run control: how the console names the control file's lines.
#pragma once

#include <string>
#include <string_view>

namespace tramel::control {

// The text with every occurrence of `internal` (the names the report's messages give the
// control file) replaced by `lines` ("tramel.cnl line 4").
inline std::string naming_lines(std::string text, std::string_view internal,
                                const std::string& lines) {
  for (std::size_t at = text.find(internal); at != std::string::npos;
       at = text.find(internal, at + lines.size()))
    text.replace(at, internal.size(), lines);
  return text;
}

}  // namespace tramel::control
