// placeholder until the subsystem lands
#include "data/data.hpp"
