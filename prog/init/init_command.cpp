// tramel init: a control file for a data file, with the settings chosen from the data and the
// reason for each, said on the console.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "csv/csv.hpp"
#include "data/data.hpp"
#include "init/init.hpp"

namespace tramel::init {

namespace {

struct InitFailure {
  int status;
  std::string text;
};

// The data of the file, read as the program reads them, as a request for settings.
struct Data {
  InitRequest request;
  std::vector<float> values;  // row after row
  bool delimited = false;
  bool own_rate = false;  // the data give a rate of their own: line 2, or a time column
};

Data read_data(const InitOptions& o, const std::string& name) {
  Data d;
  const std::string path = o.data.string();
  d.delimited = csv::is_delimited_name(name);
  if (o.time_unit && !d.delimited)
    throw InitFailure{2, "init: --time-unit is for CSV data with a time column of numbers; " + name +
                             " is in the two-line layout"};
  // Delimited text takes any number of columns; the two-line layout reads --series of them.
  data::OpenedSource opened = data::open_data_source(
      data::SourceRequest{path, name, d.delimited ? 0 : o.series_count, parallel::Threads{}, o.time_unit});
  if (!opened.source) throw InitFailure{1, "cannot open " + path + ": " + std::strerror(opened.error)};
  data::HeadOutcome head = opened.source->read_head();
  if (head.head.failed()) {
    if (!d.delimited || !head.head.stop)
      throw InitFailure{1, name + ": its first two lines are not a title and the count, rate and "
                               "record format (or give the data as CSV)"};
    const diagnostics::Stop& stop = *head.head.stop;
    std::string words = stop.console.empty() ? stop.message.text : stop.console;
    while (!words.empty() && words.back() == '\n') words.pop_back();
    throw InitFailure{1, words};
  }
  const data::DataHead h = *head.head.value;
  const int series = d.delimited ? h.columns : o.series_count;
  diagnostics::Outcome<data::Sample> sample =
      opened.source->read_sample(data::SampleRequest{1, h.count, series}, data::ReadWork{});
  if (sample.failed() || sample.value->early_end)
    throw InitFailure{1, name + ": its " + std::to_string(h.count) + " data of " + std::to_string(series) +
                             " series cannot all be read (give --series M for M series)"};
  d.values.assign(sample.value->values.begin(), sample.value->values.end());
  d.request.data_file = name;
  d.request.series_count = series;
  d.request.count = h.count;
  d.request.keep_sampling = d.delimited;
  d.request.model = rules::default_model(d.delimited);
  d.request.frame_range = o.frame_range;
  d.own_rate = !d.delimited || h.time.has_value();
  if (o.sampling) {
    d.request.sampling = o.unit.empty() ? Sampling::of_rate(*o.sampling) : Sampling::of_interval(*o.sampling, o.unit);
  } else if (h.time) {
    d.request.sampling = Sampling::of_axis(*h.time);
  } else if (d.delimited) {
    throw InitFailure{1, name + " has no time column: give --sampling X (a rate in Hz, or with "
                             "--unit UNIT the interval in that unit)"};
  } else {
    d.request.sampling = o.unit.empty() ? Sampling::of_rate(h.rate) : Sampling::of_interval(h.rate, o.unit);
  }
  d.request.values = d.values;
  d.request.frame_length = o.frame_length;
  return d;
}

// A word as a shell reads it back: as it is when it holds nothing the shell would take apart,
// else in single quotes.
std::string shell_word(const std::string& w) {
  const bool plain = !w.empty() && w.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                       "0123456789_./-+=:,@%") == std::string::npos;
  if (plain) return w;
  std::string q = "'";
  for (const char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// The command that runs the control file just written, as the program was invoked, with what
// the run needs that the control file cannot hold.
std::string run_command(const InitOptions& o, const Data& d) {
  // CSV data run auto by default; the two-line layout is asked for it.
  std::string c = shell_word(o.program) + (d.request.model == rules::Model::Auto ? "" : " --model auto") +
                  (o.plots ? " --plot" : "");
  if (o.time_unit) c += " --time-unit " + std::string(o.time_unit->name);
  if (o.sampling && d.own_rate) {
    // The data's own rate (line 2 of the two-line layout, a time column) is the run's unless
    // --sampling replaces it, as it did here; the run reads it as a float.
    char buf[32];
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, static_cast<float>(*o.sampling));
    c += " --sampling " + std::string(buf, r.ptr);
  }
  return c + " " + shell_word(o.folder.string());
}

}  // namespace

InitOutcome initialise(const InitOptions& options) {
  InitOutcome out;
  try {
    const std::string name = options.data.filename().string();
    std::error_code ec;
    if (!std::filesystem::equivalent(options.data.parent_path().empty() ? "." : options.data.parent_path(),
                                     options.folder, ec))
      throw InitFailure{2, "init: the data file must be in the folder of tramel.cnl (" +
                               options.folder.string() + "): the control file names it alone"};
    const std::filesystem::path control = options.folder / "tramel.cnl";
    if (std::filesystem::exists(control, ec) && !options.force)
      throw InitFailure{1, "init: " + control.string() + " is there already; --force overwrites it"};
    const Data d = read_data(options, name);
    const Result<Suggestion> s = suggest(d.request);
    if (!s.ok()) throw InitFailure{1, s.error->text};
    std::FILE* f = std::fopen(control.string().c_str(), "w");
    if (f == nullptr) throw InitFailure{1, "cannot write " + control.string() + ": " + std::strerror(errno)};
    const std::string& text = s.value->control_text;
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written)
      throw InitFailure{1, "cannot write " + control.string() + ": " + std::strerror(errno)};
    for (const std::string& reason : s.value->reasons) out.out += reason + "\n";
    out.out += "wrote " + control.string() + "; now run: " + run_command(options, d) + "\n";
  } catch (const InitFailure& failure) {
    out.status = failure.status;
    out.err = "tramel: " + failure.text + "\n";
  }
  return out;
}

}  // namespace tramel::init
