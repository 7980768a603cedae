// The sample: the stretch first_datum..last_datum of the data file, read with the run-time
// format that the data file carries on its second line.
#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "data/data.hpp"

namespace tramel::data {
namespace {

using diagnostics::Destination;
using textio::list_text;
using textio::ReadResult;

// What the reading of a run's sample says, and how it ended.
using SampleOutcome = diagnostics::Outcome<Sample>;

// The report's two lines for an end of file that struck while datum i was read.
std::string end_of_file(std::int64_t i) {
  return list_text("**** eof in read from data file ") +
         list_text("i = ", static_cast<std::int32_t>(std::min<std::int64_t>(i, INT32_MAX)));
}

// The report's two lines for a record that cannot be read; the console is told where it is.
diagnostics::Stop read_error(const ReadResult& r, std::string_view format_text,
                             const std::string& file_name) {
  std::string text(format_text.substr(0, 50));
  text.resize(50, ' ');
  diagnostics::Stop stop = diagnostics::stop_at(
      Destination::Report, list_text("** Error in read of data file ", static_cast<std::int32_t>(r.error)) +
                               list_text("Check format", text));
  std::string format(format_text);
  format.erase(format.find_last_not_of(' ') + 1);
  if (r.field) {
    const textio::FieldError& f = *r.field;
    stop.place = diagnostics::Place::in_file(
        file_name, static_cast<int>(std::min<std::int64_t>(f.line, INT32_MAX)),
        static_cast<int>(std::min<std::int64_t>(f.column, INT32_MAX)));
    stop.console = file_name + " line " + std::to_string(f.line) + ": \"" + f.text +
                   "\" is not a number for " + f.item + " (columns " + std::to_string(f.column) +
                   "-" + std::to_string(f.column + f.width - 1) + ")\n";
  } else {
    stop.place = diagnostics::Place::in_file(file_name, 2);
    stop.console = file_name + ": the record format " + format +
                   " (line 2) cannot read the data: it is not a format this program reads, or it "
                   "reads text where a number is wanted (error " + std::to_string(r.error) + ")\n";
  }
  return stop;
}

// Passes the two head lines: each an empty list-directed read of one record.
ReadResult pass_head(textio::TextFile& data) {
  for (int k = 0; k < 2; ++k) {
    ReadResult r = data.read_list({});
    if (!r.ok()) return r;
  }
  return {};
}

// Reads into `sample`; an end of file or an error ends the reading with its message.
class Reader {
 public:
  Reader(textio::TextFile& data, const SampleRequest& request, const DataHead& head,
         const textio::RecordWork& work, Sample& sample, const std::string& file_name)
      : data_(data), request_(request), head_(head), work_(work), sample_(sample),
        file_name_(file_name), format_(head.format_text) {}

  // Returns false after a record that cannot be read.
  bool read(SampleOutcome& messages) {
    data_.rewind();
    ReadResult r = pass_head(data_);
    if (r.end()) return early_end(1, 0, messages);
    if (r.failed()) return failed(r, messages);
    return head_.layout == RecordLayout::Labelled ? read_labelled(messages)
                                                  : read_plain(messages);
  }

 private:
  // Datum `datum` was being read when the file ended; the values from `filled` on stay zero.
  bool early_end(std::int64_t datum, std::int64_t filled, SampleOutcome& messages) {
    const auto total = static_cast<std::int64_t>(sample_.values.size());
    std::fill(sample_.values.begin() + std::min(filled, total), sample_.values.end(), 0.0f);
    sample_.early_end = EarlyEnd{datum, total - std::min(filled, total)};
    messages.say(Destination::Report, end_of_file(datum));
    return true;
  }
  bool failed(const ReadResult& r, SampleOutcome& messages) {
    messages.fail(read_error(r, head_.format_text, file_name_));
    return false;
  }

  // One record per datum: the values, then the label, all with the one format.
  bool read_labelled(SampleOutcome& messages) {
    const std::int64_t rows = request_.series_count;
    char spare[kLabelLength];
    // Label entry i (datum number i); a spare buffer if the labels are fewer than the data.
    auto label = [&](std::int64_t i) -> char* {
      const std::size_t at = static_cast<std::size_t>(i - 1) * kLabelLength;
      return at + kLabelLength <= sample_.labels.size() ? sample_.labels.data() + at : spare;
    };
    for (std::int64_t i = 1; i < request_.first_datum; ++i) {
      const ReadResult r = textio::read(data_, format_, nullptr, rows, label(i));
      if (r.end()) return early_end(i, 0, messages);
      if (r.failed()) return failed(r, messages);
    }
    for (std::int64_t i = request_.first_datum; i <= request_.last_datum; ++i) {
      const std::int64_t at = (i - request_.first_datum) * rows;
      const ReadResult r = textio::read(data_, format_, sample_.values.data() + at, rows, label(i));
      if (r.end()) return early_end(i, at + r.values, messages);
      if (r.failed()) return failed(r, messages);
    }
    return true;
  }

  // One read over the skipped data, discarding their values, then one read over the whole
  // sample straight into the values; the format starts again on a new record each time it is
  // exhausted. An end of file names the datum whose values it cut off.
  bool read_plain(SampleOutcome& messages) {
    const std::int64_t rows = request_.series_count;
    if (request_.first_datum > 1) {
      const ReadResult r = textio::read(data_, format_, nullptr, (request_.first_datum - 1) * rows);
      if (r.end()) return early_end(1 + r.values / rows, 0, messages);
      if (r.failed()) return failed(r, messages);
    }
    const ReadResult r = textio::read_shared(data_, format_, sample_.values.data(),
                                             static_cast<std::int64_t>(sample_.values.size()), work_);
    if (r.end()) return early_end(request_.first_datum + r.values / rows, r.values, messages);
    if (r.failed()) return failed(r, messages);
    return true;
  }

  textio::TextFile& data_;
  const SampleRequest& request_;
  const DataHead& head_;
  const textio::RecordWork& work_;
  Sample& sample_;
  const std::string& file_name_;
  const textio::RecordFormat format_;  // compiled once for every read of the run
};

}  // namespace

std::pmr::vector<float> Sample::series(int j, std::pmr::memory_resource* memory) const {
  std::pmr::vector<float> v(static_cast<std::size_t>(size), memory);
  const float* from = values.data() + j;
  const auto rows = static_cast<std::size_t>(series_count);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = from[i * rows];
  return v;
}

std::uint64_t RecordFile::label_bytes(const SampleRequest& request) const {
  if (head_.layout != RecordLayout::Labelled || request.last_datum < 0) return 0;
  return static_cast<std::uint64_t>(request.last_datum) * kLabelLength;
}

diagnostics::Outcome<Sample> RecordFile::read_sample(const SampleRequest& request,
                                                     const ReadWork& work) {
  SampleOutcome outcome;
  Sample sample;
  sample.series_count = request.series_count;
  sample.size = request.size();
  sample.values = std::pmr::vector<float>(work.store);
  sample.values.assign(static_cast<std::size_t>(request.series_count) *
                           static_cast<std::size_t>(sample.size),
                       0.0f);
  if (head_.layout == RecordLayout::Labelled)
    sample.labels.assign(static_cast<std::size_t>(request.last_datum) * kLabelLength, ' ');
  if (Reader(file_, request, head_, work.records, sample, name_).read(outcome))
    outcome.value = std::move(sample);
  return outcome;
}

}  // namespace tramel::data
