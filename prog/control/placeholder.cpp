// placeholder until the subsystem lands
#include "control/control.hpp"
