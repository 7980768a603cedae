// A parameter text as the control reader holds it: the given text, NUL-padded (or cut) to its
// fixed length.
#pragma once

#include <string>

#include "control/control.hpp"

namespace tramel::control {

inline std::string text_of(const std::string& parts) {
  std::string text = parts;
  text.resize(kParameterText, '\0');
  return text;
}

}  // namespace tramel::control
