// The analysis of one series: describe, coherence, significant bins, fit, forecast,
// eigenvalues.
#include <algorithm>
#include <charconv>
#include <cmath>
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

int backtest_origin_count(const Settings& s, int frames) {
  const bool smooth = s.model == Model::Smooth || s.model == Model::Auto;
  if (s.model == Model::AsSpecified || (!smooth && !s.backtest)) return 0;
  const int asked = s.backtest_origins > 0 ? s.backtest_origins
                    : smooth ? backtest::default_origins_with_smooth(frames)
                             : backtest::default_origins(frames);
  const int least = rules::backtest_minimum_frames(s.model);
  return std::clamp(asked, 0, std::max(frames - least, 0));
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
  const std::vector<int> bin_numbers = coherence::bin_numbers(r.significant);
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

// The model Auto's choice amounts to, or Auto itself for as-specified (whose fit it does not
// keep), seasonal naive and combinations.
Model chosen_model(const backtest::Choice& choice) {
  if (choice.methods.size() != 1) return Model::Auto;
  switch (choice.methods.front()) {
    case backtest::Method::AsSpecified:
    case backtest::Method::SeasonalNaive:
      return Model::Auto;
    case backtest::Method::Changes:
      return Model::Changes;
    case backtest::Method::Levels:
      return Model::Levels;
    case backtest::Method::Smooth:
    case backtest::Method::SmoothLog:
    case backtest::Method::SmoothWeekdays:
    case backtest::Method::SmoothWeeks:
      break;
  }
  return Model::Smooth;
}

// The smooth fits of a series (on the aligned samples): on the scales its transform asks for
// (the log scale only where every value is positive) and, for Auto on days of data sampled
// hourly or faster with 3 weeks or more, with a waveform per day of the week and in frames of a
// week.
std::vector<backtest::SmoothFit> smooth_fits(SeriesResult& r, const backtest::SeriesFrames& frames,
                                             const Settings& settings) {
  const std::span<const float> values = frames.values();
  const Transform asked = settings.transform.value_or(Transform::Auto);
  const bool positive = smoothing::transform_applies(values, smoothing::Transform::Log);
  r.log_refused = asked == Transform::Log && !positive;
  std::vector<smoothing::Transform> scales;
  if (asked != Transform::Log || !positive) scales.push_back(smoothing::Transform::None);
  if (asked != Transform::None && positive) scales.push_back(smoothing::Transform::Log);
  const std::vector<int> bins = coherence::bin_numbers(r.significant);
  const int lb = settings.frame_length;
  std::vector<backtest::SmoothFit> fits;
  for (const smoothing::Transform t : scales) {
    backtest::SmoothFit fit;
    fit.method = t == smoothing::Transform::Log ? backtest::Method::SmoothLog : backtest::Method::Smooth;
    fit.series = t == smoothing::Transform::None ? smoothing::model_series(frames.samples, lb)
                                                 : smoothing::model_series(values, lb, t);
    fit.model = smoothing::fit_model(fit.series, {bins});
    fits.push_back(std::move(fit));
  }
  if (settings.model == Model::Auto && rules::weighs_week(settings.frames_per_week, frames.frames)) {
    const int week = settings.frames_per_week;
    smoothing::Series days = fits.front().series;
    smoothing::Model weekdays = smoothing::fit_model(days, {bins, week});
    fits.push_back({backtest::Method::SmoothWeekdays, days, 1, std::move(weekdays)});
    smoothing::Model weeks =
        smoothing::fit_model(smoothing::reframed(days, static_cast<std::int64_t>(days.frames) * lb, lb * week), {});
    fits.push_back({backtest::Method::SmoothWeeks, std::move(days), week, std::move(weeks)});
  }
  return fits;
}

// The methods a model chooses between.
std::vector<backtest::Method> candidates(Model model, std::span<const backtest::SmoothFit> fits) {
  using backtest::Method;
  std::vector<Method> out;
  if (model == Model::Changes) return {Method::Changes};
  if (model == Model::Levels) return {Method::Levels};
  if (model == Model::Auto) out = {Method::AsSpecified, Method::Changes, Method::Levels, Method::SeasonalNaive};
  for (const backtest::SmoothFit& f : fits) out.push_back(f.method);
  return out;
}

// The forecast of one method from the whole sample.
std::optional<backtest::MethodForecast> final_forecast(backtest::Method m, SeriesResult& r,
                                                       const backtest::SeriesFrames& frames,
                                                       std::span<const backtest::SmoothFit> fits,
                                                       const Settings& settings, const Context& context) {
  using backtest::Method;
  switch (m) {
    case Method::Changes:
    case Method::Levels: {
      const forecast::ModelKind kind = m == Method::Levels ? forecast::ModelKind::Levels : forecast::ModelKind::Changes;
      const std::vector<forecast::RankedBin> ranked = backtest::rank_bins(
          r.significant, r.coherence.waveform_power, r.coherence.noise, settings.first_bin);
      const forecast::ModelSize size{frames.frames, settings.lags, kind, settings.frame_length};
      // The drift of `changes`: as the backtest chose it; without a backtest the sample's mean
      // change (choosing would cost ten fits of the model).
      std::optional<backtest::DriftChoice> drift;
      if (kind == forecast::ModelKind::Changes && r.backtest && r.backtest->drift.origins > 0)
        drift = r.backtest->drift;
      forecast::ModelRun run = forecast::run_model(frames.raw, ranked, size, settings.frames_ahead, context.fft,
                                                   {drift ? drift->drift : forecast::Drift{}, {}});
      if (!run.forecast) return std::nullopt;
      backtest::MethodForecast f = backtest::method_forecast(*run.forecast);
      if (!r.model_run) {
        r.eigenvalues = model_eigenvalues(*run.fit);
        r.model_run = std::move(run);
        if (drift) r.drift = std::move(drift);
      }
      return f;
    }
    case Method::AsSpecified: {
      const backtest::OriginAnalysis a =
          backtest::analyse_origin(frames, frames.frames, backtest_settings(settings), context.fft);
      if (a.as_specified.empty()) return std::nullopt;
      return backtest::method_forecast(a.as_specified);
    }
    case Method::SeasonalNaive:
      return backtest::seasonal_naive(frames.values(), frames.frame_length, settings.frames_ahead);
    case Method::Smooth:
    case Method::SmoothLog:
    case Method::SmoothWeekdays:
    case Method::SmoothWeeks:
      break;
  }
  for (const backtest::SmoothFit& fit : fits) {
    if (fit.method != m) continue;
    if (!r.smooth) r.smooth = SeriesResult::Smooth{m, fit.model};
    const int end[] = {frames.frames};
    return backtest::smooth_forecasts(fit, end, settings.frames_ahead).front();
  }
  return std::nullopt;
}

// A model that follows the level: the backtest (when asked for, and always for Smooth's scale
// and Auto's choice), the methods chosen, their fits and forecasts on the frames of the series
// counted back from its last sample, combined when Auto combines them, and the intervals,
// calibrated to the backtest's errors where it has the origins for it.
void forecast_with_model(SeriesResult& r, const backtest::SeriesFrames& frames, const Settings& settings,
                         const Context& context) {
  const bool smooth = settings.model == Model::Smooth || settings.model == Model::Auto;
  const std::vector<backtest::SmoothFit> fits = smooth ? smooth_fits(r, frames, settings) : std::vector<backtest::SmoothFit>();
  const std::vector<backtest::Method> methods = candidates(settings.model, fits);
  // Smooth and auto choose (and calibrate) by the backtest over the default origins, whatever
  // origins --backtest K asks for, so that a backtest never changes the forecast; the table of
  // K origins is then a backtest of its own (`reported`), put in place at the end.
  std::optional<backtest::SeriesBacktest> reported;
  if (settings.backtest || smooth) {
    const backtest::Settings bsettings = backtest_settings(settings);
    const auto run = [&](int origins) {
      return backtest::run_backtest(
          backtest::BacktestRequest{frames, origins, bsettings, context.fft, fits,
                                    settings.model != Model::Smooth, settings.model == Model::Auto},
          context.threads);
    };
    Settings by_default = settings;
    by_default.backtest_origins = 0;
    const int origins = backtest_origin_count(settings, frames.frames);
    const int default_count = backtest_origin_count(by_default, frames.frames);
    r.backtest = run(smooth ? default_count : origins);
    if (smooth && settings.backtest && origins != default_count) reported = run(origins);
  }
  const auto put_reported = [&] {
    if (reported) r.backtest = std::move(reported);
  };
  backtest::Choice choice;
  if (methods.size() > 1) choice = backtest::choose(*r.backtest, methods, settings.model == Model::Auto);
  if (choice.methods.empty()) {
    // Nothing to choose between, or no candidate forecast at every origin it could: smooth
    // (on the data's scale, the first fit) for smooth and auto.
    choice.methods = {fits.empty() ? methods.front() : fits.front().method};
    choice.weights = {1.0};
  }

  std::vector<backtest::MethodForecast> forecasts;
  for (std::size_t k = 0; k < choice.methods.size(); ++k) {
    std::optional<backtest::MethodForecast> f =
        final_forecast(choice.methods[k], r, frames, fits, settings, context);
    if (!f) {
      r.stop = SeriesStop::ModelFitFailed;
      put_reported();
      return;
    }
    forecasts.push_back(std::move(*f));
  }
  const backtest::MethodForecast forecast = backtest::combine(choice, forecasts);
  r.model = settings.model == Model::Auto ? chosen_model(choice) : settings.model;
  r.forecast = forecast.values;
  if (r.backtest) {
    backtest::Calibration calibration =
        backtest::calibrate(*r.backtest, backtest::choice_forecasts(*r.backtest, choice));
    if (calibration.calibrated() || forecast.std_dev.empty()) r.calibration = std::move(calibration);
  }
  r.intervals = backtest::intervals(forecast, settings.interval_levels,
                                    r.calibration ? &*r.calibration : nullptr);
  if (methods.size() > 1) r.choice = std::move(choice);
  put_reported();
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
  if (settings.model != Model::AsSpecified) {
    // The frames counted back from the last sample: those before the first whole frame go.
    r.first_sample = static_cast<std::int64_t>(values.size() % static_cast<std::size_t>(settings.frame_length));
    values.erase(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(r.first_sample));
  }
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
  // The models work on the frames as read; the residual left in `values` goes.
  values.clear();
  values.shrink_to_fit();
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
    case Model::Smooth:
      return "smooth";
    case Model::Auto:
      return "auto";
    case Model::AsSpecified:
      break;
  }
  return "as-specified";
}

std::optional<Model> model_named(std::string_view name) {
  for (const Model m : {Model::AsSpecified, Model::Changes, Model::Levels, Model::Smooth, Model::Auto})
    if (model_name(m) == name) return m;
  return std::nullopt;
}

std::string_view transform_name(Transform transform) {
  switch (transform) {
    case Transform::None:
      return "none";
    case Transform::Log:
      return "log";
    case Transform::Auto:
      break;
  }
  return "auto";
}

std::optional<Transform> transform_named(std::string_view name) {
  for (const Transform t : {Transform::None, Transform::Log, Transform::Auto})
    if (transform_name(t) == name) return t;
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
  if (r.log_refused)
    warn("the log scale needs every value positive, and the series has one that is not: smooth "
         "forecasts it on the data's scale");
  if (r.model_run) {
    const forecast::BinChoice& choice = r.model_run->choice;
    const bool levels = r.model_run->fit && r.model_run->fit->kind == forecast::ModelKind::Levels;
    const std::string model(model_name(r.model == Model::Auto ? (levels ? Model::Levels : Model::Changes) : r.model));
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

namespace {

std::string fixed(double value, int digits) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits).ptr;
  return std::string(buffer, end);
}

// Four significant digits.
std::string significant(double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 4).ptr;
  return std::string(buffer, end);
}

}  // namespace

std::string forecast_name(const SeriesResult& r) {
  if (!r.choice) {
    if (r.smooth) return std::string(backtest::method_name(r.smooth->method));
    return std::string(model_name(r.model));
  }
  const backtest::Choice& c = *r.choice;
  if (c.methods.size() == 1) return std::string(backtest::method_name(c.methods.front()));
  std::string text;
  for (std::size_t k = 0; k < c.methods.size(); ++k)
    text += (k > 0 ? " + " : "") + fixed(c.weights[k], 2) + " " + std::string(backtest::method_name(c.methods[k]));
  return text;
}

std::string choice_reason(const SeriesResult& r) {
  if (!r.choice || r.choice->methods.empty()) return {};
  const backtest::Choice& c = *r.choice;
  const std::string origins = std::to_string(c.origins) + (c.origins == 1 ? " origin" : " origins");
  std::string text;
  if (c.methods.size() == 1) {
    text = "the lowest backtest MASE over " + origins + ", " + fixed(c.mase, 3);
  } else {
    const backtest::Method best = c.methods.front();
    text = "the best " + std::to_string(c.methods.size()) +
           " by backtest MASE, weighted by the inverse of their mean squared errors, score " +
           fixed(c.mase, 3) + " over " + origins + ", against " + fixed(c.ranked[static_cast<std::size_t>(best)], 3) +
           " for " + std::string(backtest::method_name(best)) + " alone";
  }
  std::string others;
  for (int m = 0; m < backtest::kMethods; ++m) {
    const double mase = c.ranked[static_cast<std::size_t>(m)];
    if (std::isnan(mase) || (c.methods.size() == 1 && static_cast<backtest::Method>(m) == c.methods.front())) continue;
    others += (others.empty() ? "" : ", ") + std::string(backtest::method_name(static_cast<backtest::Method>(m))) +
              " " + fixed(mase, 3);
  }
  return others.empty() ? text : text + "; " + others;
}

std::string smooth_text(const smoothing::Model& m) {
  const smoothing::WaveformWeights& w = m.weights.waveform;
  std::string text = m.transform == smoothing::Transform::Log ? "log scale" : "the data's scale";
  text += "; waveform gamma " + significant(w.gamma);
  switch (w.bins) {
    case smoothing::WaveformBins::All:
      text += ", every bin";
      break;
    case smoothing::WaveformBins::SignificantSmoothed:
      text += " at the significant bins, the others at the mean";
      break;
    case smoothing::WaveformBins::SignificantOnly:
      text += " at the significant bins, the others left out";
      break;
  }
  if (w.cycle > 1) text += ", " + std::to_string(w.cycle) + " waveforms in turn";
  const smoothing::LevelWeights& l = m.weights.level;
  switch (l.trend) {
    case smoothing::Trend::Damped:
      text += "; level with a damped trend, alpha " + significant(l.alpha) + ", beta " + significant(l.beta) +
              ", phi " + significant(l.phi);
      break;
    case smoothing::Trend::Linear:
      text += "; level with a linear trend, alpha " + significant(l.alpha) + ", beta " + significant(l.beta);
      break;
    case smoothing::Trend::None:
      text += "; level without a trend, alpha " + significant(l.alpha);
      break;
  }
  return text;
}

}  // namespace tramel::analysis
