// placeholder until the subsystem lands
#include "numeric/numeric.hpp"
