// The coherence analysis of one series: mean waveform and residual, taper, the band powers of
// the tapered mean waveform, the noise spectrum of the residual frames, and the coherence
// probability of every bin of the pass band.
#include "coherence/coherence.hpp"

namespace tramel::coherence {

Coherence find_coherence(std::span<float> series, const Band& band,
                         const numeric::FftPlan& plan, numeric::ProbabilityFallback fallback,
                         parallel::Threads threads) {
  const int length = band.frame_length;
  const int bins = band.bin_count();
  // Twice K = n / lb^2, where n counts every sample of the series, framed or not.
  const double twice_k = 2.0 * (static_cast<double>(series.size()) /
                                (static_cast<double>(length) * length));
  Coherence result;

  MeanWaveform waveform = take_out_mean_waveform(series, length);
  result.waveform_std_dev = waveform.std_dev;

  // Fewer than two tapered values (or a taper refused) means unit weights: the frames are
  // transformed as they are. Without a taper percentage no weights are applied at all.
  Taper taper;
  const bool tapered = band.taper_percent > 0.0f;
  if (tapered) {
    taper = sine_taper(length, band.taper_percent);
    result.taper_note = taper.note;
    if (taper.note || taper.tapered_each_end < 2) {
      taper.tapered_each_end = 0;
      taper.power = 1.0f;
      taper.weights.assign(static_cast<std::size_t>(length), 1.0f);
    }
    for (int j = 0; j < length; ++j) waveform.values[j] = waveform.values[j] * taper.weights[j];
  }

  // The band powers |F(k)|^2 of the tapered mean waveform, formed in double.
  std::vector<Complex>& transform = result.waveform_transform;
  transform.resize(static_cast<std::size_t>(length));
  for (int j = 0; j < length; ++j) transform[j] = Complex(waveform.values[j], 0.0);
  plan.forward(transform);
  result.waveform_power.resize(static_cast<std::size_t>(bins));
  for (int i = 0; i < bins; ++i) {
    const Complex c = transform[band.first_bin + i];
    result.waveform_power[i] = static_cast<float>(c.real() * c.real() + c.imag() * c.imag());
  }

  result.noise = noise_spectrum(series, band, tapered ? &taper : nullptr, plan, threads);

  // The statistic 2K A/S, referred to chi-square with 2 degrees of freedom. A probability the
  // distribution function leaves unset (after a bad argument) counts as 0.
  result.probabilities.resize(static_cast<std::size_t>(bins));
  for (int i = 0; i < bins; ++i) {
    const float statistic = static_cast<float>(
        static_cast<double>(result.waveform_power[i]) / result.noise[i] * twice_k);
    const numeric::ChiSquare chi = numeric::chi_square_distribution(statistic, 2.0f, fallback);
    fallback = chi.fallback;
    if (chi.note) result.notes.push_back(BinNote{i, *chi.note});
    result.probabilities[i] = chi.probability.value_or(0.0f);
  }
  result.fallback = fallback;
  return result;
}

std::vector<SignificantBin> significant_bins(std::span<const float> probabilities, int first_bin,
                                             float threshold) {
  std::vector<SignificantBin> significant;
  for (std::size_t i = 0; i < probabilities.size(); ++i) {
    if (probabilities[i] > threshold)
      significant.push_back(SignificantBin{first_bin + static_cast<int>(i), probabilities[i]});
  }
  return significant;
}

}  // namespace tramel::coherence
