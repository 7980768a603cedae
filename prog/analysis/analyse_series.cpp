// The analysis of one series: describe, coherence, significant bins, fit, forecast,
// eigenvalues.
#include <algorithm>
#include <new>
#include <optional>

#include "analysis/analysis.hpp"

namespace tramel::analysis {

namespace {

// The last whole frames of the series (up to three), as they were read.
std::vector<float> last_frames(std::span<const float> values, int frame_length) {
  const std::size_t framed =
      values.size() / static_cast<std::size_t>(frame_length) * static_cast<std::size_t>(frame_length);
  const std::size_t shown = std::min(framed, 3 * static_cast<std::size_t>(frame_length));
  return std::vector<float>(values.begin() + static_cast<std::ptrdiff_t>(framed - shown),
                            values.begin() + static_cast<std::ptrdiff_t>(framed));
}

}  // namespace

backtest::Settings backtest_settings(const Settings& s) {
  backtest::Settings b;
  b.band = s.band();
  b.threshold = s.threshold;
  b.fdr_level = s.fdr_level;
  b.lags = s.lags;
  b.frames_ahead = s.frames_ahead;
  b.errors = s.errors;
  b.levels = s.interval_levels;
  return b;
}

namespace {

// The specified forecast, from the residual series (`values`) and the significant bins: the
// VAR-size check, the work space of the fit, the fit, the forecast and the eigenvalues.
void forecast_as_specified(SeriesResult& r, const Samples& values, const Settings& settings,
                           const Context& context) {
  const auto samples = static_cast<std::int64_t>(values.size());
  if (r.significant.empty()) {
    r.stop = SeriesStop::NoSignificantBins;
    return;
  }
  // The VAR must be small beside the sample, and its work space must be had.
  const auto bins = static_cast<std::int64_t>(r.significant.size());
  r.var_size = rules::var_size(bins, settings.lags);
  if (!rules::var_fits(bins, settings.lags, samples)) {
    r.stop = SeriesStop::VarTooLarge;
    return;
  }
  const std::int64_t frames = samples / settings.frame_length;
  if (context.work_space != nullptr &&
      !context.work_space->fits(WorkSpace::var_bytes(settings, frames, bins))) {
    r.stop = SeriesStop::VarWorkSpace;
    return;
  }

  // Fit the VAR to the frame coefficients of the significant bins.
  std::vector<int> bin_numbers;
  for (const coherence::SignificantBin& s : r.significant) bin_numbers.push_back(s.bin);
  try {
    // `values` holds the residual series now; its store stays with the series to the end, as
    // the work space counts it.
    const forecast::FrameCoefficients z =
        forecast::frame_coefficients(values, bin_numbers, context.fft, context.threads);
    r.fit = forecast::fit_var(z, settings.lags, settings.errors, context.threads);
    if (!r.fit) {
      r.stop = SeriesStop::NotPositiveDefinite;
      return;
    }

    // Forecast, and take the eigenvalues of the fitted system.
    const std::vector<float> ahead =
        forecast::forecast_coefficients(z, *r.fit, settings.frames_ahead);
    const forecast::WaveformSpectrum waveform{r.coherence.waveform_transform,
                                              r.coherence.waveform_std_dev, bin_numbers};
    r.forecast = forecast::synthesize_frames(ahead, waveform, context.fft);
    r.eigenvalues = forecast::companion_eigenvalues(*r.fit);
  } catch (const std::bad_alloc&) {
    r.stop = SeriesStop::FitWorkSpace;
  }
}

// The eigenvalues of a model's fitted VAR, as of the specified one: its companion matrix from
// the coefficients rounded to single precision.
forecast::Eigenvalues model_eigenvalues(const forecast::ModelFit& fit) {
  if (fit.lags < 1 || fit.variables < 1) return {};
  forecast::VarFit var;
  var.variables = fit.variables;
  var.lags = fit.lags;
  var.coefficients = fit.coefficients;
  return forecast::companion_eigenvalues(var);
}

// A model that follows the level: the significant bins ranked by coherence, Auto's choice by
// the backtest, the size rule, the fit and the forecast with its intervals, on the frames of
// the series as read.
void forecast_with_model(SeriesResult& r, const backtest::SeriesFrames& frames,
                         const Settings& settings, const Context& context) {
  const backtest::Settings bsettings = backtest_settings(settings);
  const int default_origins = backtest::default_origins(frames.frames);
  const int origins = settings.backtest_origins > 0 ? settings.backtest_origins : default_origins;
  if (settings.backtest || settings.model == Model::Auto)
    r.backtest = backtest::run_backtest(frames, origins, bsettings, context.fft, context.threads);
  forecast::ModelKind kind = settings.model == Model::Levels ? forecast::ModelKind::Levels
                                                             : forecast::ModelKind::Changes;
  // Auto chooses by the backtest over the default origins, whatever origins the report's
  // backtest was asked for (and so as the library's choose_model does).
  if (settings.model == Model::Auto)
    kind = backtest::choose_model(origins == default_origins ? *r.backtest
                                                             : backtest::run_backtest(frames, default_origins, bsettings,
                                                                                      context.fft, context.threads));
  r.model = kind == forecast::ModelKind::Levels ? Model::Levels : Model::Changes;

  const std::vector<forecast::RankedBin> ranked = backtest::rank_bins(
      r.significant, r.coherence.waveform_power, r.coherence.noise, settings.first_bin);
  // The drift of `changes`: as the backtest chose it; without a backtest the sample's mean change
  // (choosing would cost ten fits of the model).
  if (kind == forecast::ModelKind::Changes && r.backtest) r.drift = r.backtest->drift;
  const forecast::ModelSize size{frames.frames, settings.lags, kind, settings.frame_length};
  r.model_run = forecast::run_model(frames.raw, ranked, size, settings.frames_ahead, context.fft,
                                    {r.drift ? r.drift->drift : forecast::Drift{}, {}});
  const forecast::ModelRun& run = *r.model_run;
  if (!run.forecast) {
    r.stop = SeriesStop::ModelFitFailed;
    return;
  }
  r.forecast = run.forecast->frames;
  r.intervals = forecast::forecast_intervals(*run.forecast, settings.interval_levels);
  r.eigenvalues = model_eigenvalues(*run.fit);
}

}  // namespace

SeriesResult analyse_series(int series, Samples values, const Settings& settings,
                            const Context& context, numeric::ProbabilityFallback fallback) {
  SeriesResult r;
  r.series = series;
  r.fallback = fallback;
  r.model = settings.model;

  // Describe it.
  r.statistics = describe_series(values);
  r.last_frames = last_frames(values, settings.frame_length);

  // The models that follow the level take the frames as read, before the coherence step
  // leaves the residual in their place.
  std::optional<backtest::SeriesFrames> frames;
  if (settings.model != Model::AsSpecified) {
    try {
      frames = backtest::transform_series(values, backtest_settings(settings), context.fft,
                                          context.threads);
    } catch (const std::bad_alloc&) {
      r.stop = SeriesStop::CoherenceWorkSpace;
      return r;
    }
  }

  // Find its coherence and significant bins.
  try {
    r.coherence = coherence::find_coherence(values, settings.band(), context.fft, fallback,
                                            context.threads);
  } catch (const std::bad_alloc&) {
    r.stop = SeriesStop::CoherenceWorkSpace;
    return r;
  }
  r.fallback = r.coherence.fallback;
  r.significant = coherence::select_bins(r.coherence.probabilities, settings.first_bin,
                                         settings.selection());

  // Fit and forecast.
  if (!frames) {
    forecast_as_specified(r, values, settings, context);
    return r;
  }
  try {
    forecast_with_model(r, *frames, settings, context);
  } catch (const std::bad_alloc&) {
    r.stop = SeriesStop::FitWorkSpace;
  }
  return r;
}

std::string_view model_name(Model model) {
  switch (model) {
    case Model::Changes:
      return "changes";
    case Model::Levels:
      return "levels";
    case Model::Auto:
      return "auto";
    case Model::AsSpecified:
      break;
  }
  return "as-specified";
}

std::optional<Model> model_named(std::string_view name) {
  for (const Model m : {Model::AsSpecified, Model::Changes, Model::Levels, Model::Auto})
    if (model_name(m) == name) return m;
  return std::nullopt;
}

SeriesResult analyse_series(std::span<const float> values, const Settings& settings) {
  const numeric::FftPlan fft(settings.frame_length);
  return analyse_series(1, Samples(values.begin(), values.end()), settings, Context{fft, nullptr, parallel::Threads{}},
                        numeric::ProbabilityFallback{});
}

namespace {

// "bin 4", "bins 4 and 5", "bins 3, 4 and 5".
std::string bins_text(std::span<const int> bins) {
  std::string s = bins.size() == 1 ? "bin " : "bins ";
  for (std::size_t i = 0; i < bins.size(); ++i) {
    if (i > 0) s += i + 1 == bins.size() ? " and " : ", ";
    s += std::to_string(bins[i]);
  }
  return s;
}

}  // namespace

std::vector<diagnostics::Warning> series_warnings(const SeriesResult& r, const Settings& settings,
                                                  const diagnostics::Place& where) {
  std::vector<diagnostics::Warning> warnings;
  const std::string series = where.run_and_series();
  const auto warn = [&](const std::string& text, bool note = false) {
    warnings.push_back(
        diagnostics::Warning{series.empty() ? text : series + ": " + text, where, note});
  };
  if (r.statistics.zero_variance)
    warn("the series has no spread (a constant value, or fewer than two values); its standard "
         "deviation is taken as 1 (\"Variance in STAT = 0 & is set = 1.\")");
  if (r.coherence.taper_note)
    warn("the taper was refused and the frames are not tapered (see the report)");
  if (!r.coherence.notes.empty())
    warn("the coherence probability of " + std::to_string(r.coherence.notes.size()) +
         " of the band's bins could not be computed and took the last one computed (the report "
         "has the messages); a series with values that are not numbers (NaN, Inf) does that");
  if (r.fit && !r.fit->standard_errors_defined())
    warn("the fit has " + std::to_string(r.fit->residual_degrees_of_freedom) +
         " residual degrees of freedom (fewer frames than its regressors need): its standard "
         "errors and t values are not numbers or infinite, so neither they nor the t rule of "
         "the forecast mean anything; use fewer lags, a higher threshold or more data");
  if (r.model_run) {
    const forecast::BinChoice& choice = r.model_run->choice;
    const std::string model(model_name(r.model));
    if (r.significant.empty())
      warn("no bin of the band is significant at the threshold; the " + model +
           " model forecasts the frame's level alone, and its shape from the mean waveform");
    if (!choice.left_out.empty())
      warn("the " + model + " model leaves out " + std::to_string(choice.left_out.size()) + " of the " +
           std::to_string(r.significant.size()) + " significant bins, the least coherent (" +
           bins_text(choice.left_out) + "): the frames cannot estimate more regressors with " +
           std::to_string(forecast::kDegreesPerRegressor) +
           " residual degrees of freedom for each (the size rule)",
           true);
    if (choice.fits && choice.lags < settings.lags)
      warn("the " + model + " model keeps " + std::to_string(choice.lags) + " of the " +
           std::to_string(settings.lags) + " lags asked for: the frames cannot estimate more (the "
           "size rule)",
           true);
  }
  if (!r.eigenvalues.converged && r.completed())
    warn("the eigenvalue iteration gave up after 30 iterations (\"Too many iterations in "
         "hqr\"); the eigenvalues it did not reach are shown as 0");
  return warnings;
}

}  // namespace tramel::analysis
