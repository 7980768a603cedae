// The frame search: every frame length of a range screened by the power of its folded
// waveform, the best scored by the coherence analysis itself; and the autocorrelation's
// highest peak, which init falls back to when no candidate stands out.
#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numeric>

#include "coherence/coherence.hpp"
#include "init/init.hpp"
#include "numeric/numeric.hpp"

namespace tramel::init {

namespace {

// A candidate's transform costs about its samples times the sum of its length's factors
// (a prime length is one slow pass); a candidate is scored on fewer frames (at least
// kLeastScoredFrames) when the cost would pass kScoringBudget, and not at all when even those
// would pass four budgets.
constexpr double kScoringBudget = 268435456.0;  // 2^28
constexpr std::int64_t kLeastScoredFrames = 16;
// The coherence probability refers the ratio of the mean waveform's power to the noise to
// chi-square, as if the noise were known; estimated from few frames it is not, and a ratio of
// chance passes a strict threshold far more often than the probability says (with 8 frames,
// about a hundred times as often). A candidate stands out only when scored on this many
// frames or more.
constexpr std::int64_t kStandOutFrames = 32;

// Whether a candidate of `a_length` samples scoring `a` ranks before one of `b_length` scoring
// `b`: the higher score first, the shorter of two that score the same.
bool ranks_before(double a, int a_length, double b, int b_length) {
  return a > b || (a == b && a_length < b_length);
}

// sum_i x_i x_(i+d) for every lag d from 0 to x.size() - 1, times the transform's length: the
// transform of x padded with zeros to twice its length or more (so that no lag wraps around),
// its power spectrum, transformed again (real and even, so its forward transform is the
// autocorrelation).
std::vector<double> lagged_products(std::span<const double> x) {
  std::size_t length = 1;
  while (length < 2 * x.size()) length *= 2;
  const numeric::FftPlan plan(static_cast<int>(length));
  std::vector<numeric::Complex> c(length), scratch(length);
  for (std::size_t i = 0; i < x.size(); ++i) c[i] = numeric::Complex(x[i], 0.0);
  plan.forward(c, scratch);
  for (numeric::Complex& v : c) v = numeric::Complex(std::norm(v), 0.0);
  plan.forward(c, scratch);
  std::vector<double> r(x.size());
  for (std::size_t d = 0; d < x.size(); ++d) r[d] = c[d].real();
  return r;
}

// The first `count` values of series j, in double, less their mean.
std::vector<double> centred(const SeriesRows& rows, int j, std::int64_t count) {
  std::vector<double> x(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i)
    x[static_cast<std::size_t>(i)] = static_cast<double>(rows.values[static_cast<std::size_t>(i * rows.series_count + j)]);
  const double mean = std::accumulate(x.begin(), x.end(), 0.0) / static_cast<double>(x.size());
  for (double& v : x) v -= mean;
  return x;
}

// The screen: for every length L of the range, how far the power of the folded waveform (the
// mean of its K whole frames) stands above what white noise folds into it, summed over the
// series as a z value. Of white noise of variance s^2 each of the L means has variance s^2 / K,
// so K |w|^2 / s^2 is about chi-square with L degrees of freedom; |w|^2 follows from the
// lagged products at the multiples of L. A cycle of L samples folds whole into L and blurs in
// L - 1 and L + 1, while a drift or slow noise folds alike into lengths near each other: each
// length is screened by how far its z stands above the median of its neighbours' (three on
// each side).
std::vector<double> folded_power_screen(const SeriesRows& rows, FrameRange range, std::int64_t screened) {
  std::vector<double> z(static_cast<std::size_t>(range.high - range.low + 1), 0.0);
  int series_used = 0;
  for (int j = 0; j < rows.series_count; ++j) {
    const std::vector<double> y = centred(rows, j, screened);
    const std::vector<double> r = lagged_products(y);
    if (!(r[0] > 0.0) || !std::isfinite(r[0])) continue;  // no spread: nothing to fold
    ++series_used;
    const auto m = static_cast<std::int64_t>(y.size());
    for (int length = range.low; length <= range.high; ++length) {
      const std::int64_t frames = m / length;
      double folded = r[0];
      for (std::int64_t d = 1; d < frames; ++d) folded += 2.0 * r[static_cast<std::size_t>(d * length)];
      z[static_cast<std::size_t>(length - range.low)] +=
          folded * static_cast<double>(m) / (static_cast<double>(frames) * r[0]) - length;
    }
  }
  for (int length = range.low; length <= range.high; ++length)
    z[static_cast<std::size_t>(length - range.low)] /= std::sqrt(2.0 * length * std::max(series_used, 1));
  constexpr int kNeighbours = 3;
  std::vector<double> contrast(z.size());
  for (std::size_t i = 0; i < z.size(); ++i) {
    std::vector<double> near;
    for (int d = -kNeighbours; d <= kNeighbours; ++d) {
      const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(i) + d;
      if (d != 0 && at >= 0 && at < static_cast<std::ptrdiff_t>(z.size())) near.push_back(z[static_cast<std::size_t>(at)]);
    }
    std::nth_element(near.begin(), near.begin() + static_cast<std::ptrdiff_t>(near.size() / 2), near.end());
    contrast[i] = near.empty() ? z[i] : z[i] - near[near.size() / 2];
  }
  return contrast;
}

// The frames a candidate is scored on; 0 when it cannot be scored in reason.
std::int64_t scored_frames(int length, std::int64_t count) {
  const numeric::FftPlan plan(length);
  const std::span<const int> factors = plan.factors();
  const double per_frame = static_cast<double>(length) * std::accumulate(factors.begin(), factors.end(), 0.0);
  const std::int64_t all = count / length;
  std::int64_t frames = std::min(all, std::max(kLeastScoredFrames, kScoredSamples / length));
  if (static_cast<double>(frames) * per_frame > kScoringBudget)
    frames = std::min(all, std::max(kLeastScoredFrames, static_cast<std::int64_t>(kScoringBudget / per_frame)));
  return static_cast<double>(frames) * per_frame > 4.0 * kScoringBudget ? 0 : frames;
}

}  // namespace

FrameSearch search_frame(const SeriesRows& rows, FrameRange range) {
  FrameSearch search;
  const std::int64_t screened = std::min(rows.count, kScreenedSamples);
  range.high = static_cast<int>(std::min<std::int64_t>(range.high, (screened - 1) / kSearchMinimumFrames));
  search.range = range;
  if (rows.series_count < 1 || range.low < rules::kMinimumFrameLength || range.high < range.low) return search;

  // The screen, then the candidates it ranks highest.
  const std::vector<double> z = folded_power_screen(rows, range, screened);
  std::vector<int> candidates(z.size());
  std::iota(candidates.begin(), candidates.end(), range.low);
  const auto ranked = std::min<std::size_t>(candidates.size(), kScoredCandidates);
  std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(ranked), candidates.end(),
                    [&](int a, int b) {
                      return ranks_before(z[static_cast<std::size_t>(a - range.low)], a,
                                          z[static_cast<std::size_t>(b - range.low)], b);
                    });
  candidates.resize(ranked);

  // A bin stands out when it passes the threshold of every bin of every length screened: the
  // screen chose the candidates for their folded power, so their bins were looked at already.
  double tests = 0.0;
  for (int length = range.low; length <= range.high; ++length)
    tests += static_cast<double>((length - 1) / 2) * rows.series_count;
  const float family_threshold = std::min(static_cast<float>(1.0 - rules::kChanceBinsOverBand / tests),
                                          std::nextafter(1.0f, 0.0f));

  for (const int length : candidates) {
    const std::int64_t frames = scored_frames(length, rows.count);
    if (frames == 0) {
      ++search.unscored;
      continue;
    }
    const int bins = (length - 1) / 2;
    const float threshold = rules::band_threshold(bins);
    const coherence::Band band{length, 1, bins, 0.0f};
    const numeric::FftPlan plan(length);
    FrameScore score{length, 0.0, false};
    int series_scored = 0;
    for (int j = 0; j < rows.series_count; ++j) {
      const std::vector<double> x = centred(rows, j, frames * length);
      const double power = std::inner_product(x.begin(), x.end(), x.begin(), 0.0) / static_cast<double>(x.size());
      if (!(power > 0.0) || !std::isfinite(power)) continue;
      std::vector<float> series(x.begin(), x.end());
      const coherence::Coherence c = coherence::find_coherence(series, band, plan, numeric::ProbabilityFallback{});
      double coherent = 0.0;
      for (int i = 0; i < bins; ++i) {
        if (c.probabilities[i] > threshold)
          coherent += 2.0 * static_cast<double>(c.waveform_power[i]) / (static_cast<double>(length) * length);
        if (c.probabilities[i] > family_threshold && frames >= kStandOutFrames) score.stands_out = true;
      }
      score.coherent_share += coherent / power;
      ++series_scored;
    }
    if (series_scored > 0) score.coherent_share /= series_scored;
    search.scored.push_back(score);
  }
  std::stable_sort(search.scored.begin(), search.scored.end(), [](const FrameScore& a, const FrameScore& b) {
    return ranks_before(a.coherent_share, a.frame_length, b.coherent_share, b.frame_length);
  });

  double best = 0.0;
  for (const FrameScore& s : search.scored)
    if (s.stands_out) best = std::max(best, s.coherent_share);
  for (const FrameScore& s : search.scored)
    if (s.stands_out && s.coherent_share >= (1.0 - kShortestWithin) * best &&
        (!search.chosen || s.frame_length < *search.chosen))
      search.chosen = s.frame_length;
  return search;
}

int autocorrelation_peak(std::span<const float> values, int series_count, std::int64_t count,
                         int min_lag, int max_lag) {
  count = std::min(count, kScreenedSamples);
  if (series_count < 1 || count < 3 || max_lag < min_lag || min_lag < 1) return 0;
  max_lag = static_cast<int>(std::min<std::int64_t>(max_lag, count - 2));
  const SeriesRows rows{values, series_count, count};
  std::vector<double> sum(static_cast<std::size_t>(max_lag) + 2, 0.0);
  for (int j = 0; j < series_count; ++j) {
    const std::vector<double> r = lagged_products(centred(rows, j, count));
    if (!(r[0] > 0.0) || !std::isfinite(r[0])) continue;  // no spread: nothing to add
    for (int k = 0; k <= max_lag + 1; ++k) sum[static_cast<std::size_t>(k)] += r[static_cast<std::size_t>(k)] / r[0];
  }
  int best = 0;
  for (int k = std::max(min_lag, 1); k <= max_lag; ++k) {
    const double r = sum[static_cast<std::size_t>(k)];
    if (r > sum[static_cast<std::size_t>(k - 1)] && r >= sum[static_cast<std::size_t>(k + 1)] &&
        (best == 0 || r > sum[static_cast<std::size_t>(best)]))
      best = k;
  }
  return best;
}

}  // namespace tramel::init
