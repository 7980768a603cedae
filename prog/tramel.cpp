#include "tramel.hpp"

#include "control/control.hpp"

namespace tramel {

int program() { return 0; }

}  // namespace tramel
