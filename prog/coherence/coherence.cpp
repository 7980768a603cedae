// The coherence analysis of one series: mean waveform and residual, taper, the band powers of
// the tapered mean waveform, the noise spectrum of the residual frames, and the coherence
// probability of every bin of the pass band.
#include "coherence/coherence.hpp"

#include <algorithm>
#include <numeric>

namespace tramel::coherence {

Coherence find_coherence(std::span<float> series, const Band& band,
                         const numeric::FftPlan& plan, numeric::ProbabilityFallback fallback,
                         parallel::Threads threads) {
  const int length = band.frame_length;
  const int bins = band.bin_count();
  const double scale = coherence_scale(static_cast<std::int64_t>(series.size()), length);
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

  result.probabilities.resize(static_cast<std::size_t>(bins));
  for (int i = 0; i < bins; ++i) {
    const BinProbability p = bin_probability(result.waveform_power[i], result.noise[i], scale, fallback);
    fallback = p.fallback;
    if (p.note) result.notes.push_back(BinNote{i, *p.note});
    result.probabilities[i] = p.probability;
  }
  result.fallback = fallback;
  return result;
}

double coherence_scale(std::int64_t samples, int frame_length) {
  // Twice K = 2n / lb^2; n counts every sample of the series, framed or not.
  return 2.0 * (static_cast<double>(samples) / (static_cast<double>(frame_length) * frame_length));
}

BinProbability bin_probability(float waveform_power, float noise, double scale,
                               numeric::ProbabilityFallback fallback) {
  const auto statistic = static_cast<float>(static_cast<double>(waveform_power) / noise * scale);
  const numeric::ChiSquare chi = numeric::chi_square_distribution(statistic, 2.0f, fallback);
  return BinProbability{chi.probability.value_or(0.0f), chi.note, chi.fallback};
}

std::vector<int> bin_numbers(std::span<const SignificantBin> bins) {
  std::vector<int> numbers;
  for (const SignificantBin& s : bins) numbers.push_back(s.bin);
  return numbers;
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

std::vector<SignificantBin> select_bins(std::span<const float> probabilities, int first_bin,
                                        const BinSelection& selection) {
  if (!selection.fdr_level) return significant_bins(probabilities, first_bin, selection.threshold);
  const std::size_t m = probabilities.size();
  const auto p_value = [&](std::size_t i) { return 1.0 - static_cast<double>(probabilities[i]); };
  std::vector<std::size_t> order(m);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return p_value(a) < p_value(b); });
  const double q = *selection.fdr_level;
  double cut = -1.0;  // the largest p-value selected; none below 0
  for (std::size_t k = m; k >= 1; --k)
    if (p_value(order[k - 1]) <= static_cast<double>(k) * q / static_cast<double>(m)) {
      cut = p_value(order[k - 1]);
      break;
    }
  std::vector<SignificantBin> selected;
  for (std::size_t i = 0; i < m; ++i)
    if (p_value(i) <= cut) selected.push_back(SignificantBin{first_bin + static_cast<int>(i), probabilities[i]});
  return selected;
}

}  // namespace tramel::coherence
