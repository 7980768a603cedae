// The analysis of one series, step by step, and the work space the steps of a run need.
// Part of the main program: tramel.cpp orders the runs and writes the results.
#pragma once

#include <cstdint>
#include <vector>

#include "control/control.hpp"
#include "forecast/forecast.hpp"
#include "numeric/numeric.hpp"
#include "parallel/parallel.hpp"
#include "results/results.hpp"

namespace tramel {

// The memory the work of a run may take, and the bytes it takes.
class WorkSpace {
 public:
  // `limit` in bytes; 0 means the memory the system has available when the run starts.
  explicit WorkSpace(std::uint64_t limit);

  // Bytes of the run's stores: the sample, the forecast frames of every series and the work of
  // one series analysed at a time. Saturates (never fits) on overflow or impossible extents.
  static std::uint64_t run_bytes(const control::RunPlan& plan);
  // Bytes of the work of one series analysed beside the others (its copy of the series and
  // what its steps take), with the largest VAR the sample allows.
  static std::uint64_t series_bytes(const control::RunPlan& plan);
  // Bytes of the labels of label mode.
  static std::uint64_t label_bytes(const control::RunPlan& plan);
  // Bytes of the VAR of one series with `bins` significant bins: its frame coefficients, the
  // fit's normal matrix, coefficients and errors, and the companion matrix.
  static std::uint64_t var_bytes(const control::RunPlan& plan, std::int64_t bins);

  // Whether `bytes` more fit beside what is taken already.
  bool fits(std::uint64_t bytes) const;
  void take(std::uint64_t bytes);

 private:
  std::uint64_t limit_;
  std::uint64_t used_ = 0;
};

// What every series of a run is analysed with.
struct RunContext {
  const control::RunPlan& plan;
  const numeric::FftPlan& fft;  // for the frame length
  forecast::StandardErrors errors = forecast::StandardErrors::Traditional;
  const WorkSpace& work_space;  // with the run's stores taken
  parallel::Threads threads;    // for the work inside one series
};

// How the series of a run are shared out: so many analysed at the same time, each with so
// many threads of its own. Every series gets the same results whatever the schedule.
struct Schedule {
  int series_at_once = 1;
  parallel::Threads per_series;
  bool analyse_ahead = false;  // the next series analysed while the last ones are written
};

// The schedule for `threads` threads: as many series at once as there are threads, as far as
// their work space fits beside the run's stores (fewer when memory is short, one at a time
// when even two do not fit); the threads left over go to the work inside each series.
Schedule schedule_series(const control::RunPlan& plan, int threads, const WorkSpace& work_space);

// The VAR size 4 m^2 p, saturated at the largest 64-bit value when it would overflow.
std::int64_t var_size(std::int64_t bins, std::int64_t lags);

// The analysis of series `series` (from 1) of the run: describe it, find its coherence and
// significant bins, fit the VAR, forecast, take the eigenvalues. Stops early, saying why in
// the result, when a step leaves nothing to go on with. `memory` is the incomplete gamma
// function's carried result.
results::SeriesResult analyse_series(int series, std::vector<float> values,
                                     const RunContext& run, numeric::GammaMemory& memory);

}  // namespace tramel
