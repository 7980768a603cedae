// tramel._tramel: the analysis library and the program, called from Python. The package's
// pure-Python layer (tramel/) gives these calls float32 arrays and checked types; here the
// settings are checked by the library's rules, the library's results are converted (a series'
// results as tramel.json holds them), the GIL is released while the library works, and nothing
// is printed.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstring>
#include <functional>
#include <filesystem>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "csv/csv.hpp"
#include "data/data.hpp"
#include "init/init.hpp"
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
    throw py::value_error("model must be as-specified, changes, levels, smooth or auto, not '" + model + "'");
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
  if (d.contains("transform") && !d["transform"].is_none()) {
    const std::string name = d["transform"].cast<std::string>();
    s.transform = analysis::transform_named(name);
    if (!s.transform) throw py::value_error("transform must be none, log or auto, not '" + name + "'");
  }
  if (d.contains("step_seconds"))
    s.frames_per_week = rules::frames_per_week(d["step_seconds"].cast<double>(), s.frame_length);
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

// The plan of a run of `count` series of `samples` samples: its frames and band, one sample a
// time unit.
control::RunPlan plan_of(const analysis::Settings& s, std::int64_t samples, int count) {
  control::RunPlan p;
  p.run = 1;
  p.series_count = count;
  p.analysis.threshold = s.threshold;
  p.analysis.lags = s.lags;
  p.analysis.frames_ahead = s.frames_ahead;
  p.taper_percent = s.taper_percent;
  p.first_datum = 1;
  p.last_datum = static_cast<std::int32_t>(samples);
  p.spacing = control::SampleSpacing::interval(1.0f);
  p.sample_size = p.last_datum;
  p.frame_length = s.frame_length;
  p.frames = static_cast<std::int32_t>(samples / s.frame_length);
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

// The warnings of a series' result, as the analysis words them.
py::list warnings_of(const analysis::SeriesResult& r, const analysis::Settings& settings) {
  py::list warnings;
  for (const diagnostics::Warning& w : analysis::series_warnings(r, settings, diagnostics::Place{}))
    warnings.append(w.text);
  return warnings;
}

// The lines of a text joined by "; ", without the blanks around them and the empty ones.
std::string joined_lines(const std::string& text) {
  std::string words;
  for (const std::string& line : diagnostics::lines_of(text)) words += (words.empty() ? "" : "; ") + line;
  return words;
}

// The words of a stopped series' stop: the report's lines, joined by "; ".
std::string stop_words(const analysis::SeriesResult& r, const analysis::Settings& settings,
                       std::int64_t samples) {
  textio::Sink lines;
  report::write_series_stop(lines, r, static_cast<std::int32_t>(samples), settings.threshold);
  return joined_lines(lines.text());
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
  const control::RunPlan plan = plan_of(settings, set.samples, set.count);
  py::list out;
  for (const analysis::SeriesResult& r : results) {
    py::dict d;
    d["result"] = json_to_python(output::series_json(plan, r, ""));
    d["warnings"] = warnings_of(r, settings);
    d["stop"] = r.completed() ? py::object(py::none())
                              : py::object(py::str(stop_words(r, settings, set.samples)));
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

// ---- The series of a table, each on its own ---------------------------------------------------

// A series of a table: its values, and for a frame chosen as tramel init chooses it, the rows of
// its time column, one stamp a line as a CSV time column holds them.
struct TableSeries {
  std::vector<float> values;
  std::string stamps;  // empty: the frame of the settings
  double step_seconds = 0.0;  // between its time stamps when they are dates or time spans, else 0
};

// What came of a series of a table: status "ok" and the analysis' result, or the status and
// words of what stopped it; the settings it was analysed with (its frame and band), and the
// samples before its last whole frames, left out so that the forecast follows the data.
struct TableOutcome {
  std::string status = "ok";
  std::string words;
  analysis::Settings settings;
  std::int64_t left_out = 0;
  std::optional<analysis::SeriesResult> result;
};

// Calls body(i) for every i in [0, count) on `threads` threads, each thread taking the next
// index when it is done with one (the series of a table differ in length).
void for_each_taken(std::int64_t count, int threads, const std::function<void(std::int64_t)>& body) {
  std::atomic<std::int64_t> next{0};
  const std::int64_t workers = std::min<std::int64_t>(threads, count);
  parallel::for_chunks(workers, parallel::Threads{static_cast<int>(workers)}, [&](std::int64_t, std::int64_t) {
    for (std::int64_t i = next++; i < count; i = next++) body(i);
  });
}

// The rules a series of a table breaks by its length alone.
bool about_length(rules::Rule rule) {
  using rules::Rule;
  return rule == Rule::DataPresent || rule == Rule::SampleSize || rule == Rule::WholeFrames ||
         rule == Rule::BacktestOrigins;
}

// The settings against the rules that do not depend on a series' length, as for a series of
// 10000 frames (a frame chosen per series is checked with a frame of 12 for now).
void check_table_settings(analysis::Settings settings, bool frame_chosen) {
  if (frame_chosen) {
    settings.frame_length = 12;
    settings.first_bin = 1;
    settings.last_bin = 5;
  }
  const std::int64_t samples = std::min<std::int64_t>(std::int64_t{settings.frame_length} * 10000, INT32_MAX);
  if (const rules::Verdict broken = analysis::check(settings, rules::DataExtent{1, 0, samples}))
    if (!about_length(broken->rule)) throw py::value_error(broken->words);
}

// The frame and band tramel init chooses for a series with these stamps (the calendar's frame
// of its time axis, else the frame search's), read as init reads a CSV file of the time column
// and the values. The words of what prevents it, or nothing; `shortest` becomes the least frame
// length the data must hold (the calendar's frame, when longer than the shortest of all).
std::optional<std::string> choose_frame(const TableSeries& s, analysis::Settings& settings, int& shortest) {
  const std::string name = "series.csv";
  std::string text = "time,value\n";
  text.reserve(s.stamps.size() + s.values.size() * 16 + 16);
  char digits[32];
  std::size_t at = 0;
  for (const float v : s.values) {
    const std::size_t end = std::min(s.stamps.find('\n', at), s.stamps.size());
    text.append(s.stamps, at, end - at);
    text += ',';
    text.append(digits, std::to_chars(digits, digits + sizeof digits, v).ptr);
    text += '\n';
    at = end + 1;
  }
  const auto named = [&](std::string words) {
    for (std::size_t p = words.find(name); p != std::string::npos; p = words.find(name, p))
      words.replace(p, name.size(), "the series");
    return words;
  };
  csv::ReadOptions options;
  options.file_name = name;
  options.expected_columns = 1;
  const csv::Result<csv::Table> table = csv::read_table(text, options);
  if (!table.ok()) return named(table.error->text);
  if (table.value->time)
    shortest = std::max(shortest, init::calendar_frame_length(*table.value->time, settings.model));
  const init::Result<init::Suggestion> chosen = init::suggest(init::request_for(*table.value, name));
  if (!chosen.ok()) return named(chosen.error->text);
  settings.frame_length = chosen.value->settings.frame_length;
  settings.first_bin = chosen.value->settings.first_bin;
  settings.last_bin = chosen.value->settings.last_bin;
  return std::nullopt;
}

// A series' frame (chosen when it has stamps) and the samples before its last whole frames,
// checked by the rules that depend on its length.
void plan_table_series(const TableSeries& s, TableOutcome& o) {
  const auto samples = static_cast<std::int64_t>(s.values.size());
  const auto stop = [&](rules::Rule rule, std::string words) {
    o.status = rule == rules::Rule::SampleSize ? "too long" : "too short";
    o.words = std::move(words);
  };
  if (!s.stamps.empty()) {
    int shortest = rules::kMinimumFrameLength;
    if (std::optional<std::string> problem = choose_frame(s, o.settings, shortest)) {
      if (rules::whole_frames(samples, shortest, o.settings.model))
        return stop(rules::Rule::WholeFrames, *problem);
      o.status = "no frame";
      o.words = *problem;
      return;
    }
  }
  o.settings.frames_per_week = rules::frames_per_week(s.step_seconds, o.settings.frame_length);
  o.left_out = samples % o.settings.frame_length;
  if (const rules::Verdict broken =
          analysis::check(o.settings, rules::DataExtent{1, 0, samples - o.left_out}))
    stop(broken->rule, broken->words);
}

// The analysis of a series of a table on its own, as tramel.analyse analyses it alone.
void analyse_table_series(const TableSeries& s, TableOutcome& o, int threads) {
  const std::span<const float> values = std::span<const float>(s.values).subspan(static_cast<std::size_t>(o.left_out));
  const numeric::FftPlan fft(o.settings.frame_length);
  o.result = analysis::analyse_series(1, analysis::Samples(values.begin(), values.end()), o.settings,
                                      analysis::Context{fft, nullptr, parallel::Threads{threads}},
                                      numeric::ProbabilityFallback{});
  if (o.result->completed()) return;
  o.status = o.result->stop == analysis::SeriesStop::NoSignificantBins ? "no significant bins" : "stopped";
  o.words = stop_words(*o.result, o.settings, static_cast<std::int64_t>(values.size()));
}

// Every series of a table analysed on its own: a series that is too short or stops stops none
// of the others. The series go out over the threads, each whole on one, as many side by side
// as their work space allows (the threads left over work inside them); the numbers of each are
// those of tramel.analyse on it alone. For each series: its status ("ok", "too short", "no
// frame", "no significant bins", "stopped", ...) and words, its frame and band, the samples
// left out before its last whole frames, and from its analysis the model, the forecast, the
// intervals, the warnings and, with a backtest, its scores as tramel.json holds them.
py::list analyse_table(const py::list& table, const py::dict& settings_dict, int threads) {
  const analysis::Settings settings = settings_from(settings_dict);
  std::vector<TableSeries> series;
  for (const py::handle item : table) {
    const auto d = item.cast<py::dict>();
    const auto values = d["values"].cast<FloatRows>();
    TableSeries s{std::vector<float>(values.data(), values.data() + values.size()),
                  d["stamps"].is_none() ? std::string() : d["stamps"].cast<std::string>(),
                  d["step_seconds"].is_none() ? 0.0 : d["step_seconds"].cast<double>()};
    series.push_back(std::move(s));
  }
  check_table_settings(settings, settings.frame_length == 0);
  const auto count = static_cast<std::int64_t>(series.size());
  std::vector<TableOutcome> outcomes(series.size(), TableOutcome{"ok", "", settings, 0, std::nullopt});
  {
    py::gil_scoped_release unlocked;
    const int available = thread_count(threads);
    for_each_taken(count, available, [&](std::int64_t i) { plan_table_series(series[i], outcomes[i]); });
    // Series side by side only as far as the largest of them fit together in memory; a series
    // that does not fit alone stops.
    const analysis::WorkSpace work_space(0);
    std::vector<std::uint64_t> bytes;
    for (std::int64_t i = 0; i < count; ++i) {
      TableOutcome& o = outcomes[i];
      if (o.status != "ok") continue;
      const std::int64_t samples = static_cast<std::int64_t>(series[i].values.size()) - o.left_out;
      bytes.push_back(analysis::WorkSpace::run_bytes(o.settings, analysis::RunSize{samples, 1}));
      if (!work_space.fits(bytes.back())) {
        o.status = "stopped";
        o.words = "its analysis needs " + std::to_string(bytes.back() >> 20) + " MiB, more than the memory available";
        bytes.pop_back();
      }
    }
    std::sort(bytes.begin(), bytes.end(), std::greater<>());
    std::uint64_t together = 0;
    int side_by_side = 0;
    for (; side_by_side < std::min<std::int64_t>(available, std::ssize(bytes)); ++side_by_side) {
      if (!work_space.fits(together + bytes[side_by_side])) break;
      together += bytes[side_by_side];
    }
    side_by_side = std::max(side_by_side, 1);
    const int inside = std::max<std::int64_t>(1, available / std::max<std::int64_t>(1, std::ssize(bytes)));
    for_each_taken(count, side_by_side, [&](std::int64_t i) {
      if (outcomes[i].status != "ok") return;
      try {
        analyse_table_series(series[i], outcomes[i], inside);
      } catch (const std::bad_alloc&) {
        outcomes[i].status = "stopped";
        outcomes[i].words = "there was not enough memory for its analysis";
        outcomes[i].result.reset();
      }
    });
  }
  py::list out;
  for (std::int64_t i = 0; i < count; ++i) {
    const TableOutcome& o = outcomes[i];
    py::dict d;
    d["status"] = o.status;
    d["message"] = o.words;
    const bool framed = o.settings.frame_length > 0;  // not when no frame could be chosen
    d["frame"] = framed ? py::object(py::int_(o.settings.frame_length)) : py::object(py::none());
    d["band"] = framed ? py::object(py::make_tuple(o.settings.first_bin, o.settings.last_bin))
                       : py::object(py::none());
    d["left_out"] = o.left_out;
    d["model"] = py::none();
    d["forecast"] = py::none();
    py::list intervals;
    d["warnings"] = py::list();
    d["backtest"] = py::none();
    if (o.result) {
      const analysis::SeriesResult& r = *o.result;
      d["model"] = std::string(analysis::model_name(r.model));
      d["warnings"] = warnings_of(r, o.settings);
      if (r.completed()) d["forecast"] = array(r.forecast);
      for (const forecast::ForecastInterval& interval : r.intervals)
        intervals.append(py::make_tuple(interval.level, array(interval.lower), array(interval.upper)));
      if (r.backtest) {
        const std::int64_t samples = static_cast<std::int64_t>(series[i].values.size()) - o.left_out;
        d["backtest"] = json_to_python(output::series_json(plan_of(o.settings, samples, 1), r, "")["backtest"]);
      }
    }
    d["intervals"] = intervals;
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
    const std::string words = joined_lines(stop.console.empty() ? stop.message.text : stop.console);
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
  m.def("default_last_bin", &tramel::rules::default_last_bin, py::arg("frame_length"));
  m.def("analyse", &analyse, py::arg("values"), py::arg("settings"), py::arg("threads"));
  m.def("backtest_origins", &backtest_origins, py::arg("values"), py::arg("settings"),
        py::arg("first_origin"), py::arg("origins"), py::arg("threads"));
  m.def("analyse_table", &analyse_table, py::arg("series"), py::arg("settings"), py::arg("threads"));
  m.def("run", &run, py::arg("options"));
  m.def("read_data", &read_data, py::arg("path"), py::arg("series"));
}
