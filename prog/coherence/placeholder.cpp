// placeholder until the subsystem lands
#include "coherence/coherence.hpp"
