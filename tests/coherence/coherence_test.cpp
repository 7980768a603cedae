#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <optional>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "coherence/coherence.hpp"

namespace tramel::coherence {
namespace {

using Vec = std::vector<float>;
const double kPi = std::acos(-1.0);

// The analysis of x, and the residual it leaves in its place.
struct Analysed {
  Coherence coherence;
  Vec residual;
};
Analysed analysed(Vec x, int lb, int kl, int ku, float pct) {
  Coherence c = find_coherence(x, Band{lb, kl, ku, pct}, numeric::FftPlan(lb), numeric::ProbabilityFallback{});
  return Analysed{std::move(c), std::move(x)};
}
Coherence run(const Vec& x, int lb, int kl, int ku, float pct) {
  return analysed(x, lb, kl, ku, pct).coherence;
}

// Direct computation in double: noise spectrum and 1 - exp(-x/2) of the statistic.
void hand(const Vec& x, int lb, int kl, int nb, int ntap, Vec& sp, Vec& p, Vec& a) {
  const int n = static_cast<int>(x.size()), nf = n / lb;
  std::vector<double> w(lb, 1.0), m(lb, 0.0);
  for (int k = 1; k <= ntap; ++k) w[k - 1] = w[lb - k] = std::sin(k * kPi / (2 * (ntap + 1)));
  double u2 = 0;
  for (double v : w) u2 += v * v / lb;
  for (int i = 0; i < nf * lb; ++i) m[i % lb] += double(x[i]) / nf;
  auto power = [&](int k, auto val) {
    std::complex<double> s;
    for (int j = 0; j < lb; ++j) s += val(j) * w[j] * std::polar(1.0, -2 * kPi * j * k / lb);
    return std::norm(s);
  };
  for (int i = 0; i < nb; ++i) {
    const int k = kl + i;
    double s = 0;
    for (int f = 0; f < nf; ++f) s += power(k, [&](int j) { return x[f * lb + j] - m[j]; });
    sp[i] = float(std::max(s / (lb * nf * u2), 1e-6));
    a[i] = float(power(k, [&](int j) { return m[j]; }));
    p[i] = float(1 - std::exp(-double(n) * a[i] / (lb * lb * sp[i])));
  }
}

TEST(Coherence, AgreesWithDirectComputation) {
  struct Case { int lb, nf, extra, kl, ku; float pct; int ntap, bin; double amplitude; };
  const Case cases[] = {
      {32, 40, 0, 1, 16, 0, 0, 5, 1.0},    // untapered: S not divided by u2
      {64, 10, 0, 2, 32, 10, 3, 32, 0.3},  // even lb, signal at the Nyquist bin, u2 0.953125
      {20, 9, 7, 1, 10, 5, 0, 3, 2.0},     // taper of one value dropped; n not a multiple of lb
      {21, 8, 20, 3, 10, 25, 3, 4, 1.0},   // odd lb; 2.5 rounds to 3
  };
  std::mt19937 gen(12345);
  std::uniform_real_distribution<float> noise(-1, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lb);
    const int n = c.lb * c.nf + c.extra, nb = c.ku - c.kl + 1;
    Vec x(n);
    for (int i = 0; i < n; ++i)
      x[i] = float(c.amplitude * std::cos(2 * kPi * c.bin * i / c.lb + 0.3)) + noise(gen);
    const Analysed analysis = analysed(x, c.lb, c.kl, c.ku, c.pct);
    const Coherence& o = analysis.coherence;
    ASSERT_EQ(o.probabilities.size(), static_cast<std::size_t>(nb));
    ASSERT_EQ(o.waveform_transform.size(), static_cast<std::size_t>(c.lb));
    Vec sp(nb), p(nb), a(nb);
    hand(x, c.lb, c.kl, nb, c.ntap, sp, p, a);
    for (int i = 0; i < nb; ++i) {
      EXPECT_NEAR(std::norm(o.waveform_transform[c.kl + i]), a[i], 2e-5 * a[i] + 1e-6) << i;
      EXPECT_NEAR(o.waveform_power[i], a[i], 2e-5 * a[i] + 1e-6) << i;
      EXPECT_NEAR(o.noise[i], sp[i], 2e-5 * sp[i]) << i;
      EXPECT_NEAR(o.probabilities[i], p[i] < 1e-4f ? 0.0f : p[i], 2e-5) << i;
    }
    EXPECT_GT(o.probabilities[c.bin - c.kl], 0.999f);
    EXPECT_TRUE(o.notes.empty());
    EXPECT_FALSE(o.taper_note.has_value());
    ASSERT_EQ(analysis.residual.size(), x.size());
    // The samples after the last whole frame stay as read.
    for (int i = c.lb * c.nf; i < n; ++i) EXPECT_EQ(analysis.residual[i], x[i]);
  }
}

TEST(Coherence, IdenticalFramesReachTheFloor) {
  // Values whose frame sums are exact: the residual is exactly zero, power only at bin 3.
  const int lb = 12, nf = 7;
  const float frame[4] = {1.25f, 0.25f, -0.75f, 0.25f};
  Vec x(lb * nf);
  for (int i = 0; i < lb * nf; ++i) x[i] = frame[i % 4];
  const Analysed analysis = analysed(x, lb, 1, 6, 0);
  const Coherence& o = analysis.coherence;
  for (float r : analysis.residual) EXPECT_EQ(r, 0.0f);
  for (float s : o.noise) EXPECT_EQ(s, 1.0e-6f);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(o.probabilities[i], i == 2 ? 1.0f : 0.0f) << i;
  EXPECT_FLOAT_EQ(o.waveform_std_dev, float(std::sqrt(6.0 / 11)));  // one frame's deviation

  // A constant frame can round its variance below zero: the deviation is 0, not NaN.
  EXPECT_EQ(run(Vec(7 * 8, 0.1f), 8, 1, 4, 0).waveform_std_dev, 0.0f);
}

// A taper the taper step refuses, or one of fewer than two values at each end, leaves unit
// weights: every result is bit for bit that of the untapered analysis. A refusal is reported.
TEST(Coherence, RefusedOrShortTaperMeansNoTaper) {
  const struct {
    const char* what;
    int lb, ku;
    float pct;
    bool refused;
  } cases[] = {
      {"percent out of range", 20, 10, 60, true},
      {"too many tapered", 6, 3, 50, true},
      {"one value at each end", 20, 10, 5, false},
  };
  std::mt19937 gen(99);
  std::uniform_real_distribution<float> u(-1, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Vec x(c.lb * 9 + 3);
    for (float& v : x) v = u(gen);
    const Analysed plain_analysis = analysed(x, c.lb, 1, c.ku, 0);
    const Analysed analysis = analysed(x, c.lb, 1, c.ku, c.pct);
    const Coherence& plain = plain_analysis.coherence;
    const Coherence& o = analysis.coherence;
    EXPECT_EQ(o.taper_note.has_value(), c.refused);
    EXPECT_EQ(o.probabilities, plain.probabilities);
    EXPECT_EQ(o.waveform_power, plain.waveform_power);
    EXPECT_EQ(o.noise, plain.noise);
    EXPECT_EQ(o.waveform_transform, plain.waveform_transform);
    EXPECT_EQ(analysis.residual, plain_analysis.residual);
    EXPECT_EQ(o.waveform_std_dev, plain.waveform_std_dev);
  }
}

// A sample that is not a number makes every statistic not a number; the chi-square function
// then falls back on the carried result and says so, bin by bin in band order. The carried
// result is the caller's.
TEST(Coherence, ChiSquareNotesCarryTheirBandPosition) {
  Vec x(16 * 5, 0.5f);
  x[37] = std::numeric_limits<float>::quiet_NaN();
  for (const bool known : {true, false}) {
    SCOPED_TRACE(known);
    Vec series = x;
    const Coherence o = find_coherence(series, Band{16, 2, 6, 0}, numeric::FftPlan(16),
                                       numeric::ProbabilityFallback{0.375f, known, false});
    EXPECT_EQ(o.probabilities, Vec(5, 0.375f));
    ASSERT_EQ(o.notes.size(), 5u);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(o.notes[i].position, i);
      EXPECT_EQ(o.notes[i].note.kind, numeric::ChiSquareNote::Kind::FractionDidNotConverge);
    }
    EXPECT_EQ(o.fallback.needed_unknown, !known);
  }
}

TEST(Taper, WeightsCountAndPower) {
  using Kind = TaperNote::Kind;
  struct Case {
    float pct;
    int lb;
    bool weights;
    int ntap;
    float u2;
    std::optional<TaperNote> note;
  };
  const Case cases[] = {
      {10, 64, true, 3, 0.953125f, {}},
      {25, 20, true, 3, 0.85f, {}},
      {5, 20, true, 1, 0.95f, {}},  // 5% of 20 is 0.5 in single precision: one at each end
      {0, 20, false, 0, 1.0f, {}},  // no taper asked for: no weights, no message
      {60, 20, false, 0, 1.0f, TaperNote{Kind::PercentOutOfRange, 60.0f}},
      {-5, 20, false, 0, 1.0f, TaperNote{Kind::PercentOutOfRange, -5.0f}},
      {50, 6, false, 2, 1.0f, TaperNote{Kind::TooManyTapered, 0.0f, 2, 6}},
  };
  const double pi = float(kPi);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.pct << "% of " << c.lb);
    const Taper t = sine_taper(c.lb, c.pct);
    EXPECT_EQ(t.tapered_each_end, c.ntap);
    EXPECT_FLOAT_EQ(t.power, c.u2);
    ASSERT_EQ(t.note.has_value(), c.note.has_value());
    if (c.note) {
      EXPECT_EQ(t.note->kind, c.note->kind);
      EXPECT_EQ(t.note->percent, c.note->percent);
      EXPECT_EQ(t.note->tapered, c.note->tapered);
      EXPECT_EQ(t.note->frame_length, c.note->frame_length);
    }
    if (!c.weights) {
      EXPECT_TRUE(t.weights.empty());
      continue;
    }
    ASSERT_EQ(t.weights.size(), static_cast<std::size_t>(c.lb));
    for (int j = 0; j < c.lb; ++j) {
      const int k = std::min(j + 1, c.lb - j);
      EXPECT_EQ(t.weights[j], k > c.ntap ? 1.0f : float(std::sin(k * pi / (2 * (c.ntap + 1)))))
          << j;
    }
  }
}

// Strictly above the threshold, numbered from the first bin of the band, in bin order.
TEST(SignificantBins, StrictlyAboveTheThreshold) {
  const Vec p = {0.5f, 0.95f, 0.9500001f, 1.0f, 0.2f, 0.99f};
  const std::vector<SignificantBin> s = significant_bins(p, 3, 0.95f);
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].bin, 5);
  EXPECT_EQ(s[0].probability, 0.9500001f);
  EXPECT_EQ(s[1].bin, 6);
  EXPECT_EQ(s[1].probability, 1.0f);
  EXPECT_EQ(s[2].bin, 8);
  EXPECT_EQ(s[2].probability, 0.99f);
  EXPECT_TRUE(significant_bins(p, 3, 1.0f).empty());
}

// Benjamini-Hochberg over the band: the bins of the k smallest p-values (1 - probability) for
// the largest k whose k-th is at most k Q / bins, in the band's order; without a level, the
// bins above P.
TEST(SelectBins, BenjaminiHochbergOrTheThreshold) {
  const struct {
    const char* what;
    Vec probabilities;
    BinSelection selection;
    std::vector<int> bins;
  } cases[] = {
      {"above P", {0.5f, 0.995f, 0.99f, 1.0f}, {0.99f, std::nullopt}, {2, 4}},
      // p = 0.5, 0.005, 0.01, 0: sorted 0, 0.005, 0.01 pass k 0.05 / 4 (0.0125, 0.025, 0.0375)
      {"three of four", {0.5f, 0.995f, 0.99f, 1.0f}, {0.99f, 0.05f}, {2, 3, 4}},
      // the step-up: sorted p 0.01, 0.02, 0.04, 0.045 against 0.0125, 0.025, 0.0375, 0.05: the
      // 3rd fails its own, but the 4th passes, so all four are selected
      {"step-up", {0.99f, 0.98f, 0.96f, 0.955f}, {0.99f, 0.05f}, {1, 2, 3, 4}},
      {"none", {0.9f, 0.8f, 0.97f}, {0.5f, 0.05f}, {}},
      // ties with the cut are selected alike
      {"ties", {0.999f, 0.999f, 0.5f}, {0.99f, 0.01f}, {1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<int> got;
    for (const SignificantBin& b : select_bins(c.probabilities, 1, c.selection)) got.push_back(b.bin);
    EXPECT_EQ(got, c.bins);
  }
}

}  // namespace
}  // namespace tramel::coherence
