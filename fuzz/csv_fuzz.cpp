// Fuzz target: the table reader of delimited text and the forecast written back as CSV. The
// input's first byte chooses the number of value columns asked for and the thread count, the
// rest is the text. The table (or its error) must be the same on one thread and on several;
// a table's values are finite and as many as its rows and columns say; the stamps after the
// data can be written; the forecast CSV of its first values reads back as the same floats
// (checked without a time column, whose stamps a table only reads in its first column).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "csv/csv.hpp"
#include "fuzz_input.hpp"

using namespace tramel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const std::uint8_t choice = in.byte();
  csv::ReadOptions options;
  options.file_name = "fuzz.csv";
  options.expected_columns = choice & 7;
  // The two high bits: a time column of numbers in seconds or milliseconds, as --time-unit.
  if ((choice >> 6) == 1) options.time_unit = csv::number_unit("s");
  if ((choice >> 6) == 2) options.time_unit = csv::number_unit("ms");
  const csv::Result<csv::Table> one = csv::read_table(in.rest(), options);
  options.threads = parallel::Threads{2 + ((choice >> 3) & 3)};
  const csv::Result<csv::Table> more = csv::read_table(in.rest(), options);
  if (one.ok() != more.ok()) __builtin_trap();
  if (!one.ok()) {
    if (one.error->text != more.error->text || one.error->line != more.error->line) __builtin_trap();
    return 0;
  }
  const csv::Table& t = *one.value;
  if (t.values != more.value->values || t.rows != more.value->rows) __builtin_trap();
  if (t.values.size() != static_cast<std::size_t>(t.rows) * static_cast<std::size_t>(t.columns)) __builtin_trap();
  for (const float v : t.values)
    if (!std::isfinite(v)) __builtin_trap();
  if (t.time) {
    if (!(t.time->interval > 0) || t.rows < 2) __builtin_trap();
    for (std::int64_t row : {std::int64_t{0}, t.rows - 1, t.rows + 5}) (void)t.time->stamp(row);
  }

  // The first values as a forecast of frames of 2, read back.
  csv::ForecastTable f;
  f.names = t.names;
  f.time = t.time;
  f.time_name = t.time_name;
  csv::RunForecast run;
  run.first_datum = 1;
  run.frame_length = 2;
  const std::int64_t samples = std::min<std::int64_t>(t.rows, 6);
  for (int j = 0; j < t.columns; ++j) {
    std::vector<float> s;
    for (std::int64_t i = 0; i < samples; ++i) s.push_back(t.values[static_cast<std::size_t>(i * t.columns + j)]);
    run.series.push_back(s);
  }
  f.runs.push_back(run);
  const std::string csv = csv::forecast_csv(f);
  const csv::Result<csv::Table> back = csv::read_table(csv, {});
  // Without a time column every column is a number: run, frame, position, then the series.
  if (!t.time && back.ok() && back.value->rows == samples && back.value->columns == 3 + t.columns) {
    const int offset = 3;
    for (std::int64_t i = 0; i < samples; ++i)
      for (int j = 0; j < t.columns; ++j) {
        const float a = back.value->values[static_cast<std::size_t>(i * back.value->columns + offset + j)];
        const float b = t.values[static_cast<std::size_t>(i * t.columns + j)];
        if (std::memcmp(&a, &b, sizeof a) != 0) __builtin_trap();
      }
  }
  return 0;
}
