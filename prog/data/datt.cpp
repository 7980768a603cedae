// datt: reads the stretch IS..IE of the data file into the data matrix with the run-time
// format that the data file carries on its second line.
#include <algorithm>
#include <cstdint>
#include <string>

#include "data/data.hpp"

namespace tramel::data {
namespace {

using textio::ReadResult;

void eof_lines(textio::Sink& report, std::int64_t i) {
  textio::list(report, "**** eof in read from data file ");
  textio::list(report, "i = ", static_cast<std::int32_t>(std::min<std::int64_t>(i, INT32_MAX)));
}

[[noreturn]] void error_stop(textio::Sink& report, int error, std::string_view fmt) {
  std::string text(fmt.substr(0, 50));
  text.resize(50, ' ');
  textio::list(report, "** Error in read of data file ", static_cast<std::int32_t>(error));
  textio::list(report, "Check format", text);
  throw Stop{1};
}

// Passes the two head lines: each an empty list-directed read of one record.
ReadResult pass_head(textio::TextFile& data) {
  for (int k = 0; k < 2; ++k) {
    ReadResult r = data.read_list({});
    if (!r.ok()) return r;
  }
  return {};
}

}  // namespace

void datt(std::span<float> x, std::string_view fmt, std::span<char> t, char mode, int is,
          int ie, int n, int M, textio::TextFile& data, textio::Sink& report) {
  // The format is compiled once; every read of the run applies the same program.
  const textio::RecordFormat format(fmt);
  const bool labels = mode == 'm';
  const std::int64_t rows = M;
  char spare[kLabel];
  // Label entry i (datum number i); a spare buffer if t is shorter than the data read.
  auto label = [&](std::int64_t i) -> char* {
    const std::size_t at = static_cast<std::size_t>(i - 1) * kLabel;
    return at + kLabel <= t.size() ? t.data() + at : spare;
  };

  data.rewind();
  ReadResult r = pass_head(data);
  if (r.end()) {
    std::fill(x.begin(), x.end(), 0.0f);
    eof_lines(report, 1);
    return;
  }
  if (r.failed()) error_stop(report, r.error, fmt);

  if (labels) {
    // One record per datum: the M values, then the label, all with the one format. An end
    // of file leaves zeros from the first value it cut off.
    for (std::int64_t i = 1; i < is; ++i) {
      r = textio::read(data, format, nullptr, rows, label(i));
      if (r.end()) {
        std::fill(x.begin(), x.end(), 0.0f);
        return eof_lines(report, i);
      }
      if (r.failed()) error_stop(report, r.error, fmt);
    }
    for (std::int64_t i = is; i <= ie; ++i) {
      r = textio::read(data, format, x.data() + (i - is) * rows, rows, label(i));
      if (r.end()) {
        std::fill(x.begin() + (i - is) * rows + r.values, x.end(), 0.0f);
        return eof_lines(report, i);
      }
      if (r.failed()) error_stop(report, r.error, fmt);
    }
    return;
  }

  // Plain mode: one read over the skipped data, discarding their values, then one read over
  // the whole sample straight into x, column after column; the format starts again on a new
  // record each time it is exhausted. An end of file names the datum whose values it cut off.
  if (is > 1) {
    r = textio::read(data, format, nullptr, (static_cast<std::int64_t>(is) - 1) * rows);
    if (r.end()) {
      std::fill(x.begin(), x.end(), 0.0f);
      return eof_lines(report, 1 + r.values / rows);
    }
    if (r.failed()) error_stop(report, r.error, fmt);
  }
  std::span<float> sample = x.first(static_cast<std::size_t>(n) * static_cast<std::size_t>(M));
  r = textio::read(data, format, sample.data(), static_cast<std::int64_t>(sample.size()));
  if (r.end()) {
    std::fill(sample.begin() + r.values, sample.end(), 0.0f);
    return eof_lines(report, is + r.values / rows);
  }
  if (r.failed()) error_stop(report, r.error, fmt);
}

}  // namespace tramel::data
