// The chi-square distribution function through the regularised incomplete gamma function:
// cdchi checks its arguments and applies the small-value cut-offs, gammp chooses between the
// power series (gser) and the continued fraction (gcf).
#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

// Statistics below it give 0, and so do probabilities below it.
constexpr float kSmall = 1.0e-4f;

}  // namespace

void chi_square_distribution(float x, float df, float& result, textio::Sink& msg) {
  if (x < 0.0f) {
    textio::list(msg, "x in cdchi ", x, " is not positive");
    return;
  }
  if (x < kSmall) {
    result = 0.0f;
    return;
  }
  if (df < 0.0f) {
    textio::list(msg, "df ", df, " value is not positive in call to cdchi");
    return;
  }
  // Next to no degrees of freedom: P(df/2, x/2) is not defined at df = 0; call it 0.
  if (df < kSmall) {
    result = 0.0f;
    return;
  }
  const float p = regularized_gamma_p(df * 0.5f, x * 0.5f, msg);
  result = p < kSmall ? 0.0f : p;
}

// P(a, x). Keeps its last result: a bad argument, or a series or fraction that fails, gives
// the previous value again (0 before the first success).
float regularized_gamma_p(float a, float x, textio::Sink& msg) {
  static float last = 0.0f;
  if (x < 0.0f || a <= 0.0f) {
    textio::list(msg, "Bad argument in gammp");
    return last;
  }
  // Both routines leave their result untouched on failure; no result is ever negative.
  constexpr double kUnset = -1.0;
  double gln = 0.0;
  if (x < a + 1.0f) {
    double gamser = kUnset;
    gamma_series(gamser, a, x, gln, msg);
    if (gamser == kUnset) return last;
    last = static_cast<float>(gamser);
  } else {
    double gammcf = kUnset;
    gamma_continued_fraction(gammcf, a, x, gln, msg);
    if (gammcf == kUnset) return last;
    last = static_cast<float>(1.0 - gammcf);
  }
  return last;
}

}  // namespace tramel::numeric
