// Data and statistics: the data file (its head and the stretch of records a run analyses, read
// with the format the file itself carries) and the descriptive statistics of a series. This
// folder reads and describes; it analyses nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::data {

// ---- The head of the data file ------------------------------------------------------------

// How each data record is laid out: the values of all series alone, or followed by a
// 25-character label (chosen when the format holds a lower-case `a`).
enum class RecordLayout : std::uint8_t { Plain, Labelled };

// Line 1 is the title; line 2 the number of data N, the sampling rate or interval, and the
// record format in parentheses.
struct DataHead {
  std::int32_t count = 0;
  float rate = 0.0f;
  std::string format_text;  // 50 characters, blank-padded
  RecordLayout layout = RecordLayout::Plain;
};

struct HeadOutcome {
  std::optional<std::string> title;  // 80 characters; absent when line 1 cannot be read
  textio::Outcome<DataHead> head;
};

// Reads the two head lines (from the start of the file). The messages go to standard error.
HeadOutcome read_head(textio::TextFile& data);

// ---- The sample ---------------------------------------------------------------------------

inline constexpr int kLabelLength = 25;

// Which data to read: data first_datum..last_datum (1-based, first_datum <= last_datum), each
// with the values of series_count series.
struct SampleRequest {
  std::int32_t first_datum = 0;
  std::int32_t last_datum = 0;
  std::int32_t series_count = 0;
  std::string_view format_text;
  RecordLayout layout = RecordLayout::Plain;
  std::string_view file_name;  // for the console's messages

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
  std::vector<float> values;  // series_count x size, column-major
  std::vector<char> labels;   // label mode: kLabelLength characters per datum 1..last_datum
  std::optional<EarlyEnd> early_end;

  // Series j (0-based): its `size` values.
  std::vector<float> series(int j) const;
};

// Reads the sample from the records after the head (the file is rewound first). An end of
// file is said (the report's eof lines) and leaves zeros; a record that cannot be read fails
// with its message. In plain layout the records may be converted side by side (`work`).
textio::Outcome<Sample> read_sample(textio::TextFile& data, const SampleRequest& request,
                                    const textio::RecordWork& work = {});

// ---- Descriptive statistics ---------------------------------------------------------------

struct Statistics {
  float mean = 0.0f;
  float std_dev = 0.0f;
  float skewness = 0.0f;
  float kurtosis = 0.0f;  // excess kurtosis
  float c6 = 0.0f;        // the sixth cumulant over the sixth power of the standard deviation
  float max = 0.0f;
  float min = 0.0f;
  // No spread (a constant series, or fewer than two values): the standard deviation is set
  // to 1 and the moments are 0.
  bool zero_variance = false;
};

Statistics describe_series(std::span<const float> series);

}  // namespace tramel::data
