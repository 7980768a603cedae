// The main program: one whole invocation, from the control file tramel.cnl in the working
// folder to the report, the forecast file and the console lines.
#pragma once

#include <string>

#include "invocation/invocation.hpp"

namespace tramel {

using invocation::Options;
using invocation::version;

// Runs the invocation and returns its exit status: 0 after a normal end, 1 after a stop, 3
// after a normal end with warnings under `strict`.
int program(const Options& options = {});

// An invocation run in-process: its exit status, what it would have printed on standard output
// and standard error, and the text of tramel.json.
struct Captured {
  int status = 0;
  std::string out;
  std::string err;
  std::string json;
};

// The same invocation as program(), with its console lines kept in memory instead of printed
// and tramel.json's text made whether or not `options.json` asks for the file; the report, the
// forecast file and the files the options ask for are written as usual.
Captured program_in_memory(const Options& options);

}  // namespace tramel
