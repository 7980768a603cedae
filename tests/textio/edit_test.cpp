// Single-field edits: Iw, Fw.d, Gw.d, Aw, and NaN/Inf in numeric fields.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

struct RealCase {
  int w, d;
  float value;
  const char* expected;
};

const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(EditF, Table) {
  const RealCase cases[] = {
      {5, 2, 0.125f, " 0.12"},         // exact tie: to even
      {5, 2, 0.375f, " 0.38"},         // exact tie: to even
      {4, 1, 0.25f, " 0.2"},           // exact tie: to even
      {5, 2, 0.015f, " 0.01"},         // stored as 0.01499999966...
      {6, 3, 0.05f, " 0.050"},
      {7, 4, 0.99996f, " 1.0000"},     // carries into the integer part
      {9, 3, -1234.5678f, "-1234.568"},
      {12, 3, 12345678.0f, "12345678.000"},
      {6, 2, -99.99f, "-99.99"},
      {5, 2, -0.004f, " 0.00"},        // negative rounding to zero: no minus
      {5, 2, -0.005f, " 0.00"},        // stored just above -0.005
      {5, 2, -0.0f, " 0.00"},
      {4, 2, 0.5f, "0.50"},
      {4, 2, -0.5f, "-.50"},           // no column left for the 0
      {3, 2, 0.5f, ".50"},
      {3, 2, -0.5f, "***"},
      {5, 2, 123.456f, "*****"},
      {5, 2, 99.995f, "*****"},        // 99.99500274... rounds up to 100.00
      {12, 3, 1.0e8f, "************"},
      {7, 2, 1.0e10f, "*******"},
      {5, 0, 2.5f, "   2."},           // tie to even, the point stays
      {5, 0, 3.5f, "   4."},
      {2, 0, 0.4f, "0."},
      {1, 0, 0.4f, "*"},               // the only digit is not optional
      {6, 3, 1.0e-30f, " 0.000"},
      {9, 3, kNaN, "      NaN"},
      {2, 1, kNaN, "**"},
      {9, 3, kInf, " Infinity"},
      {8, 3, kInf, "Infinity"},
      {7, 3, kInf, "    Inf"},
      {9, 3, -kInf, "-Infinity"},
      {8, 3, -kInf, "    -Inf"},
      {3, 1, -kInf, "***"},
  };
  for (const RealCase& c : cases) {
    std::string s;
    edit_f(s, c.value, c.w, c.d);
    EXPECT_EQ(s, c.expected) << "f" << c.w << "." << c.d << " of " << c.value;
  }
}

TEST(EditG, Table) {
  const RealCase cases[] = {
      {12, 3, 1.0f, "    1.00    "},
      {12, 3, 12345.0f, "   0.123E+05"},
      {12, 3, 0.05f, "   0.500E-01"},
      {10, 3, -1.5f, " -1.50    "},
      {12, 6, 0.5f, "0.500000    "},
      {12, 6, 0.001f, "0.100000E-02"},
      {12, 6, -0.05f, "-.500000E-01"},   // no column for the 0
      {10, 3, 0.0f, "  0.00    "},
      {10, 3, -0.0f, "  0.00    "},
      {12, 6, 0.0f, " 0.00000    "},
      {10, 3, 0.1f, " 0.100    "},       // 0.1 itself: fixed form
      {10, 3, 0.0999f, " 0.999E-01"},    // just below 0.1: exponent form
      {10, 3, 0.09996f, " 0.100    "},    // rounds to 0.100 at 3 digits: fixed form
      {10, 3, 999.4f, "  999.    "},     // just below 10^d
      {10, 3, 999.6f, " 0.100E+04"},     // rounds to 10^d: exponent form
      {10, 4, 9999.4f, " 9999.    "},
      {10, 4, 0.12345f, "0.1235    "},    // 0.123450003... rounds up
      {10, 4, 1.00005f, " 1.000    "},    // 1.00004994... rounds down
      {12, 3, -7.26e-3f, "  -0.726E-02"},
      {10, 3, 1.0e-30f, " 0.100E-29"},
      {10, 3, -1.0e-30f, "-0.100E-29"},
      {9, 3, -1.0e-30f, "-.100E-29"},
      {8, 3, -1.0e-30f, "********"},
      {10, 3, 1.0e-45f, " 0.140E-44"},   // smallest subnormal
      {10, 3, 3.4028235e38f, " 0.340E+39"},
      {6, 3, -100.0f, "**    "},        // F2.0 in the fixed branch overflows
      {4, 1, 1.0f, "****"},
      {10, 3, kNaN, "       NaN"},
      {10, 3, -kInf, " -Infinity"},
  };
  for (const RealCase& c : cases) {
    std::string s;
    edit_g(s, c.value, c.w, c.d);
    EXPECT_EQ(s, c.expected) << "g" << c.w << "." << c.d << " of " << c.value;
  }
}

TEST(EditI, Table) {
  const struct {
    int w;
    std::int32_t value;
    const char* expected;
  } cases[] = {
      {3, 7, "  7"},
      {3, 1234, "***"},
      {2, -5, "-5"},
      {2, -10, "**"},
      {1, 0, "0"},
      {11, std::numeric_limits<std::int32_t>::min(), "-2147483648"},
      {10, std::numeric_limits<std::int32_t>::min(), "**********"},
      {8, 605, "     605"},
  };
  for (const auto& c : cases) {
    std::string s;
    edit_i(s, c.value, c.w);
    EXPECT_EQ(s, c.expected) << "i" << c.w << " of " << c.value;
  }
}

TEST(EditA, Table) {
  const struct {
    int w;
    std::string_view value;
    const char* expected;
  } cases[] = {
      {15, "tramel.dat", "     tramel.dat"},
      {3, "abcdef", "abc"},
      {5, "ab   ", "ab   "},  // w equal to the length: unchanged, trailing blanks kept
      {0, "abc", ""},
  };
  for (const auto& c : cases) {
    std::string s;
    edit_a(s, c.value, c.w);
    EXPECT_EQ(s, c.expected) << "a" << c.w << " of '" << c.value << "'";
  }
}

TEST(Edit, WidthsAreBounded) {
  std::string s;
  edit_f(s, 1.0f, 0, 2);
  edit_g(s, 1.0f, -3, 2);
  edit_i(s, 1, 0);
  EXPECT_EQ(s, "");
  edit_f(s, 1.0f, 1 << 30, 1 << 30);  // cut to the largest field: d = w, so asterisks
  EXPECT_EQ(s, std::string(kMaxFieldWidth, '*'));
  s.clear();
  edit_g(s, -1.0f, 2000, 5000);
  EXPECT_EQ(s.size(), static_cast<std::size_t>(kMaxFieldWidth));
}

}  // namespace
}  // namespace tramel::textio
