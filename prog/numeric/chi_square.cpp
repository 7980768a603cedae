// The chi-square distribution function through the regularised incomplete gamma function:
// the distribution function checks its arguments and applies the small-value cut-offs, P(a, x)
// chooses between the power series and the continued fraction.
#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

// Statistics below it give 0, and so do probabilities below it.
constexpr float kSmall = 1.0e-4f;

using Kind = ChiSquareNote::Kind;

}  // namespace

ChiSquare chi_square_distribution(float x, float df, ProbabilityFallback fallback) {
  if (x < 0.0f) return {std::nullopt, ChiSquareNote{Kind::NegativeStatistic, x}, fallback};
  if (x < kSmall) return {0.0f, std::nullopt, fallback};
  if (df < 0.0f) return {std::nullopt, ChiSquareNote{Kind::NegativeDegrees, df}, fallback};
  // Next to no degrees of freedom: P(df/2, x/2) is not defined at df = 0; call it 0.
  if (df < kSmall) return {0.0f, std::nullopt, fallback};
  const GammaP p = regularized_gamma_p(df * 0.5f, x * 0.5f, fallback);
  return {p.value < kSmall ? 0.0f : p.value, p.note, p.fallback};
}

// A bad argument, or a series or fraction that fails, gives the previous result again.
GammaP regularized_gamma_p(float a, float x, ProbabilityFallback fallback) {
  // The last result again, with the note of why; a fallback not known yet is then needed.
  const auto previous = [&fallback](std::optional<ChiSquareNote> note) {
    if (!fallback.known) fallback.needed_unknown = true;
    return GammaP{fallback.value, note, fallback};
  };
  if (x < 0.0f || a <= 0.0f) return previous(ChiSquareNote{Kind::BadGammaArgument, 0.0f});
  GammaExpansion e;
  if (x < a + 1.0f) {
    e = gamma_series(a, x);
  } else {
    e = gamma_continued_fraction(a, x);
    if (e.value) e.value = 1.0 - *e.value;
  }
  if (!e.value) return previous(e.note);
  fallback.value = static_cast<float>(*e.value);
  fallback.known = true;
  return GammaP{fallback.value, e.note, fallback};
}

}  // namespace tramel::numeric
