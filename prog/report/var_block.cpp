// The VAR block of a series and its eigenvalue block.
#include <algorithm>
#include <cmath>

#include "report/report.hpp"

namespace tramel::report {
namespace {

using namespace textio::literals;

// The lines of the VAR block.
namespace line {
constexpr auto significant =
    "(/,2x,'Number of Significant Frequencies used in the VAR Fit = ',i2,/)"_format;
constexpr auto table_head = "(5x,'Signal Coherence Probabilites & Their Frequency Bins')"_format;
constexpr auto table_rule = "(5x,47('='))"_format;
constexpr auto pairs = "(4(f7.4,' - ',i3,1x))"_format;
constexpr auto settings_rule = "(2x,47('='))"_format;
constexpr auto settings = "(5x,i2,' Frames Forecasted',2x,'Number of Lags = ',i2)"_format;
constexpr auto coef_rule = "(2x,47('-'))"_format;
constexpr auto coef_head = "(3x,'VAR Coefficients',7x,'Std Error',5x,'t Value',/)"_format;
constexpr auto coef = "(2x,'b(',i2,',',i2,') = ',f9.3,3x,f9.3,3x,f9.3)"_format;
constexpr auto rsq = "(/,7x,'R Square = ',f7.3,/)"_format;
constexpr auto end = "(/,2x,37('*'))"_format;
constexpr auto eigen_khz =
    "(3x,'Magnitudes',4x,'Periods - System Eigenvalues in units of milseconds',/)"_format;
constexpr auto eigen_hz =
    "(3x,'Magnitudes',4x,'Periods - System Eigenvalues in units of seconds',/)"_format;
constexpr auto eigen_time =
    "(3x,'Magnitudes',4x,'Periods - System Eigenvalues in units of ',a7,/)"_format;
constexpr auto eigen = "(1x,i2,2x,f8.4,6x,f6.2)"_format;
constexpr auto eigen_zero = "(1x,i2,2x,f8.4,6x,'Zero Frequency')"_format;
}  // namespace line

using Bins = std::span<const coherence::SignificantBin>;

// One table row: pairs first..first+count-1 (0-based) of probability and bin, then the
// empty line.
void pair_row(Sink& report, Bins bins, int first, int count) {
  textio::Item items[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < count; ++k) {
    items[2 * k] = textio::Item(bins[first + k].probability);
    items[2 * k + 1] = textio::Item(static_cast<std::int32_t>(bins[first + k].bin));
  }
  textio::write(report, line::pairs, std::span<const textio::Item>(items, 2 * count));
  textio::list(report);
}

// The significant bins, four pairs to a row.
void pair_table(Sink& report, Bins bins) {
  const int m = static_cast<int>(bins.size());
  if (m <= 4) {
    pair_row(report, bins, 0, m);
    return;
  }
  for (int g = 0; g < m / 4; ++g) pair_row(report, bins, 4 * g, 4);
  textio::list(report);
  if (m % 4 != 0) pair_row(report, bins, 4 * (m / 4), m % 4);
}

// The table of the significant bins under its heading, and the rule before the settings.
void bin_table(Sink& report, Bins bins) {
  textio::write(report, line::table_head);
  textio::write(report, line::table_rule);
  if (!bins.empty()) pair_table(report, bins);
  textio::write(report, line::settings_rule);
}

// The coefficients under their heading, equation by equation, lag by lag, variable by
// variable, each with its standard error and t value (both in single precision).
template <class Fit>
void coefficient_lines(Sink& report, const Fit& fit) {
  textio::write(report, line::coef_rule);
  textio::write(report, line::coef_head);
  for (int i = 0; i < fit.variables; ++i) {
    for (int u = 0; u < fit.regressors(); ++u) {
      const std::size_t g = static_cast<std::size_t>(i) * static_cast<std::size_t>(fit.regressors()) +
                            static_cast<std::size_t>(u);
      const auto b = static_cast<float>(fit.coefficients[g]);
      const auto se = static_cast<float>(fit.std_errors[g]);
      textio::write(report, line::coef, i + 1, u + 1, b, se, b / se);
    }
  }
}

}  // namespace

void write_var_block(Sink& report, const VarReport& var) {
  const forecast::VarFit& fit = var.fit;
  textio::write(report, line::significant, static_cast<std::int32_t>(var.bins.size()));
  bin_table(report, var.bins);  // a VAR has at least one bin
  textio::write(report, line::settings, var.frames_ahead, fit.lags);
  coefficient_lines(report, fit);
  textio::write(report, line::rsq, fit.r_square);
  textio::write(report, line::end);
}

namespace {

// How the significant bins were selected: the chance that P leaves over the band, or the false
// discovery rate.
void write_selection(Sink& report, const coherence::BinSelection& selection, int band_bins) {
  constexpr auto kChance = "(5x,'Bins over P = ',f8.6,' by chance alone: ',f8.3,' of the ',i6,' in the band',/)"_format;
  constexpr auto kFdr =
      "(5x,'Significant bins: Benjamini-Hochberg at a false discovery rate of ',f6.4,' over the ',i6,' in the band',/)"_format;
  if (selection.fdr_level)
    textio::write(report, kFdr, *selection.fdr_level, static_cast<std::int32_t>(band_bins));
  else
    textio::write(report, kChance, selection.threshold,
                  static_cast<float>(rules::chance_bins(band_bins, selection.threshold)),
                  static_cast<std::int32_t>(band_bins));
}

}  // namespace

void write_model_block(Sink& report, const ModelReport& model) {
  constexpr auto kModel = "(5x,'Forecast model: ',a)"_format;
  constexpr auto kLeftOut = "(5x,'Significant bins left out by the size rule:',20(1x,i3))"_format;
  constexpr auto kFewerLags = "(5x,'Lags kept by the size rule: ',i2,' of ',i2)"_format;
  constexpr auto kLevelsHead = "(/,3x,'Mean of each variable')"_format;
  constexpr auto kChangesHead = "(/,3x,'Drift: the mean change of each variable')"_format;
  constexpr auto kMean = "(2x,'c(',i2,') = ',f9.3)"_format;
  constexpr auto kDriftHead = "(/,3x,'Drift: the mean change of each variable, ',a)"_format;
  constexpr auto kDriftChoice = "(3x,'Drift chosen by the backtest: ',a,' (lowest mean MASE at ',i2,' origins)')"_format;
  const forecast::ModelRun& run = model.run;
  const forecast::ModelFit& fit = *run.fit;
  const bool levels = fit.kind == forecast::ModelKind::Levels;
  constexpr auto kCounts = "(/,2x,'Number of Significant Frequencies = ',i3,',',i3,' of them in the model',/)"_format;
  textio::write(report, kCounts, static_cast<std::int32_t>(model.bins.size()),
                static_cast<std::int32_t>(run.choice.kept.size()));
  write_selection(report, model.selection, model.band_bins);
  bin_table(report, model.bins);
  textio::write(report, line::settings, model.frames_ahead, fit.lags);
  if (fit.lags < model.lags_asked) textio::write(report, kFewerLags, fit.lags, model.lags_asked);
  textio::write(report, kModel, levels ? "levels (bin 0, the frame's level, and the bins above)"
                                       : "changes (bin 0, the frame's level, and the bins above)");
  if (!run.choice.left_out.empty()) {
    std::vector<textio::Item> bins;
    for (const int b : run.choice.left_out) bins.emplace_back(static_cast<std::int32_t>(b));
    textio::write(report, kLeftOut, std::span<const textio::Item>(bins));
  }
  coefficient_lines(report, fit);
  // `changes`: the drift its forecast carried, and how the backtest chose it.
  const bool sample_drift = levels || !run.forecast || run.forecast->drift_rule == forecast::Drift{};
  if (levels)
    textio::write(report, kLevelsHead);
  else if (sample_drift)
    textio::write(report, kChangesHead);
  else
    textio::write(report, kDriftHead, forecast::drift_name(run.forecast->drift_rule));
  const std::vector<double>& values = sample_drift ? fit.mean : run.forecast->drift;
  for (int i = 0; i < fit.variables; ++i)
    textio::write(report, kMean, i + 1, static_cast<float>(values[static_cast<std::size_t>(i)]));
  if (!levels && model.drift)
    textio::write(report, kDriftChoice, forecast::drift_name(model.drift->drift),
                  static_cast<std::int32_t>(model.drift->origins));
  textio::write(report, line::rsq, static_cast<float>(fit.r_square));
  textio::write(report, line::end);
}

void write_smooth_block(Sink& report, const SmoothReport& smooth) {
  constexpr auto kCounts = "(/,2x,'Number of Significant Frequencies = ',i3,/)"_format;
  constexpr auto kModel = "(5x,'Forecast model: ',a)"_format;
  constexpr auto kFit = "(5x,a)"_format;
  constexpr auto kSpread = "(5x,'One-step error sd: level',g12.4,', waveform',g12.4,' a sample',a)"_format;
  if (smooth.with_bins) {
    textio::write(report, kCounts, static_cast<std::int32_t>(smooth.bins.size()));
    write_selection(report, smooth.selection, smooth.band_bins);
    bin_table(report, smooth.bins);
    constexpr auto kAhead = "(5x,i2,' Frames Forecasted')"_format;
    textio::write(report, kAhead, smooth.frames_ahead);
  }
  textio::write(report, kModel, std::string(backtest::method_name(smooth.fit.method)) +
                                    " (the waveform smoothed from frame to frame, the level a local trend)");
  textio::write(report, kFit, analysis::smooth_text(smooth.fit.model));
  const smoothing::State& s = smooth.fit.model.state;
  const double level = s.level_squares / static_cast<double>(std::max<std::int64_t>(
                                             s.level_errors - smooth.fit.model.weights.level.parameters(), 1));
  const double waveform = (s.frames < 3 ? s.waveform_first_squares
                                        : s.waveform_later_squares / std::max(s.waveform_later_errors, 1)) /
                          std::max(smooth.fit.model.frame_length, 1);
  textio::write(report, kSpread, static_cast<float>(std::sqrt(level)), static_cast<float>(std::sqrt(waveform)),
                smooth.fit.model.transform == smoothing::Transform::Log ? " (log scale)" : "");
}

void write_choice(Sink& report, const ChoiceReport& choice) {
  constexpr auto kChosen = "(5x,'Chosen by the backtest: ',a)"_format;
  constexpr auto kWhy = "(5x,'Because: ',a)"_format;
  constexpr auto kCalibrated = "(5x,'Intervals calibrated to the backtest''s errors at ',i2,' of ',i2,' steps')"_format;
  if (!choice.reason.empty()) {
    textio::write(report, kChosen, choice.forecast);
    textio::write(report, kWhy, choice.reason);
  }
  if (choice.calibrated_steps > 0) textio::write(report, kCalibrated, choice.calibrated_steps, choice.steps);
  if (!choice.reason.empty() || choice.calibrated_steps > 0 || choice.closes) textio::write(report, line::end);
}

void write_series_stop(Sink& report, const analysis::SeriesResult& r, std::int32_t sample_size,
                       float threshold) {
  using analysis::SeriesStop;
  switch (r.stop) {
    case SeriesStop::None:
      break;
    case SeriesStop::CoherenceWorkSpace:
      write_work_space_failure(report, WorkSpace::NoiseFrames);
      break;
    case SeriesStop::NoSignificantBins:
      write_no_significant_bins(report);
      break;
    case SeriesStop::VarTooLarge:
      write_var_too_large(report, sample_size, r.var_size, threshold);
      break;
    case SeriesStop::VarWorkSpace:
      write_work_space_failure(report, WorkSpace::Var, static_cast<int>(r.significant.size()),
                               r.var_size);
      break;
    case SeriesStop::FitWorkSpace:
      write_work_space_failure(report, WorkSpace::Fit);
      break;
    case SeriesStop::NotPositiveDefinite:
      write_fit_failure(report);
      break;
    case SeriesStop::ModelFitFailed:
      write_model_fit_failure(report);
      break;
  }
}

void write_model_fit_failure(Sink& report) {
  constexpr auto kFailure = "(' The least-squares fit of the forecast model failed:',/,' its variables are linearly dependent')"_format;
  textio::write(report, kFailure);
}

void write_eigenvalues(Sink& report, const forecast::Eigenvalues& eigenvalues,
                       const control::AnalysisSettings& settings) {
  if (!eigenvalues.converged) textio::list(report, "Too many iterations in hqr");
  switch (settings.unit_mode) {
    case control::UnitMode::Kilohertz:
      textio::write(report, line::eigen_khz);
      break;
    case control::UnitMode::Hertz:
      textio::write(report, line::eigen_hz);
      break;
    case control::UnitMode::Time:
      textio::write(report, line::eigen_time, settings.unit_text);
      break;
  }
  int i = 0;
  for (const forecast::Eigenvalue& e : eigenvalues.values) {
    ++i;
    // Real eigenvalues, and the member of a complex pair with a negative angle, have no
    // positive period.
    if (e.period > 1.0e-7f)
      textio::write(report, line::eigen, i, e.magnitude, e.period);
    else
      textio::write(report, line::eigen_zero, i, e.magnitude);
  }
  textio::list(report);
}

}  // namespace tramel::report
