// datt: reads the stretch IS..IE of the data file into the data matrix with the run-time
// format that the data file carries on its second line.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <string>

#include "data/data.hpp"

namespace tramel::data {
namespace {

using textio::ReadResult;

// A signalling NaN with a payload that no conversion of a data field produces: it marks the
// places of x that a read has not reached, so that an end of file in the middle of the one
// plain-mode read can name the datum where it struck.
constexpr std::uint32_t kUnreadBits = 0x7fa5a5a5u;

bool unread(float v) { return std::bit_cast<std::uint32_t>(v) == kUnreadBits; }

void mark_unread(std::span<float> x) {
  std::fill(x.begin(), x.end(), std::bit_cast<float>(kUnreadBits));
}

// Index of the first place the read did not reach (x.size() when it reached all).
std::size_t first_unread(std::span<const float> x) {
  return static_cast<std::size_t>(std::find_if(x.begin(), x.end(), unread) - x.begin());
}

// Unread places become zero, the value the rest of the run sees for missing data.
void zero_unread(std::span<float> x) {
  std::replace_if(x.begin(), x.end(), unread, 0.0f);
}

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
    // One record per datum: the M values, then the label, all with the one format.
    std::fill(x.begin(), x.end(), 0.0f);
    for (std::int64_t i = 1; i < is; ++i) {
      r = textio::read(data, format, nullptr, rows, label(i));
      if (r.end()) return eof_lines(report, i);
      if (r.failed()) error_stop(report, r.error, fmt);
    }
    for (std::int64_t i = is; i <= ie; ++i) {
      r = textio::read(data, format, x.data() + (i - is) * rows, rows, label(i));
      if (r.end()) return eof_lines(report, i);
      if (r.failed()) error_stop(report, r.error, fmt);
    }
    return;
  }

  // Plain mode: one read over the skipped data, discarding their values, then one read over
  // the whole sample straight into x, column after column; the format starts again on a new
  // record each time it is exhausted.
  if (is > 1) {
    const std::int64_t skip = (static_cast<std::int64_t>(is) - 1) * rows;
    r = textio::read(data, format, nullptr, skip);
    if (r.end()) {
      // Read the skipped stretch once more, into x (which holds M*IE values), only to find
      // the datum at which the file ended.
      std::span<float> head = x.first(static_cast<std::size_t>(skip));
      mark_unread(head);
      data.rewind();
      pass_head(data);
      textio::read(data, format, head.data(), skip);
      const std::int64_t i = 1 + static_cast<std::int64_t>(first_unread(head)) / rows;
      std::fill(x.begin(), x.end(), 0.0f);
      return eof_lines(report, i);
    }
    if (r.failed()) error_stop(report, r.error, fmt);
  }
  std::span<float> sample = x.first(static_cast<std::size_t>(n) * static_cast<std::size_t>(M));
  mark_unread(sample);
  r = textio::read(data, format, sample.data(), static_cast<std::int64_t>(sample.size()));
  if (r.end()) {
    const std::int64_t i = is + static_cast<std::int64_t>(first_unread(sample)) / rows;
    zero_unread(sample);
    return eof_lines(report, i);
  }
  if (r.failed()) {
    zero_unread(sample);
    error_stop(report, r.error, fmt);
  }
}

}  // namespace tramel::data
