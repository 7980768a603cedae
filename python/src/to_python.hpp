// The library's results as Python values, for the package's pure-Python layer to shape
// further. Called with the GIL held.
#pragma once

#include <pybind11/pybind11.h>

#include "output/output.hpp"
#include "series_set.hpp"

namespace tramel::python {

// A value of tramel.json as the Python value json.loads would make of its text: dicts, lists,
// floats (each the double tramel.json holds), ints, bools, strings and None.
pybind11::object json_to_python(const output::Json& value);

// The forecasts at a backtest's origins.
pybind11::list origins_to_python(const std::vector<OriginForecasts>& origins);

}  // namespace tramel::python
