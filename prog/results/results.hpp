// The results of an invocation as values: the plan of every run and what the analysis found
// in every series. The main program fills them in; the writers of the machine-readable
// results and of the plots read them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "coherence/coherence.hpp"
#include "control/control.hpp"
#include "data/data.hpp"
#include "forecast/forecast.hpp"

namespace tramel::results {

// Where the analysis of a series ended the program, if it did.
enum class SeriesStop : std::uint8_t {
  None,
  CoherenceWorkSpace,  // no memory for the coherence step
  NoSignificantBins,
  VarTooLarge,         // 4 m^2 p above a tenth of the sample size
  VarWorkSpace,        // no memory for the VAR of this series
  FitWorkSpace,        // no memory for the fit's normal matrix
  NotPositiveDefinite,
};

struct SeriesResult {
  int series = 0;  // from 1
  data::Statistics statistics;
  coherence::Coherence coherence;  // its residual series is released once the VAR has it
  std::vector<coherence::SignificantBin> significant;
  std::int64_t var_size = 0;       // 4 m^2 p
  SeriesStop stop = SeriesStop::None;
  std::optional<forecast::VarFit> fit;
  std::vector<float> forecast;     // the forecast frames, frames_ahead x frame_length samples
  forecast::Eigenvalues eigenvalues;
  std::vector<float> last_frames;  // the last whole frames observed (up to 3), for plots

  bool completed() const { return stop == SeriesStop::None; }
};

struct RunResult {
  control::RunPlan plan;
  std::vector<SeriesResult> series;  // those analysed, in order; the last may have stopped
};

struct InvocationResult {
  std::string data_file;  // the name the control file gives
  std::string title;      // line 1 of the data file, trailing blanks removed
  bool least_squares_errors = false;
  std::vector<RunResult> runs;
  bool stopped = false;
  std::vector<std::string> stop_lines;  // the stop's message lines
  std::vector<std::string> warnings;
};

}  // namespace tramel::results
