// tramel._tramel: the analysis library and the program, called from Python. The package's
// pure-Python layer (tramel/) gives these calls float32 arrays and checked types; here the
// settings are checked by the library's rules, the library's results are converted (a series'
// results as tramel.json holds them), the GIL is released while the library works, and nothing
// is printed.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "data/data.hpp"
#include "output/output.hpp"
#include "parallel/parallel.hpp"
#include "report/report.hpp"
#include "tramel.hpp"

namespace py = pybind11;

namespace tramel::python {

namespace {

using FloatRows = py::array_t<float, py::array::c_style | py::array::forcecast>;

// ---- Conversions -----------------------------------------------------------------------------

analysis::Model model_from(const py::dict& d) {
  const std::string model = d["model"].cast<std::string>();
  const std::optional<analysis::Model> m = analysis::model_named(model);
  if (!m)
    throw py::value_error("model must be as-specified, changes, levels or auto, not '" + model + "'");
  return *m;
}

// The analysis settings from the package's dictionary.
analysis::Settings settings_from(const py::dict& d) {
  analysis::Settings s;
  s.frame_length = d["frame_length"].cast<int>();
  s.first_bin = d["first_bin"].cast<int>();
  s.last_bin = d["last_bin"].cast<int>();
  s.taper_percent = d["taper_percent"].cast<float>();
  s.threshold = d["threshold"].cast<float>();
  s.lags = d["lags"].cast<int>();
  s.frames_ahead = d["frames_ahead"].cast<int>();
  s.errors = d["least_squares_errors"].cast<bool>() ? forecast::StandardErrors::LeastSquares
                                                    : forecast::StandardErrors::Traditional;
  s.model = model_from(d);
  s.interval_levels = d["interval_levels"].cast<std::vector<float>>();
  s.backtest = d["backtest"].cast<bool>();
  s.backtest_origins = d["backtest_origins"].cast<int>();
  return s;
}

int thread_count(int threads) { return threads > 0 ? threads : parallel::available_threads(); }

// Series of equal length side by side, from rows of float32 (one series a row). The package
// has refused values that are not finite, naming the first by its index label.
struct SeriesSet {
  explicit SeriesSet(const FloatRows& rows) {
    if (rows.ndim() != 2) throw py::value_error("the values must be one series a row");
    count = static_cast<int>(rows.shape(0));
    samples = rows.shape(1);
    values.assign(rows.data(), rows.data() + rows.size());
    if (count < 1) throw py::value_error("no series to analyse");
  }
  std::span<const float> series(int j) const {
    return std::span<const float>(values).subspan(static_cast<std::size_t>(j * samples),
                                                  static_cast<std::size_t>(samples));
  }
  int count = 0;
  std::int64_t samples = 0;
  std::vector<float> values;
};

// The plan of a run over the set: its frames and band, one sample a time unit.
control::RunPlan plan_of(const analysis::Settings& s, const SeriesSet& set) {
  control::RunPlan p;
  p.run = 1;
  p.series_count = set.count;
  p.analysis.threshold = s.threshold;
  p.analysis.lags = s.lags;
  p.analysis.frames_ahead = s.frames_ahead;
  p.taper_percent = s.taper_percent;
  p.first_datum = 1;
  p.last_datum = static_cast<std::int32_t>(set.samples);
  p.spacing = control::SampleSpacing::interval(1.0f);
  p.sample_size = p.last_datum;
  p.frame_length = s.frame_length;
  p.frames = static_cast<std::int32_t>(set.samples / s.frame_length);
  p.first_bin = s.first_bin;
  p.last_bin = s.last_bin;
  return p;
}

// A value of tramel.json as the Python value json.loads would make of its text: dicts, lists,
// floats (each the double tramel.json holds), ints, bools, strings and None.
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

template <class T>
py::array_t<T> array(const std::vector<T>& v) {
  return py::array_t<T>(static_cast<py::ssize_t>(v.size()), v.data());
}

// ---- The calls -------------------------------------------------------------------------------

// The settings against every rule of a run's settings, the set's series being the sample.
void check(const analysis::Settings& settings, const SeriesSet& set) {
  if (const rules::Verdict broken = analysis::check(settings, rules::DataExtent{1, 0, set.samples}))
    throw py::value_error(broken->words);
}

// Every series of the set analysed as the program analyses a run's series, in the memory
// available: each series' results as tramel.json holds them, its warnings, and the words of its
// stop (the report's lines joined by "; "). Nothing after a series that stops.
py::list analyse(const FloatRows& rows, const py::dict& settings_dict, int threads) {
  const analysis::Settings settings = settings_from(settings_dict);
  const SeriesSet set(rows);
  check(settings, set);
  const analysis::RunSize size{set.samples, set.count};
  std::vector<analysis::SeriesResult> results;
  {
    py::gil_scoped_release unlocked;
    analysis::WorkSpace work_space(0);
    const std::uint64_t run_bytes = analysis::WorkSpace::run_bytes(settings, size);
    if (!work_space.fits(run_bytes)) throw std::bad_alloc();
    work_space.take(run_bytes);
    const auto samples_of = [&](int j) {
      const std::span<const float> s = set.series(j);
      return analysis::Samples(s.begin(), s.end(), work_space.store());
    };
    analysis::analyse_run(
        analysis::RunRequest{settings, size, thread_count(threads), work_space, samples_of, {}},
        [&](analysis::SeriesResult& r) { results.push_back(std::move(r)); });
  }
  const control::RunPlan plan = plan_of(settings, set);
  py::list out;
  for (const analysis::SeriesResult& r : results) {
    py::dict d;
    d["result"] = json_to_python(output::series_json(plan, r, ""));
    py::list warnings;
    for (const diagnostics::Warning& w : analysis::series_warnings(r, settings, diagnostics::Place{}))
      warnings.append(w.text);
    d["warnings"] = warnings;
    std::string stop;
    if (!r.completed()) {
      textio::Sink lines;
      report::write_series_stop(lines, r, plan.sample_size, settings.threshold);
      for (const std::string& line : diagnostics::lines_of(lines.text()))
        stop += (stop.empty() ? "" : "; ") + line;
    }
    d["stop"] = r.completed() ? py::object(py::none()) : py::object(py::str(stop));
    out.append(d);
  }
  return out;
}

// The forecasts at the origins first_origin .. first_origin + origins - 1 of one series, from
// the frames before each, shared out over the threads (each origin's numbers as on one thread).
py::list backtest_origins(const FloatRows& rows, const py::dict& settings_dict, int first_origin,
                          int origins, int threads) {
  const analysis::Settings settings = settings_from(settings_dict);
  const SeriesSet set(rows);
  if (set.count != 1) throw py::value_error("one series at a time");
  check(settings, set);
  const std::int64_t frames = set.samples / settings.frame_length;
  if (first_origin < backtest::kMinimumFrames || origins < 0 || first_origin + origins > frames)
    throw py::value_error("the origins " + std::to_string(first_origin) + " to " +
                          std::to_string(first_origin + origins - 1) + " are not inside " +
                          std::to_string(backtest::kMinimumFrames) + " to " + std::to_string(frames - 1));
  std::vector<backtest::OriginAnalysis> at(static_cast<std::size_t>(origins));
  {
    py::gil_scoped_release unlocked;
    const numeric::FftPlan fft(settings.frame_length);
    const backtest::Settings b = analysis::backtest_settings(settings);
    const parallel::Threads shared{thread_count(threads)};
    const backtest::SeriesFrames series = backtest::transform_series(set.series(0), b, fft, shared);
    parallel::for_each_index(origins, shared, [&](std::int64_t i) {
      at[i] = backtest::analyse_origin(series, first_origin + static_cast<int>(i), b, fft);
    });
  }
  const auto frames_of = [](const forecast::ModelRun& run) {
    return run.forecast ? py::object(array(run.forecast->frames)) : py::object(py::none());
  };
  const auto intervals_of = [&](const forecast::ModelRun& run) {
    py::list list;
    if (run.forecast)
      for (const forecast::ForecastInterval& i :
           forecast::forecast_intervals(*run.forecast, settings.interval_levels))
        list.append(py::make_tuple(i.level, array(i.lower), array(i.upper)));
    return list;
  };
  py::list out;
  for (const backtest::OriginAnalysis& a : at) {
    py::dict d;
    d["origin"] = a.origin;
    d["as-specified"] = a.as_specified.empty() ? py::object(py::none()) : py::object(array(a.as_specified));
    d["changes"] = frames_of(a.changes);
    d["levels"] = frames_of(a.levels);
    d["changes_intervals"] = intervals_of(a.changes);
    d["levels_intervals"] = intervals_of(a.levels);
    out.append(d);
  }
  return out;
}

// The program on a folder: its exit status, standard output and error, and tramel.json's text.
py::tuple run(const py::dict& d) {
  invocation::Options o;
  o.folder = d["folder"].cast<std::string>();
  o.json = d["json"].cast<bool>();
  o.plot = d["plot"].cast<bool>();
  o.threads = thread_count(d["threads"].cast<int>());
  o.strict = d["strict"].cast<bool>();
  o.least_squares_errors = d["least_squares_errors"].cast<bool>();
  // No model asked for: the data's default, as the command line has it.
  o.model_by_default = d["model"].is_none();
  o.model = o.model_by_default ? invocation::default_model(o.folder) : model_from(d);
  o.interval_levels = d["interval_levels"].cast<std::vector<float>>();
  o.backtest_origins = d["backtest_origins"].cast<int>();
  // As the command line: the options against the rules before anything is read (0 origins:
  // no backtest).
  if (const rules::Verdict broken = rules::model_options(
          {o.model, o.interval_levels, o.backtest_origins != 0, o.backtest_origins}))
    throw py::value_error(broken->words);
  o.csv = d["csv"].cast<bool>() || !o.interval_levels.empty();  // as --intervals does
  Captured c;
  {
    py::gil_scoped_release unlocked;
    c = program_in_memory(o);
  }
  return py::make_tuple(c.status, c.out, c.err, c.json);
}

// The data of a data file as the program reads them: the head, and the values of every datum
// for `series` series (one series a row).
py::dict read_data(const std::string& path, int series) {
  if (series < 1) throw py::value_error("series must be 1 or more, not " + std::to_string(series));
  data::OpenedSource opened =
      data::open_data_source(data::SourceRequest{path, std::filesystem::path(path).filename().string(),
                                                 series, parallel::Threads{}});
  if (!opened.source) {
    errno = opened.error;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
    throw py::error_already_set();
  }
  const auto failure = [](const diagnostics::Stop& stop) {
    const std::string& text = stop.console.empty() ? stop.message.text : stop.console;
    std::string words;
    for (const std::string& line : diagnostics::lines_of(text)) words += (words.empty() ? "" : "; ") + line;
    return py::value_error(words.empty() ? "the data cannot be read" : words);
  };
  data::HeadOutcome head = opened.source->read_head();
  if (head.head.failed()) {
    if (head.head.stop) throw failure(*head.head.stop);
    throw py::value_error("the head of the data cannot be read");
  }
  const data::DataHead& h = *head.head.value;
  diagnostics::Outcome<data::Sample> read;
  {
    py::gil_scoped_release unlocked;
    read = opened.source->read_sample(data::SampleRequest{1, h.count, series}, data::ReadWork{});
  }
  if (read.failed()) {
    if (read.stop) throw failure(*read.stop);
    throw py::value_error("the data cannot be read");
  }
  const data::Sample& sample = *read.value;
  py::array_t<float> values({static_cast<py::ssize_t>(series), static_cast<py::ssize_t>(sample.size)});
  float* out = values.mutable_data();
  for (int j = 0; j < series; ++j)
    for (std::int32_t i = 0; i < sample.size; ++i)
      out[static_cast<std::size_t>(j) * sample.size + i] =
          sample.values[static_cast<std::size_t>(i) * series + j];
  py::dict d;
  d["title"] = head.title ? py::object(py::str(*head.title)) : py::object(py::none());
  d["count"] = h.count;
  d["rate"] = h.rate;
  d["format"] = h.format_text;
  std::vector<std::string> names;
  for (int j = 0; j < series; ++j) names.push_back(h.series_name(j));
  d["names"] = names;
  d["values"] = values;
  d["early_end"] = sample.early_end ? py::object(py::make_tuple(sample.early_end->datum,
                                                                sample.early_end->zero_values))
                                    : py::object(py::none());
  return d;
}

}  // namespace

}  // namespace tramel::python

PYBIND11_MODULE(_tramel, m) {
  using namespace tramel::python;
  m.doc() = "The tramel analysis library and program; use the package tramel, which wraps it.";
  m.attr("version") = tramel::version();
  m.def("available_threads", &tramel::parallel::available_threads);
  m.def("analyse", &analyse, py::arg("values"), py::arg("settings"), py::arg("threads"));
  m.def("backtest_origins", &backtest_origins, py::arg("values"), py::arg("settings"),
        py::arg("first_origin"), py::arg("origins"), py::arg("threads"));
  m.def("run", &run, py::arg("options"));
  m.def("read_data", &read_data, py::arg("path"), py::arg("series"));
}
