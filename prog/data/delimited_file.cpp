// Delimited text as a data source: the table read whole when the head is asked for, the
// samples of the runs taken from it.
#include "data/data.hpp"

namespace tramel::data {

DelimitedFile::DelimitedFile(csv::ReadOptions options) : options_(std::move(options)) {}

int DelimitedFile::open(const std::string& path) { return csv::read_file(path, bytes_); }

void DelimitedFile::open_text(std::string text) { bytes_ = std::move(text); }

HeadOutcome DelimitedFile::read_head() {
  HeadOutcome result;
  const std::string& name = options_.file_name;
  std::string title = name;
  title.resize(80, ' ');
  result.title = title;
  csv::Result<csv::Table> table = csv::read_table(bytes_, options_);
  std::string().swap(bytes_);  // the table holds everything now
  if (!table.ok()) {
    diagnostics::Stop stop = diagnostics::stop_at(
        diagnostics::Destination::Report, textio::list_text("** Error in read of data file ", name),
        table.error->text + "\n");
    stop.place = diagnostics::Place::in_file(name, static_cast<int>(table.error->line),
                                             static_cast<int>(table.error->column));
    result.head.fail(std::move(stop));
    return result;
  }
  table_ = std::move(*table.value);
  DataHead head;
  head.count = static_cast<std::int32_t>(std::min<std::int64_t>(table_.rows, INT32_MAX));
  std::string format = std::string(table_.delimiter == '\t' ? "TSV" : "CSV") + ", " +
                       std::to_string(table_.columns) + (table_.columns == 1 ? " column" : " columns");
  if (table_.time) format += ", a time column every " + table_.time->spacing_text();
  head.format_text = format.substr(0, 50);
  head.format_text.resize(50, ' ');
  head.names = table_.names;
  head.time = table_.time;
  head.time_name = table_.time_name;
  head.delimited = true;
  head.columns = table_.columns;
  result.head.value = std::move(head);
  return result;
}

diagnostics::Outcome<Sample> DelimitedFile::read_sample(const SampleRequest& request,
                                                        const ReadWork& work) {
  diagnostics::Outcome<Sample> outcome;
  Sample sample;
  sample.series_count = request.series_count;
  sample.size = request.size();
  sample.values = std::pmr::vector<float>(work.store);
  const auto columns = static_cast<std::size_t>(table_.columns);
  const auto first = static_cast<std::size_t>(request.first_datum - 1) * columns;
  sample.values.assign(table_.values.begin() + static_cast<std::ptrdiff_t>(first),
                       table_.values.begin() +
                           static_cast<std::ptrdiff_t>(first + static_cast<std::size_t>(sample.size) * columns));
  outcome.value = std::move(sample);
  return outcome;
}

}  // namespace tramel::data
