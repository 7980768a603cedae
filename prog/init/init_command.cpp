// tramel init: a control file for a data file, with the settings chosen from the data and the
// reason for each, said on the console.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "data/data.hpp"
#include "csv/csv.hpp"
#include "init/init.hpp"

namespace tramel::init {

namespace {

struct InitFailure {
  int status;
  std::string text;
};

// The data of the file, as a request for settings.
struct Data {
  InitRequest request;
  std::pmr::vector<float> values;  // datum after datum
};

// The data file read as the program reads it, through the data source its name calls for: a
// CSV file with as many series as it has value columns, the two-line layout with --series.
Data read_data(const InitOptions& o, const std::string& name) {
  const std::string path = o.data.string();
  const bool delimited = csv::is_delimited_name(name);
  data::OpenedSource opened = data::open_data_source(
      data::SourceRequest{path, name, delimited ? 0 : o.series_count, parallel::Threads{}});
  if (!opened.source) throw InitFailure{1, "cannot open " + path + ": " + std::strerror(opened.error)};
  data::HeadOutcome head = opened.source->read_head();
  if (head.head.failed()) {
    if (delimited && head.head.stop) {
      const std::vector<std::string> lines = diagnostics::lines_of(head.head.stop->console);
      throw InitFailure{1, lines.empty() ? name + " cannot be read" : lines.front()};
    }
    throw InitFailure{1, name + ": its first two lines are not a title and the count, rate and "
                             "record format (or give the data as CSV)"};
  }
  const data::DataHead& h = *head.head.value;
  if (delimited && !h.time && !o.sampling)
    throw InitFailure{1, name + " has no time column: give --sampling X (a rate in Hz, or with "
                             "--unit UNIT the interval in that unit)"};
  const int series = delimited ? h.columns : o.series_count;
  diagnostics::Outcome<data::Sample> sample =
      opened.source->read_sample(data::SampleRequest{1, h.count, series}, data::ReadWork{});
  if (sample.failed() || sample.value->early_end)
    throw InitFailure{1, name + ": its " + std::to_string(h.count) + " data of " +
                             std::to_string(series) +
                             " series cannot all be read (give --series M for M series)"};
  Data d;
  d.values = std::move(sample.value->values);
  d.request.data_file = name;
  d.request.series_count = series;
  d.request.count = h.count;
  d.request.values = d.values;
  if (o.sampling)
    d.request.sampling = o.unit.empty() ? Sampling::of_rate(*o.sampling)
                                        : Sampling::of_interval(*o.sampling, o.unit);
  else if (h.time)
    d.request.sampling = Sampling::of_axis(*h.time);
  else
    d.request.sampling = o.unit.empty() ? Sampling::of_rate(h.rate) : Sampling::of_interval(h.rate, o.unit);
  d.request.frame_length = o.frame_length;
  return d;
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
    out.out += "wrote " + control.string() + "; now run: tramel --model auto --plot " +
               options.folder.string() + "\n";
  } catch (const InitFailure& failure) {
    out.status = failure.status;
    out.err = "tramel: " + failure.text + "\n";
  }
  return out;
}

}  // namespace tramel::init
