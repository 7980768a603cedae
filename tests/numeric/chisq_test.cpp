#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

float chi2(float x, float df = 2.0f) {
  textio::Sink msg;
  float result = -7.0f;
  chi_square_distribution(x, df, result, msg);
  EXPECT_EQ(msg.text(), "") << "x = " << x;
  return result;
}

double series(float a, float x) {
  textio::Sink msg;
  double r = -1.0, gln = 0.0;
  gamma_series(r, a, x, gln, msg);
  return r;
}

double fraction(float a, float x) {
  textio::Sink msg;
  double r = -1.0, gln = 0.0;
  gamma_continued_fraction(r, a, x, gln, msg);
  return r;
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

// Bad arguments: a message to the sink, the result left as it was, the run goes on.
TEST(ChiSquare, BadArgumentsLeaveTheResultUnset) {
  const struct {
    float x, df;
    const char *head, *tail;
  } cases[] = {
      {-1.5f, 2.0f, " x in cdchi ", " is not positive\n"},
      {-1e-6f, -1.0f, " x in cdchi ", " is not positive\n"},
      {3.0f, -2.0f, " df ", " value is not positive in call to cdchi\n"},
  };
  for (const auto& c : cases) {
    textio::Sink msg;
    float result = 42.0f;
    chi_square_distribution(c.x, c.df, result, msg);
    EXPECT_EQ(result, 42.0f) << c.x << " " << c.df;
    EXPECT_TRUE(msg.text().starts_with(c.head) && msg.text().ends_with(c.tail)) << msg.text();
  }
}

// gammp gives its previous result again after a bad argument or a failed expansion.
TEST(ChiSquare, GammpRepeatsItsLastResultOnFailure) {
  textio::Sink msg;
  const float good = regularized_gamma_p(1.0f, 1.0f, msg);
  EXPECT_NEAR(good, 1.0 - std::exp(-1.0), 1e-7);
  EXPECT_EQ(regularized_gamma_p(1.0f, -1.0f, msg), good);
  EXPECT_EQ(regularized_gamma_p(0.0f, 1.0f, msg), good);
  EXPECT_EQ(regularized_gamma_p(1.0e8f, 1.0e8f - 10.0f, msg), good);  // series needs more than 1000 terms
  EXPECT_EQ(regularized_gamma_p(1.0e8f, 1.0e8f + 1.0f, msg), good);   // so does the fraction
  const std::string& t = msg.text();
  EXPECT_NE(t.find(" Bad argument in gammp\n Bad argument in gammp\n"), std::string::npos) << t;
  EXPECT_NE(t.find(" a =    100000000.     too large, ITMAX too small in gser\n"),
            std::string::npos) << t;
  EXPECT_NE(t.find("too large, ITMAX too small in gcf\n"), std::string::npos) << t;

  textio::Sink neg;
  double r = 5.0, gln = 0.0;
  gamma_series(r, 1.0f, -1.0f, gln, neg);
  EXPECT_EQ(r, 5.0);
  EXPECT_EQ(neg.text(), " x < 0 in gser\n");
}

}  // namespace
}  // namespace tramel::numeric
