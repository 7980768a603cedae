// The sample: the stretch first_datum..last_datum of the data file, read with the run-time
// format that the data file carries on its second line.
#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "data/data.hpp"

namespace tramel::data {
namespace {

using textio::list_text;
using textio::ReadResult;

textio::Message report(std::string text) {
  return textio::Message{textio::Channel::Report, std::move(text)};
}

// The report's two lines for an end of file that struck while datum i was read.
textio::Message end_of_file(std::int64_t i) {
  return report(list_text("**** eof in read from data file ") +
                list_text("i = ", static_cast<std::int32_t>(std::min<std::int64_t>(i, INT32_MAX))));
}

// The report's two lines for a record that cannot be read; the console is told where it is.
textio::Message read_error(const ReadResult& r, const SampleRequest& request) {
  std::string text(request.format_text.substr(0, 50));
  text.resize(50, ' ');
  textio::Message m = report(
      list_text("** Error in read of data file ", static_cast<std::int32_t>(r.error)) +
      list_text("Check format", text));
  std::string format(request.format_text);
  format.erase(format.find_last_not_of(' ') + 1);
  if (r.field) {
    const textio::FieldError& f = *r.field;
    m.console = std::string(request.file_name) + " line " + std::to_string(f.line) + ": \"" +
                f.text + "\" is not a number for " + f.item + " (columns " +
                std::to_string(f.column) + "-" + std::to_string(f.column + f.width - 1) + ")\n";
  } else {
    m.console = std::string(request.file_name) + ": the record format " + format +
                " (line 2) cannot read the data: it is not a format this program reads, or it "
                "reads text where a number is wanted (error " + std::to_string(r.error) + ")\n";
  }
  return m;
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
  Reader(textio::TextFile& data, const SampleRequest& request, const textio::RecordWork& work,
         Sample& sample)
      : data_(data), request_(request), work_(work), sample_(sample), format_(request.format_text) {}

  // Returns false after a record that cannot be read.
  bool read(std::vector<textio::Message>& messages) {
    data_.rewind();
    ReadResult r = pass_head(data_);
    if (r.end()) return early_end(1, 0, messages);
    if (r.failed()) return failed(r, messages);
    return request_.layout == RecordLayout::Labelled ? read_labelled(messages)
                                                     : read_plain(messages);
  }

 private:
  // Datum `datum` was being read when the file ended; the values from `filled` on stay zero.
  bool early_end(std::int64_t datum, std::int64_t filled, std::vector<textio::Message>& messages) {
    const auto total = static_cast<std::int64_t>(sample_.values.size());
    std::fill(sample_.values.begin() + std::min(filled, total), sample_.values.end(), 0.0f);
    sample_.early_end = EarlyEnd{datum, total - std::min(filled, total)};
    messages.push_back(end_of_file(datum));
    return true;
  }
  bool failed(const ReadResult& r, std::vector<textio::Message>& messages) {
    messages.push_back(read_error(r, request_));
    return false;
  }

  // One record per datum: the values, then the label, all with the one format.
  bool read_labelled(std::vector<textio::Message>& messages) {
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
  bool read_plain(std::vector<textio::Message>& messages) {
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
  const textio::RecordWork& work_;
  Sample& sample_;
  const textio::RecordFormat format_;  // compiled once for every read of the run
};

}  // namespace

std::vector<float> Sample::series(int j) const {
  std::vector<float> v(static_cast<std::size_t>(size));
  const float* from = values.data() + j;
  const auto rows = static_cast<std::size_t>(series_count);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = from[i * rows];
  return v;
}

textio::Outcome<Sample> read_sample(textio::TextFile& data, const SampleRequest& request,
                                    const textio::RecordWork& work) {
  textio::Outcome<Sample> outcome;
  Sample sample;
  sample.series_count = request.series_count;
  sample.size = request.size();
  sample.values.assign(static_cast<std::size_t>(request.series_count) *
                           static_cast<std::size_t>(sample.size),
                       0.0f);
  if (request.layout == RecordLayout::Labelled)
    sample.labels.assign(static_cast<std::size_t>(request.last_datum) * kLabelLength, ' ');
  if (Reader(data, request, work, sample).read(outcome.messages)) outcome.value = std::move(sample);
  return outcome;
}

}  // namespace tramel::data
