// The main program: one whole invocation, from the control file tramel.cnl in the working
// folder to the report, the forecast file and the console lines.
#pragma once

#include "invocation/invocation.hpp"

namespace tramel {

using invocation::Options;
using invocation::version;

// Runs the invocation and returns its exit status: 0 after a normal end, 1 after a stop, 3
// after a normal end with warnings under `strict`.
int program(const Options& options = {});

}  // namespace tramel
