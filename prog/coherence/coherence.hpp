// Coherence analysis of one series: how strongly, bin by bin over the pass band, the series
// carries a component that repeats unchanged in every frame.
//
// The frames are averaged position by position into the mean waveform, which is taken out of
// every frame (the residual series). The power of the tapered mean waveform at each bin is set
// against the noise spectrum of the tapered residual frames; the scaled ratio, referred to
// chi-square with 2 degrees of freedom, is the bin's coherence probability. Bins whose
// probability exceeds the threshold are the significant ones.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "numeric/numeric.hpp"
#include "parallel/parallel.hpp"

namespace tramel::coherence {

using Complex = std::complex<double>;

// The frames and pass band of one run as the coherence analysis sees them. Frame f (0-based)
// is samples f*frame_length .. (f+1)*frame_length - 1; samples after the last whole frame
// take no part. Bin k is k cycles per frame; 1 <= first_bin <= last_bin <= frame_length / 2.
struct Band {
  int frame_length = 0;
  int first_bin = 0;
  int last_bin = 0;
  float taper_percent = 0.0f;  // 0 to 25: the share of each frame tapered, half at each end

  int bin_count() const { return last_bin - first_bin + 1; }
};

// ---- The steps -------------------------------------------------------------------------------

// The mean waveform: frame_length values, each the average over the frames of the samples at
// its position, and the sample standard deviation of those values (divisor frame_length - 1).
struct MeanWaveform {
  std::vector<float> values;
  float std_dev = 0.0f;
};

// Computes the mean waveform of `series` and takes it out of every whole frame, in place:
// on return each framed sample holds its residual; the samples after the last frame are left
// as they were.
MeanWaveform take_out_mean_waveform(std::span<float> series, int frame_length);

// A message of the taper step. Neither can arise from a run's settings (the taper percentage
// is checked to lie in 0..25), but the step reports them for any input.
struct TaperNote {
  enum class Kind : std::uint8_t { PercentOutOfRange, TooManyTapered };
  Kind kind;
  float percent = 0.0f;  // PercentOutOfRange: the percentage
  int tapered = 0;       // TooManyTapered: the count at each end, and the frame length
  int frame_length = 0;
};

// The sine taper of a frame: a quarter sine wave over the first `tapered_each_end` positions,
// its mirror over the last, ones in between; `power` is the mean square of the weights.
struct Taper {
  std::vector<float> weights;  // frame_length values; empty when not computed
  float power = 1.0f;
  int tapered_each_end = 0;
  std::optional<TaperNote> note;  // set when the percentage was refused (no weights)
};
Taper sine_taper(int frame_length, float taper_percent);

// The floor of the noise spectrum, so that the coherence ratio never divides by zero.
inline constexpr float kNoiseFloor = 1.0e-6f;

// The noise spectrum at the band bins: the periodogram |F(k)|^2 / frame_length of every
// residual frame (times the taper weights, when given), averaged over the frames, divided by
// the taper power when tapered, and raised to at least kNoiseFloor. With several threads the frames
// are shared out among them; every frame's ordinates are added in frame order all the same.
std::vector<float> noise_spectrum(std::span<const float> residual, const Band& band,
                                  const Taper* taper, const numeric::FftPlan& plan,
                                  parallel::Threads threads = {});

// The coherence probability of a bin: the statistic 2K A/S, for the tapered mean waveform's
// power A and the noise spectrum S at the bin, referred to chi-square with 2 degrees of
// freedom. 2K = 2n / lb^2 for a series of n samples (framed or not) in frames of lb
// (coherence_scale). A probability the distribution function leaves unset (after a bad
// argument) counts as 0; the result says the note and the fallback the call leaves.
struct BinProbability {
  float probability = 0.0f;
  std::optional<numeric::ChiSquareNote> note;
  numeric::ProbabilityFallback fallback;
};
double coherence_scale(std::int64_t samples, int frame_length);
BinProbability bin_probability(float waveform_power, float noise, double scale,
                               numeric::ProbabilityFallback fallback);

// ---- The whole analysis of one series --------------------------------------------------------

// A message a chi-square evaluation gave, with the band position (0-based) of its bin.
struct BinNote {
  int position = 0;
  numeric::ChiSquareNote note;
};

struct Coherence {
  std::vector<float> probabilities;      // per band bin, first_bin .. last_bin
  std::vector<float> waveform_power;     // |F(k)|^2 of the tapered mean waveform, per band bin
  std::vector<float> noise;              // the noise spectrum, per band bin
  std::vector<Complex> waveform_transform;  // the tapered mean waveform's transform, bins 0..lb-1
  float waveform_std_dev = 0.0f;         // of the untapered mean waveform
  std::vector<BinNote> notes;            // in band order
  std::optional<TaperNote> taper_note;
  numeric::ProbabilityFallback fallback;           // the chi-square routine's fallback after the band
};

// The coherence analysis of one series, which it leaves holding its residual: the mean
// waveform taken out of every whole frame (the samples after the last frame stay as they
// were). `fallback` is the chi-square routine's fallback as the series before left it (see
// numeric::ProbabilityFallback); the result holds the fallback it leaves.
Coherence find_coherence(std::span<float> series, const Band& band,
                         const numeric::FftPlan& plan, numeric::ProbabilityFallback fallback,
                         parallel::Threads threads = {});

// A significant frequency: a bin whose coherence probability is strictly above the threshold.
struct SignificantBin {
  int bin = 0;
  float probability = 0.0f;
};

// The significant bins in increasing bin order.
std::vector<SignificantBin> significant_bins(std::span<const float> probabilities, int first_bin,
                                             float threshold);
// The bin numbers of `bins`, in their order.
std::vector<int> bin_numbers(std::span<const SignificantBin> bins);

// How the significant bins of a band are chosen: those above the threshold P; or, with a false
// discovery rate Q, the bins the Benjamini-Hochberg procedure at level Q selects, each bin's
// p-value being 1 - its probability: the k bins of the smallest p-values for the largest k
// whose k-th smallest p-value is at most k Q / bins (ties with it selected alike).
struct BinSelection {
  float threshold = 0.0f;
  std::optional<float> fdr_level;
};
std::vector<SignificantBin> select_bins(std::span<const float> probabilities, int first_bin,
                                        const BinSelection& selection);

}  // namespace tramel::coherence
