// The message of a format that does not parse.
#include "format/format.hpp"

namespace tramel::format {

std::string describe(const Edit& error, std::string_view text) {
  std::string message = "format error at column ";
  message.append(std::to_string(error.column));
  message.append(": ");
  message.append(error.error != nullptr ? error.error : "not a format");
  if (error.limit > 0) {
    message.push_back(' ');
    message.append(std::to_string(error.limit));
  }
  message.append(" in \"");
  message.append(text);
  message.push_back('"');
  return message;
}

}  // namespace tramel::format
