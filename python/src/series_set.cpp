// A set of series analysed as a run's series, the checks of what the module is given, the
// words of a stop, and the forecasts of a backtest's origins.
#include "series_set.hpp"

#include <cmath>
#include <limits>
#include <new>

#include "diagnostics/diagnostics.hpp"
#include "parallel/parallel.hpp"
#include "report/report.hpp"
#include "textio/textio.hpp"

namespace tramel::python {

namespace {

std::string number_text(double v) {
  std::string s = std::to_string(v);
  while (s.size() > 1 && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

std::string settings_problem(const analysis::Settings& s, std::int64_t samples) {
  if (s.frame_length < 5)
    return "Frame length = " + std::to_string(s.frame_length) + " < 5: a frame needs 5 samples or more";
  if (samples > std::numeric_limits<std::int32_t>::max())
    return "a series of " + std::to_string(samples) + " samples is longer than the " +
           std::to_string(std::numeric_limits<std::int32_t>::max()) + " the program reads";
  const std::int64_t frames = samples / s.frame_length;
  if (frames < 7)
    return "No. frames " + std::to_string(frames) + " < 7 lb " + std::to_string(s.frame_length) +
           ": " + std::to_string(samples) + " samples make " + std::to_string(frames) +
           " whole frames of " + std::to_string(s.frame_length) + ", and the analysis needs 7";
  if (s.first_bin < 1 || s.last_bin > s.frame_length / 2 || s.first_bin >= s.last_bin)
    return "the band " + std::to_string(s.first_bin) + " to " + std::to_string(s.last_bin) +
           " is not inside the bins 1 to " + std::to_string(s.frame_length / 2) +
           " (frame / 2) with its first bin below its last";
  if (!(s.taper_percent >= 0.0f && s.taper_percent <= 25.0f))
    return "Taper % not in range (0,25) " + number_text(s.taper_percent);
  if (!(s.threshold >= 0.0f && s.threshold < 1.0f))
    return "Coherence threshold " + number_text(s.threshold) +
           " is out in unit interval: it must be at least 0 and below 1";
  if (s.lags < 1) return "No. of lags " + std::to_string(s.lags) + " < 1";
  if (s.frames_ahead < 1 || s.frames_ahead > 10)
    return "No. of frames ahead for forecasting " + std::to_string(s.frames_ahead) +
           " is out of bounds: 1 to 10";
  for (const float level : s.interval_levels)
    if (!(level > 0.0f && level < 100.0f))
      return "intervals: each level is a percentage above 0 and below 100, not " + number_text(level);
  if (s.model == analysis::Model::AsSpecified && !s.interval_levels.empty())
    return "intervals need a model with intervals: changes, levels or auto";
  if (s.model == analysis::Model::AsSpecified && s.backtest)
    return "the backtest needs the model changes, levels or auto (it scores as-specified beside them)";
  if (s.backtest && s.backtest_origins < 1)
    return "the backtest needs 1 origin or more, not " + std::to_string(s.backtest_origins);
  return {};
}

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
  const numeric::FftPlan fft(settings.frame_length);
  const analysis::Schedule schedule =
      analysis::schedule_series(settings, size, threads, work_space);
  const analysis::Context context{fft, &work_space, schedule.per_series};

  std::vector<analysis::SeriesResult> results;
  numeric::ProbabilityFallback fallback;
  const auto samples_of = [&](int j) {
    const std::span<const float> s = set.series(j);
    return analysis::Samples(s.begin(), s.end(), work_space.store());
  };
  for (int first = 0; first < set.count; first += schedule.series_at_once) {
    analysis::Batch batch = analysis::analyse_batch(
        analysis::BatchRequest{first, std::min(schedule.series_at_once, set.count - first),
                               settings, context, samples_of},
        fallback);
    fallback = batch.fallback;
    const bool stopped = batch.stopped();
    for (analysis::SeriesResult& r : batch.series) results.push_back(std::move(r));
    if (stopped) break;
  }
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
