// The command line: tramel [OPTIONS] [FOLDER], or tramel init DATA [FOLDER] [OPTIONS].
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tramel.hpp"

namespace tramel {

// What the command line asks for: the options of a run, or an answer and an exit status (help,
// version, a wrong command line).
// What `tramel init` is asked for: a control file for a data file.
struct InitOptions {
  std::filesystem::path data;           // the data file
  std::filesystem::path folder = ".";   // where tramel.cnl goes: the data file's folder by default
  int frame_length = 0;                 // --frame; 0: chosen
  std::optional<double> sampling;       // --sampling: a rate in Hz, or with --unit an interval
  std::string unit;                     // --unit: the time unit of the interval
  int series_count = 1;                 // --series: the series in a two-line data file
  bool force = false;                   // --force: overwrite tramel.cnl
};

struct CommandLine {
  std::optional<Options> options;  // set: run with them
  std::optional<InitOptions> init;  // set: write a control file
  int status = 0;                  // otherwise: exit with this status
  std::string out;                 // ... after writing this to standard output
  std::string err;                 // ... and this to standard error
};

CommandLine parse_command_line(int argc, const char* const* argv);

}  // namespace tramel
