// The command line: tramel [OPTIONS] [FOLDER], or tramel init DATA [FOLDER] [OPTIONS].
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "init/init.hpp"
#include "tramel.hpp"

namespace tramel {

// What the command line asks for: the options of a run, or an answer and an exit status (help,
// version, a wrong command line).
struct CommandLine {
  std::optional<Options> options;  // set: run with them
  std::optional<init::InitOptions> init;  // set: write a control file
  int status = 0;                  // otherwise: exit with this status
  std::string out;                 // ... after writing this to standard output
  std::string err;                 // ... and this to standard error
};

CommandLine parse_command_line(int argc, const char* const* argv);

}  // namespace tramel
