// The forecast file: one record per forecast sample, all series side by side.
#include "report/report.hpp"

namespace tramel::report {

using namespace textio::literals;

void write_forecast_file(Sink& forecast_file, std::span<const std::vector<float>> series,
                         int frame_length) {
  // Past 100 series a record goes on to further lines of 100 values each.
  constexpr auto kRecord = "(i3,2x,i4,2x,:,100(f9.3,1x))"_format;
  if (series.empty() || frame_length < 1) return;
  const std::size_t samples = series[0].size();
  std::vector<textio::Item> items(2 + series.size(), textio::Item(0));
  for (std::size_t row = 0; row < samples; ++row) {
    items[0] = textio::Item(static_cast<std::int32_t>(row / frame_length + 1));
    items[1] = textio::Item(static_cast<std::int32_t>(row % frame_length + 1));
    for (std::size_t s = 0; s < series.size(); ++s) items[2 + s] = textio::Item(series[s][row]);
    textio::write(forecast_file, kRecord, std::span<const textio::Item>(items));
  }
}

}  // namespace tramel::report
