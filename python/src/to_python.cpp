// The library's results as Python values: a series' results as tramel.json holds them, and the
// forecasts at a backtest's origins (single-precision values as float32 arrays).
#include "to_python.hpp"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <string>

namespace tramel::python {

namespace py = pybind11;

namespace {

template <class T>
py::array_t<T> array(const std::vector<T>& v) {
  return py::array_t<T>(static_cast<py::ssize_t>(v.size()), v.data());
}

py::list intervals(const std::vector<forecast::ForecastInterval>& list) {
  py::list out;
  for (const forecast::ForecastInterval& i : list)
    out.append(py::make_tuple(i.level, array(i.lower), array(i.upper)));
  return out;
}

}  // namespace

py::object json_to_python(const output::Json& j) {
  using Type = output::Json::value_t;
  switch (j.type()) {
    case Type::boolean:
      return py::bool_(j.get<bool>());
    case Type::number_integer:
      return py::int_(j.get<std::int64_t>());
    case Type::number_unsigned:
      return py::int_(j.get<std::uint64_t>());
    case Type::number_float:
      return py::float_(j.get<double>());
    case Type::string:
      return py::str(j.get_ref<const std::string&>());
    case Type::array: {
      py::list list;
      for (const output::Json& item : j) list.append(json_to_python(item));
      return list;
    }
    case Type::object: {
      py::dict dict;
      for (const auto& [key, value] : j.items()) dict[py::str(key)] = json_to_python(value);
      return dict;
    }
    default:
      return py::none();
  }
}

py::list origins_to_python(const std::vector<OriginForecasts>& origins) {
  py::list out;
  const auto frames = [](const forecast::ModelRun& run) {
    return run.forecast ? py::object(array(run.forecast->frames)) : py::object(py::none());
  };
  for (const OriginForecasts& o : origins) {
    py::dict d;
    d["origin"] = o.origin;
    d["as-specified"] = o.as_specified.empty() ? py::object(py::none()) : py::object(array(o.as_specified));
    d["changes"] = frames(o.changes);
    d["levels"] = frames(o.levels);
    d["changes_intervals"] = intervals(o.changes_intervals);
    d["levels_intervals"] = intervals(o.levels_intervals);
    out.append(d);
  }
  return out;
}

}  // namespace tramel::python
