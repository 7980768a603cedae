// The module's work on the library: a set of series analysed as the program analyses the
// series of a run, the check of its values, the words of a series' stop, and the forecasts of
// every origin of a backtest. No Python here.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/analysis.hpp"
#include "backtest/backtest.hpp"
#include "forecast/forecast.hpp"

namespace tramel::python {

// Series of equal length side by side, series-major: series j's samples are
// values[j * samples .. (j + 1) * samples - 1].
struct SeriesSet {
  int count = 0;
  std::int64_t samples = 0;
  std::vector<float> values;

  std::span<const float> series(int j) const {
    return std::span<const float>(values).subspan(static_cast<std::size_t>(j * samples),
                                                  static_cast<std::size_t>(samples));
  }
};

// The first value of the set that is not finite, if any.
struct BadValue {
  int series = 0;         // from 0
  std::int64_t index = 0;  // from 0, in the series
  bool not_a_number = false;  // NaN; otherwise infinite
};
std::optional<BadValue> first_bad_value(const SeriesSet& set);

// Every series of the set analysed as the program analyses a run's series (analysis::
// analyse_run) over `threads`, in the memory available. Nothing after a series that stops: it
// is then the last result. Throws std::bad_alloc when the set does not fit in memory.
std::vector<analysis::SeriesResult> analyse_set(const SeriesSet& set,
                                                const analysis::Settings& settings, int threads);

// The lines of a series' stop as the report words them, joined by "; ".
std::string stop_text(const analysis::SeriesResult& result, const analysis::Settings& settings,
                      std::int64_t samples);

// The forecasts at one origin of a backtest, from the frames before it.
struct OriginForecasts {
  int origin = 0;                   // frames before it
  std::vector<float> as_specified;  // empty where the specified forecast stops
  forecast::ModelRun changes;
  forecast::ModelRun levels;
  std::vector<forecast::ForecastInterval> changes_intervals;
  std::vector<forecast::ForecastInterval> levels_intervals;
};

// The origins first_origin .. first_origin + origins - 1 of a series, shared out over
// `threads` (each origin's numbers as on one thread).
std::vector<OriginForecasts> origin_forecasts(std::span<const float> values,
                                              const analysis::Settings& settings, int first_origin,
                                              int origins, int threads);

}  // namespace tramel::python
