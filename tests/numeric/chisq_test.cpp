// The chi-square distribution function, the incomplete gamma function behind it, and the
// result it carries from call to call.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

using Kind = ChiSquareNote::Kind;

float chi2(float x, float df = 2.0f) {
  const ChiSquare r = chi_square_distribution(x, df, ProbabilityFallback{});
  EXPECT_FALSE(r.note.has_value()) << "x = " << x;
  EXPECT_TRUE(r.probability.has_value()) << "x = " << x;
  return r.probability.value_or(-7.0f);
}

double series(float a, float x) {
  const GammaExpansion e = gamma_series(a, x);
  EXPECT_FALSE(e.note.has_value()) << "a = " << a << ", x = " << x;
  return e.value.value_or(-1.0);
}

double fraction(float a, float x) {
  const GammaExpansion e = gamma_continued_fraction(a, x);
  EXPECT_FALSE(e.note.has_value()) << "a = " << a << ", x = " << x;
  return e.value.value_or(-1.0);
}

// Below 1.0e-4 the statistic gives 0; so does a probability below 1.0e-4, that is a statistic
// below about 2.0e-4 for two degrees of freedom. Far out the probability saturates at 1.
TEST(ChiSquare, EdgesOfTheRange) {
  for (const float x : {0.0f, 1e-30f, 5e-5f, 9.99e-5f, 1e-4f, 1.5e-4f, 1.99e-4f, 2.0e-4f}) {
    EXPECT_EQ(chi2(x), 0.0f) << "x = " << x;
  }
  EXPECT_GT(chi2(2.001e-4f), 1.0e-4f);
  EXPECT_EQ(chi2(1.0f, 0.0f), 0.0f);  // no degrees of freedom
  EXPECT_EQ(chi2(1.0f, 9.9e-5f), 0.0f);
  EXPECT_EQ(chi2(100.0f), 1.0f);  // 1 - exp(-50) rounds to 1 in single precision
  // Four degrees of freedom: P(2, x/2) = 1 - exp(-x/2) (1 + x/2).
  EXPECT_NEAR(chi2(6.0f, 4.0f), 1.0 - std::exp(-3.0) * 4.0, 3e-7);
}

// With a = 1 the series serves x/2 < 2 and the continued fraction x/2 >= 2; the two differ in
// the last bits at these points, so the method shows in the result.
TEST(ChiSquare, SeriesBelowFourContinuedFractionFromFour) {
  ASSERT_NE(static_cast<float>(series(1.0f, 2.0f)), static_cast<float>(1.0 - fraction(1.0f, 2.0f)));
  ASSERT_NE(static_cast<float>(series(1.0f, 1.995f)),
            static_cast<float>(1.0 - fraction(1.0f, 1.995f)));
  EXPECT_EQ(chi2(4.0f), static_cast<float>(1.0 - fraction(1.0f, 2.0f)));
  EXPECT_EQ(chi2(3.99f), static_cast<float>(series(1.0f, 1.995f)));
}

TEST(ChiSquare, SeriesAndFractionAgreeWithClosedForms) {
  for (const float x : {0.1f, 1.0f, 2.9f, 3.0f, 7.5f, 20.0f}) {
    const double p1 = 1.0 - std::exp(-static_cast<double>(x));
    const double p2 = 1.0 - std::exp(-static_cast<double>(x)) * (1.0 + x);
    if (x < 2.0f) {
      EXPECT_NEAR(series(1.0f, x), p1, 3e-7 * p1) << x;
    } else {
      EXPECT_NEAR(fraction(1.0f, x), 1.0 - p1, 3e-7 * (1.0 - p1)) << x;
    }
    if (x < 3.0f) {
      EXPECT_NEAR(series(2.0f, x), p2, 3e-7 * p2) << x;
    } else {
      EXPECT_NEAR(fraction(2.0f, x), 1.0 - p2, 3e-7 * (1.0 - p2)) << x;
    }
  }
  EXPECT_EQ(series(1.0f, 0.0f), 0.0);
}

TEST(ChiSquare, LogGamma) {
  EXPECT_NEAR(log_gamma(1.0), 0.0, 1e-10);
  EXPECT_NEAR(log_gamma(0.5), 0.5723649429247001, 1e-10);
  EXPECT_NEAR(log_gamma(10.0), 12.801827480081469, 1e-10);
  EXPECT_NEAR(log_gamma(2.5), std::lgamma(2.5), 1e-10);
}

// Bad arguments: no probability, a note naming the argument, and the carried result neither
// read nor changed. The statistic is checked first.
TEST(ChiSquare, BadArgumentsLeaveNoProbability) {
  const struct {
    float x, df;
    Kind kind;
    float value;
  } cases[] = {
      {-1.5f, 2.0f, Kind::NegativeStatistic, -1.5f},
      {-1e-6f, -1.0f, Kind::NegativeStatistic, -1e-6f},
      {3.0f, -2.0f, Kind::NegativeDegrees, -2.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << " " << c.df);
    const ChiSquare r = chi_square_distribution(c.x, c.df, ProbabilityFallback{0.25f, false, false});
    EXPECT_FALSE(r.probability.has_value());
    ASSERT_TRUE(r.note.has_value());
    EXPECT_EQ(r.note->kind, c.kind);
    EXPECT_EQ(r.note->value, c.value);
    EXPECT_EQ(r.fallback.value, 0.25f);
    EXPECT_FALSE(r.fallback.known);
    EXPECT_FALSE(r.fallback.needed_unknown);
  }
}

// P(a, x) gives its last result again after a bad argument or an expansion that does not
// converge, with a note saying which.
TEST(ChiSquare, GammaPRepeatsItsLastResultOnFailure) {
  const GammaP first = regularized_gamma_p(1.0f, 1.0f, ProbabilityFallback{});
  const float good = first.value;
  EXPECT_NEAR(good, 1.0 - std::exp(-1.0), 1e-7);
  EXPECT_FALSE(first.note.has_value());
  EXPECT_EQ(first.fallback.value, good);

  const struct {
    const char* what;
    float a, x;
    Kind kind;
    float value;
  } failures[] = {
      {"negative x", 1.0f, -1.0f, Kind::BadGammaArgument, 0.0f},
      {"a of zero", 0.0f, 1.0f, Kind::BadGammaArgument, 0.0f},
      // Near x = a = 1e8 each expansion needs more than 1000 steps.
      {"series", 1.0e8f, 1.0e8f - 10.0f, Kind::SeriesDidNotConverge, 1.0e8f},
      {"fraction", 1.0e8f, 1.0e8f + 1.0f, Kind::FractionDidNotConverge, 1.0e8f},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.what);
    const GammaP r = regularized_gamma_p(f.a, f.x, first.fallback);
    EXPECT_EQ(r.value, good);
    ASSERT_TRUE(r.note.has_value());
    EXPECT_EQ(r.note->kind, f.kind);
    EXPECT_EQ(r.note->value, f.value);
    EXPECT_EQ(r.fallback.value, good);
    EXPECT_FALSE(r.fallback.needed_unknown);
  }

  // The series refuses a negative x by itself.
  const GammaExpansion neg = gamma_series(1.0f, -1.0f);
  EXPECT_FALSE(neg.value.has_value());
  ASSERT_TRUE(neg.note.has_value());
  EXPECT_EQ(neg.note->kind, Kind::NegativeSeriesArgument);
  EXPECT_EQ(neg.note->value, -1.0f);
}

// The distribution function passes on what P(a, x) says: a failed expansion gives the carried
// result (cut to 0 below 1e-4 like any other) and its note.
TEST(ChiSquare, DistributionPassesOnTheCarriedResultAndItsNote) {
  for (const float last : {0.5f, 5e-5f}) {
    const ChiSquare r = chi_square_distribution(2.0e8f, 2.0e8f, ProbabilityFallback{last, true, false});
    ASSERT_TRUE(r.probability.has_value());
    EXPECT_EQ(*r.probability, last < 1e-4f ? 0.0f : last);
    ASSERT_TRUE(r.note.has_value());
    EXPECT_EQ(r.note->kind, Kind::FractionDidNotConverge);
    EXPECT_EQ(r.note->value, 1.0e8f);
  }
}

// An analysis that does not know the carried result yet: a call that falls back on it says so;
// one that computes its own result does not, and makes the result known from then on.
TEST(ChiSquare, MemoryTellsWhenAnUnknownResultWasNeeded) {
  const float p = static_cast<float>(series(1.0f, 1.0f));
  const struct {
    const char* what;
    ProbabilityFallback before;
    float a, x;
    float result;
    ProbabilityFallback after;
  } cases[] = {
      {"fallback, unknown", {0.25f, false, false}, 1.0f, -1.0f, 0.25f, {0.25f, false, true}},
      {"fallback, known", {0.25f, true, false}, 1.0f, -1.0f, 0.25f, {0.25f, true, false}},
      {"fallback, initial fallback", {}, 0.0f, 1.0f, 0.0f, {0.0f, true, false}},
      {"success, unknown", {0.25f, false, false}, 1.0f, 1.0f, p, {p, true, false}},
      // A fallback already reported stays reported.
      {"success after a fallback", {0.25f, false, true}, 1.0f, 1.0f, p, {p, true, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const GammaP r = regularized_gamma_p(c.a, c.x, c.before);
    EXPECT_EQ(r.value, c.result);
    EXPECT_EQ(r.fallback.value, c.after.value);
    EXPECT_EQ(r.fallback.known, c.after.known);
    EXPECT_EQ(r.fallback.needed_unknown, c.after.needed_unknown);
  }

  // Through the distribution function: a statistic cut to 0 needs no carried result.
  const ChiSquare cut = chi_square_distribution(5e-5f, 2.0f, ProbabilityFallback{0.25f, false, false});
  EXPECT_EQ(cut.probability, 0.0f);
  EXPECT_FALSE(cut.fallback.known);
  EXPECT_FALSE(cut.fallback.needed_unknown);
}

}  // namespace
}  // namespace tramel::numeric
