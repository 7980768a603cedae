// Single-field edits: Iw, Fw.d, Gw.d, Aw, and NaN/Inf in numeric fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "format/format.hpp"

namespace tramel::format {
namespace {

struct RealCase {
  int w, d;
  float value;
  const char* expected;
};

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

void check(const RealCase* begin, const RealCase* end, char letter) {
  for (const RealCase* c = begin; c != end; ++c) {
    std::string s;
    (letter == 'f' ? edit_f : edit_g)(s, c->value, c->w, c->d);
    EXPECT_EQ(s, c->expected) << letter << c->w << "." << c->d << " of " << c->value;
  }
}

// Ordinary values are the gfortran comparison's; here the edges: ties, the optional 0,
// overflow, NaN and infinities, widths too small.
TEST(EditF, RoundsToEvenDropsTheOptionalZeroAndOverflowsToAsterisks) {
  const RealCase cases[] = {
      {5, 2, 0.125f, " 0.12"}, {5, 2, 0.375f, " 0.38"}, {4, 1, 0.25f, " 0.2"},  // ties to even
      {5, 2, 0.015f, " 0.01"},                 // stored as 0.01499999966...
      {5, 2, -0.004f, " 0.00"}, {5, 2, -0.005f, " 0.00"}, {5, 2, -0.0f, " 0.00"},  // no minus
      {4, 2, 0.5f, "0.50"}, {4, 2, -0.5f, "-.50"}, {3, 2, -0.5f, "***"},  // the optional 0
      {5, 2, 123.456f, "*****"}, {5, 2, 99.995f, "*****"},  // 99.99500274... rounds up
      {5, 0, 2.5f, "   2."}, {2, 0, 0.4f, "0."}, {1, 0, 0.4f, "*"},  // a lone 0 is not optional
      {9, 3, kNaN, "      NaN"}, {2, 1, kNaN, "**"}, {9, 3, kInf, " Infinity"},
      {7, 3, kInf, "    Inf"}, {9, 3, -kInf, "-Infinity"}, {8, 3, -kInf, "    -Inf"},
      {3, 1, -kInf, "***"},
  };
  check(std::begin(cases), std::end(cases), 'f');
}

TEST(EditG, FixedOrExponentFormByTheRoundedValue) {
  const RealCase cases[] = {
      {10, 3, 0.0f, "  0.00    "}, {10, 3, -0.0f, "  0.00    "}, {12, 6, 0.0f, " 0.00000    "},
      {10, 3, 0.1f, " 0.100    "}, {10, 3, 0.0999f, " 0.999E-01"},  // 0.1 and just below
      {10, 3, 0.09996f, " 0.100    "},  // N rounds to 0.100: fixed form
      {10, 3, 999.4f, "  999.    "}, {10, 3, 999.6f, " 0.100E+04"},  // just below 10^d, and N = 10^d
      {10, 4, 0.12345f, "0.1235    "}, {10, 4, 1.00005f, " 1.000    "},  // stored above, below
      {10, 3, -1.0e-30f, "-0.100E-29"}, {9, 3, -1.0e-30f, "-.100E-29"},
      {8, 3, -1.0e-30f, "********"}, {10, 3, 1.0e-45f, " 0.140E-44"},
      {10, 3, 3.4028235e38f, " 0.340E+39"}, {6, 3, -100.0f, "**    "}, {4, 1, 1.0f, "****"},
      {10, 3, kNaN, "       NaN"}, {10, 3, -kInf, " -Infinity"},
  };
  check(std::begin(cases), std::end(cases), 'g');
}

TEST(EditIA, IntegersAndTextFillOrCutTheirField) {
  std::string s;
  edit_i(s, 7, 3); edit_i(s, 1234, 3); edit_i(s, -5, 2); edit_i(s, -10, 2); edit_i(s, 0, 1);
  edit_i(s, std::numeric_limits<std::int32_t>::min(), 11);
  EXPECT_EQ(s, "  7***-5**0-2147483648");
  s.clear();
  edit_a(s, "tramel.dat", 15); edit_a(s, "abcdef", 3); edit_a(s, "ab   ", 5); edit_a(s, "x", 0);
  EXPECT_EQ(s, "     tramel.databcab   ");
}

TEST(Edit, WidthsAreBounded) {
  std::string s;
  edit_f(s, 1.0f, 0, 2); edit_g(s, 1.0f, -3, 2); edit_i(s, 1, 0);
  EXPECT_EQ(s, "");
  edit_f(s, 1.0f, 1 << 30, 1 << 30);  // cut to the largest field: d = w, so asterisks
  EXPECT_EQ(s, std::string(kMaxFieldWidth, '*'));
  s.clear();
  edit_g(s, -1.0f, 2000, 5000);
  EXPECT_EQ(s.size(), static_cast<std::size_t>(kMaxFieldWidth));
}

}  // namespace
}  // namespace tramel::format
