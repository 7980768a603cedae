// tramel init DATA [FOLDER]: a complete, commented control file for a data file.
#pragma once

#include <string>

#include "command_line.hpp"

namespace tramel {

// What init says and its exit status: 0 with tramel.cnl written, 1 when the data or the folder
// do not allow one (nothing is written), 2 for a wrong command line.
struct InitOutcome {
  int status = 0;
  std::string out;  // the settings chosen and why, one line each
  std::string err;
};

InitOutcome initialise(const InitOptions& options);

}  // namespace tramel
