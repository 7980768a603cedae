// The table of a backtest on the console.
#include <string>

#include "report/report.hpp"

namespace tramel::report {

using namespace textio::literals;

void write_backtest_table(Sink& console, const BacktestReport& table) {
  constexpr auto kTitle = "(/,1x,a)"_format;
  constexpr auto kHead = "(3x,'step',2x,'method',10x,'    MASE',8x,'RMSE',2x,'origins',:,20(1x,a10))"_format;
  constexpr auto kRow = "(2x,i5,2x,a16,f8.3,g12.4,i9,:,20(1x,a10))"_format;
  constexpr auto kCoverage = "(f10.3)"_format;
  constexpr auto kNone = "(2x,i5,2x,a16,a8,a12,i9)"_format;
  const backtest::SeriesBacktest& b = table.backtest;
  // The VAR models beside as-specified and seasonal naive; smooth and auto beside every method
  // the backtest scored.
  std::vector<backtest::Method> rows;
  if (table.model == analysis::Model::Changes || table.model == analysis::Model::Levels) {
    rows = {table.model == analysis::Model::Levels ? backtest::Method::Levels : backtest::Method::Changes,
            backtest::Method::AsSpecified, backtest::Method::SeasonalNaive};
  }
  if (table.chosen || table.model == analysis::Model::Smooth) {
    rows.clear();
    for (int m = 0; m < backtest::kMethods; ++m)
      if (b.scored[static_cast<std::size_t>(m)]) rows.push_back(static_cast<backtest::Method>(m));
  }
  textio::write(console, kTitle,
                "Backtest of run " + std::to_string(table.run) + ", series " +
                    std::to_string(table.series) + ": " + std::to_string(b.origins) +
                    " origins, forecasting frames " + std::to_string(b.first_origin + 1) + " to " +
                    std::to_string(b.first_origin + b.origins) + "; model " + table.forecast +
                    (table.chosen ? " (chosen by auto)" : ""));
  std::vector<std::string> head_texts;
  for (const float level : b.levels) {
    std::string text = "cover " + rules::number_text(level) + "%";
    text.insert(0, text.size() < 10 ? 10 - text.size() : 0, ' ');
    head_texts.push_back(text);
  }
  std::vector<textio::Item> head(head_texts.begin(), head_texts.end());
  textio::write(console, kHead, std::span<const textio::Item>(head));
  for (int step = 0; step < b.frames_ahead; ++step) {
    for (const backtest::Method m : rows) {
      const backtest::StepScores& s = b.of(m)[static_cast<std::size_t>(step)];
      std::vector<std::string> cover;
      for (std::size_t l = 0; l < b.levels.size(); ++l) {
        if (l < s.coverage.size()) {
          std::string text = textio::format_text(kCoverage, static_cast<float>(s.coverage[l]));
          text.pop_back();
          cover.push_back(text);
        } else {
          cover.push_back("         -");
        }
      }
      std::string name(backtest::method_name(m));
      name.resize(16, ' ');
      if (s.forecasts == 0) {
        // Every origin stopped before this method's forecast (the specified size check).
        textio::write(console, kNone, step + 1, name, "-", "-", s.forecasts);
        continue;
      }
      std::vector<textio::Item> items = {textio::Item(step + 1), textio::Item(name),
                                         textio::Item(static_cast<float>(s.mase)),
                                         textio::Item(static_cast<float>(s.rmse)),
                                         textio::Item(s.forecasts)};
      for (const std::string& c : cover) items.emplace_back(c);
      textio::write(console, kRow, std::span<const textio::Item>(items));
    }
  }
}

}  // namespace tramel::report
