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
#include "csv/csv.hpp"
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
  std::vector<std::string> series_names;    // from the data, when it names them
  std::optional<csv::TimeAxis> time;  // the data's time axis, when it has one
  std::string time_name;                    // its column's name
  std::string forecast_csv;                 // the forecast as CSV: its file, or empty for none
  bool least_squares_errors = false;
  std::optional<float> fdr_level;  // the models' bins chosen by a false discovery rate (--fdr)
  std::vector<RunResult> runs;
  bool stopped = false;
  std::vector<std::string> stop_lines;  // the stop's message lines
  std::vector<diagnostics::Warning> warnings;
  std::vector<diagnostics::Warning> notes;
};

}  // namespace tramel::results
