// placeholder until the subsystem lands
#include "textio/textio.hpp"
