// The analysis of the frames before one origin, from the transforms of the whole series.
#include <algorithm>
#include <cmath>
#include <optional>

#include "backtest/backtest.hpp"

namespace tramel::backtest {
namespace {

// The mean over frames [0, frames) of the spectra at bins 0 .. lb/2.
template <class Spectra>
std::vector<forecast::Complex> mean_spectrum(const Spectra& s, int frames) {
  const int half = s.half_bins();
  std::vector<forecast::Complex> mean(static_cast<std::size_t>(half));
  for (int f = 0; f < frames; ++f)
    for (int k = 0; k < half; ++k) mean[k] += s.at(f, k);
  for (forecast::Complex& c : mean) c /= static_cast<double>(frames);
  return mean;
}

// The standard deviation (divisor lb - 1) of the mean waveform's samples, from its transform:
// the sum of the squared deviations is (1/lb) sum over bins 1 .. lb-1 of |X(k)|^2.
float waveform_std_dev(std::span<const forecast::Complex> mean, int lb) {
  double sum = 0.0;
  for (int k = 1; 2 * k < lb; ++k) sum += 2.0 * std::norm(mean[k]);
  if (lb % 2 == 0) sum += std::norm(mean[lb / 2]);
  return lb > 1 ? static_cast<float>(std::sqrt(sum / lb / (lb - 1))) : 0.0f;
}

// Whether the specified forecast can be made at the origin: the run stops where no bin is
// significant or the VAR is too large for its frames.
bool specified_applies(const SeriesFrames& series, const Settings& settings, OriginAnalysis& a) {
  if (a.significant.empty()) {
    a.specified_stop = SpecifiedStop::NoSignificantBins;
    return false;
  }
  const auto m = static_cast<std::int64_t>(a.significant.size());
  if (!rules::var_fits(m, settings.lags, static_cast<std::int64_t>(a.origin) * series.frame_length)) {
    a.specified_stop = SpecifiedStop::VarTooLarge;
    return false;
  }
  return true;
}

// The specified forecast from the fit on the residual frames' coefficients at the significant
// bins: its t rule and frames rescaled to the mean waveform's spread.
void specified_forecast(const SeriesFrames& series, const Settings& settings, const numeric::FftPlan& plan,
                        const forecast::GrowingVar::At& fitted, OriginAnalysis& a) {
  if (!fitted.fit) {
    a.specified_stop = SpecifiedStop::NotPositiveDefinite;
    return;
  }
  const int lb = series.frame_length;
  const std::vector<float> ahead = forecast::forecast_coefficients(fitted.data, *fitted.fit, settings.frames_ahead);
  // The (tapered) mean waveform's transform over all lb bins.
  const std::vector<forecast::Complex> half =
      series.is_tapered ? mean_spectrum(series.tapered, a.origin) : mean_spectrum(series.raw, a.origin);
  std::vector<forecast::Complex> transform(static_cast<std::size_t>(lb));
  for (int k = 0; k < lb; ++k) transform[k] = 2 * k <= lb ? half[k] : std::conj(half[lb - k]);
  const std::vector<int> bins = coherence::bin_numbers(a.significant);
  const forecast::WaveformSpectrum waveform{transform, waveform_std_dev(mean_spectrum(series.raw, a.origin), lb), bins};
  a.as_specified = forecast::synthesize_frames(ahead, waveform, plan);
}

}  // namespace

SeriesFrames transform_series(std::span<const float> values, const Settings& settings,
                              const numeric::FftPlan& plan, parallel::Threads threads) {
  SeriesFrames s;
  s.frame_length = settings.band.frame_length;
  s.frames = static_cast<int>(values.size() / static_cast<std::size_t>(s.frame_length));
  s.samples = std::make_shared<const std::vector<float>>(
      values.begin(), values.begin() + static_cast<std::ptrdiff_t>(s.frames) * s.frame_length);
  s.raw = forecast::frame_spectra(s.values(), plan, nullptr, threads);
  // As the coherence analysis tapers: a refused taper, or fewer than two tapered values, means
  // unit weights.
  if (settings.band.taper_percent > 0.0f) {
    coherence::Taper taper = coherence::sine_taper(s.frame_length, settings.band.taper_percent);
    if (!taper.note && taper.tapered_each_end >= 2) {
      s.is_tapered = true;
      s.taper_power = taper.power;
      s.tapered = forecast::single_frame_spectra(s.values(), plan, taper.weights.data(), threads);
    }
  }
  return s;
}

std::vector<forecast::RankedBin> rank_bins(std::span<const coherence::SignificantBin> significant,
                                           std::span<const float> waveform_power,
                                           std::span<const float> noise, int first_bin) {
  std::vector<forecast::RankedBin> ranked;
  for (const coherence::SignificantBin& s : significant) {
    const auto i = static_cast<std::size_t>(s.bin - first_bin);
    ranked.push_back({s.bin, static_cast<double>(waveform_power[i]) / noise[i]});
  }
  return ranked;
}

namespace {

template <class Spectra>
OriginAnalysis coherence_from(const SeriesFrames& series, const Spectra& spectra, int origin,
                              const Settings& settings) {
  const int lb = series.frame_length;
  const coherence::Band& band = settings.band;
  OriginAnalysis a;
  a.origin = origin;

  // The coherence of every band bin: the tapered mean waveform's power against the mean
  // periodogram of the tapered residual frames, as the analysis refers it to chi-square. Each
  // bin starts from the fallback of an invocation's start.
  const std::vector<forecast::Complex> mean = mean_spectrum(spectra, origin);
  const double scale = coherence::coherence_scale(static_cast<std::int64_t>(origin) * lb, lb);
  const int bins = band.bin_count();
  std::vector<float> power(static_cast<std::size_t>(bins)), noise(static_cast<std::size_t>(bins));
  numeric::ProbabilityFallback fallback;
  for (int i = 0; i < bins; ++i) {
    const int k = band.first_bin + i;
    power[i] = static_cast<float>(std::norm(mean[k]));
    double sum = 0.0;
    for (int f = 0; f < origin; ++f) sum += std::norm(spectra.at(f, k) - mean[k]);
    double periodogram = sum / origin / lb;
    if (series.is_tapered) periodogram /= series.taper_power;
    noise[i] = std::max(static_cast<float>(periodogram), coherence::kNoiseFloor);
    a.probabilities.push_back(coherence::bin_probability(power[i], noise[i], scale, fallback).probability);
  }
  a.significant = coherence::select_bins(a.probabilities, band.first_bin, {settings.threshold, settings.fdr_level});
  a.ranked = rank_bins(a.significant, power, noise, band.first_bin);
  return a;
}

}  // namespace

OriginAnalysis coherence_at_origin(const SeriesFrames& series, int origin, const Settings& settings) {
  return series.is_tapered ? coherence_from(series, series.tapered, origin, settings)
                           : coherence_from(series, series.raw, origin, settings);
}

std::vector<OriginAnalysis> analyse_origins(const SeriesFrames& series, std::span<const int> origins,
                                            const Settings& settings, const numeric::FftPlan& plan,
                                            const forecast::DriftRequest& drift, parallel::Threads threads) {
  std::vector<OriginAnalysis> out(origins.size());
  // The coherence at each origin in a slot of its own, on any thread.
  parallel::for_each_index(static_cast<std::int64_t>(origins.size()), threads, [&](std::int64_t i) {
    out[i] = coherence_at_origin(series, origins[i], settings);
  });
  // The specified forecast: at one origin as a run makes it; at several, its fit growing from
  // one origin to the next while the significant bins stay the same. Beside it the models, each
  // kind's origins in turn, its fit growing likewise.
  const auto specified = [&] {
    if (origins.size() == 1) {
      if (!specified_applies(series, settings, out[0])) return;
      // As a run makes it: fit_var on the residual frames' coefficients.
      forecast::GrowingVar::At fitted;
      const std::vector<int> bins = coherence::bin_numbers(out[0].significant);
      fitted.data = forecast::residual_coefficients(series.raw, origins[0], bins);
      fitted.fit = forecast::fit_var(fitted.data, settings.lags, settings.errors);
      specified_forecast(series, settings, plan, fitted, out[0]);
      return;
    }
    // The sums hold the union of the origins' significant bins, so that bins that come and go
    // cost no new pass over the frames.
    std::vector<int> all;
    std::vector<bool> applies;
    for (OriginAnalysis& a : out) {
      applies.push_back(specified_applies(series, settings, a));
      if (applies.back()) forecast::merge_bins(all, coherence::bin_numbers(a.significant));
    }
    std::optional<forecast::GrowingVar> grown;
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (!applies[i]) continue;
      if (!grown) grown.emplace(series.raw, all, settings.lags);
      const std::vector<int> bins = coherence::bin_numbers(out[i].significant);
      specified_forecast(series, settings, plan, grown->at(out[i].origin, settings.errors, bins), out[i]);
    }
  };
  std::vector<std::vector<forecast::RankedBin>> ranked;
  for (const OriginAnalysis& a : out) ranked.push_back(a.ranked);
  const forecast::ModelKind kinds[] = {forecast::ModelKind::Changes, forecast::ModelKind::Levels};
  parallel::for_each_index(3, threads, [&](std::int64_t k) {
    if (k == 2) {
      specified();
      return;
    }
    const forecast::DriftRequest carried = kinds[k] == forecast::ModelKind::Changes ? drift : forecast::DriftRequest{};
    const forecast::NestedRuns request{origins, ranked, kinds[k], settings.lags, settings.frames_ahead, carried,
                                       origins.size() == 1};
    std::vector<forecast::ModelRun> runs = forecast::run_nested(series.raw, request, plan);
    for (std::size_t i = 0; i < runs.size(); ++i)
      (kinds[k] == forecast::ModelKind::Changes ? out[i].changes : out[i].levels) = std::move(runs[i]);
  });
  return out;
}

OriginAnalysis analyse_origin(const SeriesFrames& series, int origin, const Settings& settings,
                              const numeric::FftPlan& plan, const forecast::Drift& drift) {
  const int origins[] = {origin};
  return std::move(analyse_origins(series, origins, settings, plan, {drift, {}}).front());
}

}  // namespace tramel::backtest
