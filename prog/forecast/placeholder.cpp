// placeholder until the subsystem lands
#include "forecast/forecast.hpp"
