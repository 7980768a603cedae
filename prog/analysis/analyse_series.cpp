// The analysis of one series: describe, coherence, significant bins, fit, forecast,
// eigenvalues.
#include <algorithm>
#include <new>

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

SeriesResult analyse_series(int series, Samples values, const Settings& settings,
                            const Context& context, numeric::GammaMemory memory) {
  SeriesResult r;
  r.series = series;
  r.memory = memory;
  const auto samples = static_cast<std::int64_t>(values.size());

  // Describe it.
  r.statistics = describe_series(values);
  r.last_frames = last_frames(values, settings.frame_length);

  // Find its coherence and significant bins.
  try {
    r.coherence = coherence::find_coherence(values, settings.band(), context.fft, memory,
                                            context.threads);
  } catch (const std::bad_alloc&) {
    r.stop = SeriesStop::CoherenceWorkSpace;
    return r;
  }
  r.memory = r.coherence.memory;
  r.significant = coherence::significant_bins(r.coherence.probabilities, settings.first_bin,
                                              settings.threshold);
  if (r.significant.empty()) {
    r.stop = SeriesStop::NoSignificantBins;
    return r;
  }

  // The VAR must be small beside the sample, and its work space must be had.
  const auto bins = static_cast<std::int64_t>(r.significant.size());
  r.var_size = var_size(bins, settings.lags);
  if (r.var_size > samples / 10) {
    r.stop = SeriesStop::VarTooLarge;
    return r;
  }
  const std::int64_t frames = samples / settings.frame_length;
  if (context.work_space != nullptr &&
      !context.work_space->fits(WorkSpace::var_bytes(settings, frames, bins))) {
    r.stop = SeriesStop::VarWorkSpace;
    return r;
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
      return r;
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
  return r;
}

SeriesResult analyse_series(std::span<const float> values, const Settings& settings) {
  const numeric::FftPlan fft(settings.frame_length);
  return analyse_series(1, Samples(values.begin(), values.end()), settings, Context{fft, nullptr, parallel::Threads{}},
                        numeric::GammaMemory{});
}

std::vector<diagnostics::Warning> series_warnings(const SeriesResult& r,
                                                  const diagnostics::Place& where) {
  std::vector<diagnostics::Warning> warnings;
  const std::string series = where.run_and_series();
  const auto warn = [&](const std::string& text) {
    warnings.push_back(diagnostics::Warning{series.empty() ? text : series + ": " + text, where});
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
  if (!r.eigenvalues.converged && r.completed())
    warn("the eigenvalue iteration gave up after 30 iterations (\"Too many iterations in "
         "hqr\"); the eigenvalues it did not reach are shown as 0");
  return warnings;
}

}  // namespace tramel::analysis
