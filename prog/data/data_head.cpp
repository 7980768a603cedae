// The data file of the two-line layout, and its head: the title on line 1; the number of
// data, the sampling rate or interval and the record format on line 2.
#include <algorithm>
#include <cmath>

#include "data/data.hpp"

namespace tramel::data {
namespace {

using diagnostics::Destination;

diagnostics::Stop console_error(std::string text) {
  return diagnostics::stop_at(Destination::Stderr, std::move(text));
}

diagnostics::Stop unreadable_head() {
  return console_error(textio::list_text(
      "Cannot read the number of data and the sampling rate on line 2 of the data file"));
}

}  // namespace

std::string DataHead::series_name(int j) const {
  if (j >= 0 && static_cast<std::size_t>(j) < names.size() && !names[j].empty()) return names[j];
  return "series" + std::to_string(j + 1);
}

RecordFile::RecordFile(std::string name) : name_(std::move(name)) {}

int RecordFile::open(const std::string& path) { return file_.open(path); }

void RecordFile::open_text(std::string text) { file_.open_text(std::move(text)); }

OpenedSource open_data_source(const SourceRequest& request) {
  const auto opened = [&request](auto file) {
    if (const int error = file->open(request.path); error != 0) return OpenedSource{nullptr, error};
    return OpenedSource{std::move(file), 0};
  };
  if (!csv::is_delimited_name(request.name)) return opened(std::make_unique<RecordFile>(request.name));
  csv::ReadOptions options;
  options.file_name = request.name;
  options.expected_columns = request.series_count;
  options.threads = request.threads;
  options.time_unit = request.time_unit;
  return opened(std::make_unique<DelimitedFile>(std::move(options)));
}

HeadOutcome RecordFile::read_head() {
  HeadOutcome result;
  const auto failed = [&result](diagnostics::Stop stop) {
    result.head.fail(std::move(stop));
    return std::move(result);
  };
  textio::TextFile& data = file_;
  data.rewind();
  std::string line;
  if (!data.read_line(line).ok()) return failed(unreadable_head());
  result.title = line;

  // Line 2 must itself begin with the count and the rate: they are read from a copy of the
  // line alone, so that a short line cannot take its values from the data that follow.
  DataHead head;
  std::string_view record;
  if (!data.next_record(record)) return failed(unreadable_head());
  textio::TextFile line2;
  line2.open_text(std::string(record));
  const textio::TextFile::ListTarget targets[] = {&head.count, &head.rate};
  if (!line2.read_list(targets).ok()) return failed(unreadable_head());
  if (!(head.rate > 0.0f) || !std::isfinite(head.rate))
    return failed(console_error(textio::list_text("Sampling rate/interval ", head.rate, " is not positive")));

  data.backspace();
  if (!data.read_line(line).ok()) return failed(unreadable_head());
  // The format text runs from the first `(` to the third `)` after it (or the last one if
  // there are fewer) and needs a blank after it within the 80 columns.
  const std::size_t a = line.find('(');
  std::size_t b = a == std::string::npos ? a : line.find(')', a);
  if (b != std::string::npos) {
    for (int i = 0; i < 2; ++i)
      if (const std::size_t c = line.find(')', b + 1); c != std::string::npos) b = c;
  }
  if (b == std::string::npos || line.find(' ', b + 1) == std::string::npos)
    return failed(console_error(textio::list_text("Format on second line of data file is incorrect")));
  head.format_text = line.substr(a, std::min<std::size_t>(b - a + 1, 50));
  head.format_text.resize(50, ' ');
  head.layout = head.format_text.find('a') != std::string::npos ? RecordLayout::Labelled
                                                                  : RecordLayout::Plain;
  head_ = head;
  result.head.value = std::move(head);
  return result;
}

}  // namespace tramel::data
