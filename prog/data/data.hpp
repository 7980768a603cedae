// Data sources: the head of the data (its title, the number of data, the sampling rate or
// interval, the layout of its records) and the stretch of data a run analyses. A source reads;
// it analyses nothing. Two sources: the data file of the two-line layout (a title, then the
// count, the rate and a record format in edit-descriptor notation, then the records, read with
// the format the file itself carries), and delimited text (CSV, TSV: a table with an optional
// header row and time column, see csv::read_table).
#pragma once

#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "csv/csv.hpp"
#include "diagnostics/diagnostics.hpp"
#include "textio/textio.hpp"

namespace tramel::data {

// ---- The head of the data -----------------------------------------------------------------

// How each data record is laid out: the values of all series alone, or followed by a
// 25-character label (chosen when the format holds a lower-case `a`).
enum class RecordLayout : std::uint8_t { Plain, Labelled };

// What the runs need to know of the data before reading any sample. In the two-line layout,
// line 1 is the title; line 2 the number of data N, the sampling rate or interval, and the
// record format in parentheses.
struct DataHead {
  std::int32_t count = 0;
  // The second number of line 2: a sampling interval in the time unit, or a sampling rate in
  // kHz or Hz, as the unit control parameter of the control file says.
  float rate = 0.0f;
  std::string format_text;  // 50 characters, blank-padded: the report's format line shows it
  RecordLayout layout = RecordLayout::Plain;
  std::vector<std::string> names;  // the series' names, when the data have them
  // Delimited text: the time axis of its time column, when it has one (the rate is then taken
  // from it), and the column's name.
  std::optional<csv::TimeAxis> time;
  std::string time_name;
  bool delimited = false;  // the source is delimited text, whose rate the file does not give
  int columns = 0;         // delimited text: its value columns

  // Series j's name (from 0): its own, or "series1", "series2" ...
  std::string series_name(int j) const;
};

struct HeadOutcome {
  std::optional<std::string> title;  // 80 characters; absent when line 1 cannot be read
  diagnostics::Outcome<DataHead> head;
};

// ---- The sample ---------------------------------------------------------------------------

inline constexpr int kLabelLength = 25;

// Which data to read: data first_datum..last_datum (1-based, first_datum <= last_datum), each
// with the values of series_count series.
struct SampleRequest {
  std::int32_t first_datum = 0;
  std::int32_t last_datum = 0;
  std::int32_t series_count = 0;

  std::int32_t size() const { return last_datum - first_datum + 1; }
};

// Where an end of file cut the reading short: the datum being read and how many values were
// left at zero.
struct EarlyEnd {
  std::int64_t datum = 0;
  std::int64_t zero_values = 0;
};

// The values of the data read, datum after datum (all series of a datum together).
struct Sample {
  std::int32_t series_count = 0;
  std::int32_t size = 0;
  std::pmr::vector<float> values;  // series_count x size, column-major
  std::vector<char> labels;        // label mode: kLabelLength characters per datum 1..last_datum
  std::optional<EarlyEnd> early_end;

  // Series j (0-based): its `size` values, in a store from `memory`.
  std::pmr::vector<float> series(int j, std::pmr::memory_resource* memory =
                                            std::pmr::get_default_resource()) const;
};

// How a read may go about its work: the threads its records may be converted on, and the store
// of the sample's values.
struct ReadWork {
  textio::RecordWork records;
  std::pmr::memory_resource* store = std::pmr::get_default_resource();
};

// ---- Sources ------------------------------------------------------------------------------

// A source of data: its head, then the samples of the runs, in any order.
class DataSource {
 public:
  virtual ~DataSource() = default;

  // The head; its messages go to standard error.
  virtual HeadOutcome read_head() = 0;
  // The sample of a run. An end of the data before the last datum is said (the report's eof
  // lines) and leaves zeros; a record that cannot be read stops with its message.
  virtual diagnostics::Outcome<Sample> read_sample(const SampleRequest& request,
                                                   const ReadWork& work) = 0;
  // The bytes the labels of a sample take (0 for records without labels).
  virtual std::uint64_t label_bytes(const SampleRequest& request) const = 0;
};

// The data file of the two-line layout, read with the record format on its line 2.
class RecordFile final : public DataSource {
 public:
  // `name` names the file in the console's messages.
  explicit RecordFile(std::string name);

  // 0, or the operating system's error number (a directory is refused with EISDIR).
  int open(const std::string& path);
  // Reads from memory instead (tests and fuzzers).
  void open_text(std::string text);

  HeadOutcome read_head() override;
  diagnostics::Outcome<Sample> read_sample(const SampleRequest& request,
                                           const ReadWork& work) override;
  std::uint64_t label_bytes(const SampleRequest& request) const override;

 private:
  std::string name_;
  textio::TextFile file_;
  DataHead head_;  // as read_head found it
};

// Delimited text (a name ending in .csv or .tsv): the table read whole at the head, its rows
// then served to every run. Its title is its name; its count, its rows.
class DelimitedFile final : public DataSource {
 public:
  // The options name the file in messages (file_name) and give the number of value columns
  // the control file asks for (expected_columns; 0: any number).
  explicit DelimitedFile(csv::ReadOptions options);

  int open(const std::string& path);
  void open_text(std::string text);

  HeadOutcome read_head() override;
  diagnostics::Outcome<Sample> read_sample(const SampleRequest& request,
                                           const ReadWork& work) override;
  std::uint64_t label_bytes(const SampleRequest&) const override { return 0; }

 private:
  csv::ReadOptions options_;
  std::string bytes_;
  csv::Table table_;
};

// The data file `path` opened as the source its name calls for (delimited text for .csv and
// .tsv, the two-line layout otherwise); `name` names it in messages.
struct SourceRequest {
  std::string path;
  std::string name;
  int series_count = 0;  // No. of data/file; for delimited text 0 takes any number
  parallel::Threads threads;
  // Delimited text: the unit of a time column of numbers (--time-unit).
  std::optional<csv::NumberUnit> time_unit = std::nullopt;
};
struct OpenedSource {
  std::unique_ptr<DataSource> source;  // null when it could not be opened
  int error = 0;                       // then the operating system's error number
};
OpenedSource open_data_source(const SourceRequest& request);

}  // namespace tramel::data
