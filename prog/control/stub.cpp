// Stand-in until run control lands. Deleted with its arrival.
#include "control/control.hpp"
namespace tramel::control {}
