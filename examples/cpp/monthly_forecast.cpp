// Monthly values on standard input (one or more per line), a forecast of the next two years on
// standard output: the coherence analysis with frames of 12 months and the bins of periods 12
// to 2.4 months, then the VAR block of the report as tramel writes it, then the forecast.
#include <cstdio>
#include <iostream>
#include <vector>

#include "analysis/analysis.hpp"
#include "report/report.hpp"
#include "textio/textio.hpp"

int main() {
  std::vector<float> values;
  for (float v; std::cin >> v;) values.push_back(v);

  tramel::analysis::Settings settings;
  settings.frame_length = 12;  // a year of months
  settings.first_bin = 1;      // periods of 12 months ...
  settings.last_bin = 5;       // ... down to 2.4
  settings.threshold = 0.99f;
  settings.lags = 1;
  settings.frames_ahead = 2;
  const tramel::analysis::SeriesResult result = tramel::analysis::analyse_series(values, settings);
  if (!result.completed()) {
    std::fprintf(stderr, "the analysis stopped before its forecast\n");
    return 1;
  }

  // The report's VAR block and the records of the forecast file, written into memory.
  tramel::textio::Sink lines;
  tramel::report::write_var_block(
      lines, tramel::report::VarReport{result.significant, settings.frames_ahead, *result.fit});
  const std::vector<std::vector<float>> forecast = {result.forecast};
  tramel::report::write_forecast_file(lines, forecast, settings.frame_length);
  std::fputs(lines.text().c_str(), stdout);
  return 0;
}
