// The main program: one whole invocation, from tramel.cnl in the working directory to the
// report, the forecast file and the console lines.
#pragma once

namespace tramel {

// Runs the invocation in the current working directory and returns its exit status: 0 after
// a normal end, the status of the stop after a failed check.
int program();

}  // namespace tramel
