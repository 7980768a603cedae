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

ChiSquare chi_square_distribution(float x, float df, GammaMemory& memory) {
  if (x < 0.0f) return {std::nullopt, ChiSquareNote{Kind::NegativeStatistic, x}};
  if (x < kSmall) return {0.0f, std::nullopt};
  if (df < 0.0f) return {std::nullopt, ChiSquareNote{Kind::NegativeDegrees, df}};
  // Next to no degrees of freedom: P(df/2, x/2) is not defined at df = 0; call it 0.
  if (df < kSmall) return {0.0f, std::nullopt};
  ChiSquare result;
  const float p = regularized_gamma_p(df * 0.5f, x * 0.5f, memory, result.note);
  result.probability = p < kSmall ? 0.0f : p;
  return result;
}

// A bad argument, or a series or fraction that fails, gives the previous result again.
float regularized_gamma_p(float a, float x, GammaMemory& memory,
                          std::optional<ChiSquareNote>& note) {
  const auto previous = [&memory]() {
    if (!memory.known) memory.needed_unknown = true;
    return memory.last;
  };
  if (x < 0.0f || a <= 0.0f) {
    note = ChiSquareNote{Kind::BadGammaArgument, 0.0f};
    return previous();
  }
  GammaExpansion e;
  if (x < a + 1.0f) {
    e = gamma_series(a, x);
  } else {
    e = gamma_continued_fraction(a, x);
    if (e.value) e.value = 1.0 - *e.value;
  }
  note = e.note;
  if (!e.value) return previous();
  memory.last = static_cast<float>(*e.value);
  memory.known = true;
  return memory.last;
}

}  // namespace tramel::numeric
