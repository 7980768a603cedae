// A set of series analysed as a run's series, the check of its values, the words of a stop,
// and the forecasts of a backtest's origins.
#include "series_set.hpp"

#include <cmath>
#include <new>

#include "diagnostics/diagnostics.hpp"
#include "parallel/parallel.hpp"
#include "report/report.hpp"
#include "textio/textio.hpp"

namespace tramel::python {

std::optional<BadValue> first_bad_value(const SeriesSet& set) {
  for (int j = 0; j < set.count; ++j) {
    const std::span<const float> s = set.series(j);
    for (std::size_t i = 0; i < s.size(); ++i)
      if (!std::isfinite(s[i])) return BadValue{j, static_cast<std::int64_t>(i), std::isnan(s[i])};
  }
  return std::nullopt;
}

std::vector<analysis::SeriesResult> analyse_set(const SeriesSet& set,
                                                const analysis::Settings& settings, int threads) {
  const analysis::RunSize size{set.samples, set.count};
  analysis::WorkSpace work_space(0);
  const std::uint64_t run_bytes = analysis::WorkSpace::run_bytes(settings, size);
  if (!work_space.fits(run_bytes)) throw std::bad_alloc();
  work_space.take(run_bytes);
  const auto samples_of = [&](int j) {
    const std::span<const float> s = set.series(j);
    return analysis::Samples(s.begin(), s.end(), work_space.store());
  };
  std::vector<analysis::SeriesResult> results;
  analysis::analyse_run(analysis::RunRequest{settings, size, threads, work_space, samples_of, {}},
                        [&](analysis::SeriesResult& r) { results.push_back(std::move(r)); });
  return results;
}

std::string stop_text(const analysis::SeriesResult& r, const analysis::Settings& settings,
                      std::int64_t samples) {
  textio::Sink lines;
  report::write_series_stop(lines, r, static_cast<std::int32_t>(samples), settings.threshold);
  std::string text;
  for (const std::string& line : diagnostics::lines_of(lines.text()))
    text += (text.empty() ? "" : "; ") + line;
  return text;
}

std::vector<OriginForecasts> origin_forecasts(std::span<const float> values,
                                              const analysis::Settings& settings, int first_origin,
                                              int origins, int threads) {
  const numeric::FftPlan fft(settings.frame_length);
  const backtest::Settings b = analysis::backtest_settings(settings);
  const backtest::SeriesFrames frames =
      backtest::transform_series(values, b, fft, parallel::Threads{threads});
  std::vector<OriginForecasts> out(static_cast<std::size_t>(std::max(origins, 0)));
  parallel::for_each_index(origins, parallel::Threads{threads}, [&](std::int64_t i) {
    backtest::OriginAnalysis a =
        backtest::analyse_origin(frames, first_origin + static_cast<int>(i), b, fft);
    OriginForecasts& o = out[i];
    o.origin = a.origin;
    o.as_specified = std::move(a.as_specified);
    o.changes = std::move(a.changes);
    o.levels = std::move(a.levels);
    if (o.changes.forecast)
      o.changes_intervals = forecast::forecast_intervals(*o.changes.forecast, settings.interval_levels);
    if (o.levels.forecast)
      o.levels_intervals = forecast::forecast_intervals(*o.levels.forecast, settings.interval_levels);
  });
  return out;
}

}  // namespace tramel::python
