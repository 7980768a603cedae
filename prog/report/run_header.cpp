// The sample line and the run header: rate or interval, resolution, frames, frame length, pass
// band, number of band frequencies, forecast horizon, VAR lags and taper, in one of three unit
// variants; and the lines that close a run.
#include <string>

#include "report/report.hpp"

namespace tramel::report {

using namespace textio::literals;

namespace {

using control::RunPlan;
using textio::write;

// kHz mode: the rate in kHz, the resolution in Hz, the pass band in kHz.
void write_khz(const RunPlan& plan, Sink& report) {
  constexpr auto kRate = "(' Sampling rate =',f12.3,' kHz',/)"_format;
  constexpr auto kResolution =
      "(' Resolution Bandwidth = ',f10.3,' Hz.',2x,'No. Frames ',i6,1x,'. Frame Length ',i7,/)"_format;
  constexpr auto kBand = "(' Passband (',f9.3,2x,f10.3,' ) kHz')"_format;
  const double r = plan.spacing.rate_khz();
  const int lb = plan.frame_length;
  write(report, kRate, plan.spacing.rate_khz());
  write(report, kResolution, static_cast<float>(1000.0 * r / lb), plan.frames, lb);
  write(report, kBand, static_cast<float>(plan.first_bin * r / lb),
        static_cast<float>(plan.last_bin * r / lb));
}

// Hz mode: the run's rate is in kHz; everything is printed in Hz.
void write_hz(const RunPlan& plan, Sink& report) {
  constexpr auto kRate = "(' Sampling rate =',f12.3,' Hz',/)"_format;
  constexpr auto kResolution =
      "(' Resolution Bandwidth = ',f10.5,' Hz.',2x,'No. Frames ',i6,1x,'. Frame Length ',i6,/)"_format;
  constexpr auto kBand = "(' Passband (',f7.2,2x,f9.2,' ) Hz')"_format;
  const double r = plan.spacing.rate_khz();
  const int lb = plan.frame_length;
  write(report, kRate, static_cast<float>(1000.0 * r));
  write(report, kResolution, static_cast<float>(1000.0 * r / lb), plan.frames, lb);
  write(report, kBand, static_cast<float>(1000.0 * plan.first_bin * r / lb),
        static_cast<float>(1000.0 * plan.last_bin * r / lb));
}

// Time mode: the sampling interval, the frame duration T and the periods T/kl and T/ku, in
// the time unit (7-column fields).
void write_time(const RunPlan& plan, Sink& report) {
  constexpr auto kInterval = "(' Sampling interval = ',g12.6,1x,a7,/)"_format;
  constexpr auto kResolution =
      "(' Resolution Bandwidth = ',g10.4,1x,a7,2x,'No. Frames ',i7,1x,'. Frame Length ',i6,/)"_format;
  constexpr auto kBand = "(' Passband (',f9.2,2x,f9.2,' )',1x,a7)"_format;
  const std::string_view unit = plan.analysis.unit_text;
  const double t = plan.frame_length * static_cast<double>(plan.spacing.interval());
  write(report, kInterval, plan.spacing.interval(), unit);
  write(report, kResolution, static_cast<float>(t), unit, plan.frames, plan.frame_length);
  write(report, kBand, static_cast<float>(t / plan.first_bin),
        static_cast<float>(t / plan.last_bin), unit);
}

// The interval levels as a list: "80, 95".
std::string levels_text(std::span<const float> levels) {
  std::string text;
  for (const float level : levels) {
    if (!text.empty()) text += ", ";
    text += rules::number_text(level);
  }
  return text;
}

}  // namespace

void write_run_header(Sink& report, const RunPlan& plan, const analysis::Settings& settings,
                      bool model_asked) {
  constexpr auto kSample =
      "(/,2x,'First datum used ',i8,2x,'Last datum used',i8,2x,'Sample size = ',i8)"_format;
  constexpr auto kRule = "(60('='))"_format;
  constexpr auto kBins = "(/,7x,'No. of frequencies in band ',i6,/)"_format;
  constexpr auto kForecast = "(7x,'No. of frames forecasted = ',i3,2x,'VAR Lags = ',i2,/)"_format;
  constexpr auto kTaper = "(' % taper = ',f5.2,4x,'No. tapered at each end = ',i5,/)"_format;
  constexpr auto kFewTapered = "(' % Taper yields no. of tapered values < 2',/)"_format;
  constexpr auto kLeastSquares = "(7x,'Standard errors: least squares (--ols-errors)',/)"_format;
  constexpr auto kModel = "(7x,'Forecast model: ',a,' (',a,')',/)"_format;
  constexpr auto kIntervals = "(7x,'Forecast intervals: ',a,' per cent (--intervals)',/)"_format;
  constexpr auto kBacktest = "(7x,'Backtest over the last ',i4,' frames (--backtest)',/)"_format;
  constexpr auto kTransform = "(7x,'Scale of smooth: ',a,' (--transform)',/)"_format;
  constexpr auto kWeek =
      "(7x,'Frames of a day: auto also weighs a waveform for each day of the week, and frames of a week',/)"_format;
  constexpr auto kCalibrated =
      "(7x,'Forecast intervals calibrated to the backtest''s errors (',i2,' origins; each step ahead with',i2,' or more)',/)"_format;

  write(report, kSample, plan.first_datum, plan.last_datum, plan.sample_size);
  write(report, kRule);
  switch (plan.analysis.unit_mode) {
    case control::UnitMode::Kilohertz:
      write_khz(plan, report);
      break;
    case control::UnitMode::Hertz:
      write_hz(plan, report);
      break;
    case control::UnitMode::Time:
      write_time(plan, report);
      break;
  }
  write(report, kBins, plan.bin_count());
  write(report, kForecast, plan.analysis.frames_ahead, plan.analysis.lags);
  if (settings.errors == forecast::StandardErrors::LeastSquares) write(report, kLeastSquares);
  if (settings.model != analysis::Model::AsSpecified) {
    const std::string_view name = analysis::model_name(settings.model);
    const char* what =
        settings.model == analysis::Model::Changes ? "changes, a VAR of the frame-to-frame changes with their drift"
        : settings.model == analysis::Model::Levels ? "levels, a VAR of the levels with their means"
        : settings.model == analysis::Model::Smooth
            ? "smooth, the waveform smoothed from frame to frame and a damped local trend"
            : "auto, series by series the best model, or the best combined, by a backtest";
    write(report, kModel, what, model_asked ? "--model " + std::string(name) : std::string("the default for CSV data"));
  }
  if (settings.model == analysis::Model::Auto && rules::weighs_week(settings.frames_per_week, plan.frames))
    write(report, kWeek);
  if (settings.transform)
    write(report, kTransform, analysis::transform_name(*settings.transform));
  if (!settings.interval_levels.empty())
    write(report, kIntervals, levels_text(settings.interval_levels));
  if (settings.backtest) write(report, kBacktest, settings.backtest_origins);
  const int origins = analysis::backtest_origin_count(settings, plan.frames);
  if (!settings.interval_levels.empty() && origins >= backtest::kCalibrationOrigins)
    write(report, kCalibrated, origins, backtest::kCalibrationOrigins);
  if (plan.taper_percent > 0.0f) {
    // The count as the header states it; the coherence step applies the taper itself.
    std::int32_t tapered = control::round_whole(static_cast<double>(plan.taper_percent) *
                                                plan.frame_length * static_cast<double>(0.005f));
    if (tapered < 2) tapered = 0;
    write(report, kTaper, plan.taper_percent, tapered);
    if (tapered == 0) write(report, kFewTapered);
  }
}

void write_run_end(Sink& report, const RunPlan& plan) {
  constexpr auto kThreshold = "(7x,'Coherence threshold probability = ',f6.3)"_format;
  constexpr auto kColumns = "(/,7x,'Number of Data Columns = ',i2,/)"_format;
  write(report, kThreshold, plan.analysis.threshold);
  if (plan.series_count > 1) write(report, kColumns, plan.series_count);
}

}  // namespace tramel::report
