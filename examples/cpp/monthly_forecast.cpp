// Monthly values on standard input (one or more per line), a forecast of the next two years on
// standard output: the coherence analysis with frames of 12 months and the bins of periods 12
// to 2.4 months, threshold 0.99, one lag. It prints the significant bins with their coherence
// probabilities, then the forecast, one month a line, each value with the 9 significant digits
// that give back the same single-precision number.
#include <cstdio>
#include <iostream>
#include <vector>

#include <tramel/analysis.hpp>

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

  std::printf("tramel %s: %zu months, %zu significant bins\n", TRAMEL_VERSION_STRING,
              values.size(), result.significant.size());
  for (const tramel::coherence::SignificantBin& b : result.significant) {
    std::printf("bin %d (period %.1f months): coherence probability %.6f\n", b.bin,
                12.0 / b.bin, b.probability);
  }
  std::printf("forecast\n");
  for (std::size_t month = 0; month < result.forecast.size(); ++month) {
    std::printf("%zu %.9g\n", month + 1, result.forecast[month]);
  }
  return 0;
}
