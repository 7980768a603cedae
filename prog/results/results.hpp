// The results of an invocation as values: the plan of every run and what the analysis found
// in every series. The main program fills them in; the writers of the machine-readable
// results and of the plots read them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "control/control.hpp"
#include "diagnostics/diagnostics.hpp"

namespace tramel::results {

using analysis::SeriesResult;
using analysis::SeriesStop;

struct RunResult {
  control::RunPlan plan;
  std::vector<analysis::SeriesResult> series;  // those analysed, in order; the last may have stopped
};

struct InvocationResult {
  std::string data_file;  // the name the control file gives
  std::string title;      // line 1 of the data file, trailing blanks removed
  bool least_squares_errors = false;
  std::vector<RunResult> runs;
  bool stopped = false;
  std::vector<std::string> stop_lines;  // the stop's message lines
  std::vector<diagnostics::Warning> warnings;
};

}  // namespace tramel::results
