// The library's results as Python values: dictionaries, lists and numpy arrays, for the
// package's pure-Python layer to shape further. Called with the GIL held.
#pragma once

#include <pybind11/pybind11.h>

#include "analysis/analysis.hpp"
#include "series_set.hpp"

namespace tramel::python {

// One series' result: its statistics, coherence, model, coefficients, eigenvalues, forecast and
// intervals, backtest scores, warnings and, when it stopped, the stop's words.
pybind11::dict series_to_python(const analysis::SeriesResult& result,
                                const analysis::Settings& settings, std::int64_t samples);

// The forecasts at a backtest's origins.
pybind11::list origins_to_python(const std::vector<OriginForecasts>& origins);

}  // namespace tramel::python
