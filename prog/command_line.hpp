// The command line: tramel [OPTIONS] [FOLDER].
#pragma once

#include <optional>
#include <string>

#include "tramel.hpp"

namespace tramel {

// What the command line asks for: the options of a run, or an answer and an exit status (help,
// version, a wrong command line).
struct CommandLine {
  std::optional<Options> options;  // set: run with them
  int status = 0;                  // otherwise: exit with this status
  std::string out;                 // ... after writing this to standard output
  std::string err;                 // ... and this to standard error
};

CommandLine parse_command_line(int argc, const char* const* argv);

}  // namespace tramel
