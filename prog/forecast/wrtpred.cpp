// The forecast file: one record per forecast sample, all series side by side.
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast {

void wrtpred(textio::Sink& forecast_file, std::span<const float> forecast_matrix, int lb,
             int nahead, int M) {
  // Past 100 series a record goes on to further lines of 100 values each.
  static const textio::Format kRecord("(i3,2x,i4,2x,:,100(f9.3,1x))");
  const auto rows = static_cast<std::size_t>(nahead) * static_cast<std::size_t>(lb);
  std::vector<textio::Item> items(2 + static_cast<std::size_t>(M), textio::Item(0));
  std::size_t row = 0;
  for (int q = 1; q <= nahead; ++q) {
    for (int j = 1; j <= lb; ++j, ++row) {
      items[0] = textio::Item(q);
      items[1] = textio::Item(j);
      for (int series = 0; series < M; ++series)
        items[2 + static_cast<std::size_t>(series)] =
            textio::Item(forecast_matrix[static_cast<std::size_t>(series) * rows + row]);
      textio::write(forecast_file, kRecord, std::span<const textio::Item>(items));
    }
  }
}

}  // namespace tramel::forecast
