// The main program: one whole invocation, from the control file tramel.cnl in the working
// folder to the report, the forecast file and the console lines.
#pragma once

#include <cstdint>
#include <filesystem>

namespace tramel {

// What the command line may change. The defaults are the program as it always ran: the
// current folder, the report and forecast file only.
struct Options {
  std::filesystem::path folder = ".";  // holds tramel.cnl and the data; gets every output
  bool json = false;                    // also write tramel.json
  bool plot = false;                    // also write a plot per run and series
  int threads = 1;                      // threads the analysis may use
  bool strict = false;                  // exit 3 when the run completes with warnings
  bool least_squares_errors = false;    // ordinary least-squares standard errors
  std::uint64_t memory_limit = 0;       // bytes the work space may take; 0: what is available
};

// The program's version, X.Y.Z.
const char* version();

// Runs the invocation and returns its exit status: 0 after a normal end, 1 after a stop, 3
// after a normal end with warnings under `strict`.
int program(const Options& options = {});

}  // namespace tramel
