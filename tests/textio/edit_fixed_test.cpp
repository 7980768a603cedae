// Fw.d without to_chars for the usual field: the digits are those to_chars writes, for random
// floats of every magnitude, every d up to the quick path's limit and beyond, and exact ties.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

// The wide field as to_chars gives it: blanks, a minus unless every digit is 0, the digits.
std::string reference(float v, int w, int d) {
  char buf[128];
  const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::fixed, d);
  std::string digits(buf, r.ptr);
  if (d == 0) digits += '.';
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  if (std::signbit(v) && !zero) digits.insert(0, 1, '-');
  if (digits.size() > static_cast<std::size_t>(w))
    return std::string(static_cast<std::size_t>(w), '*');
  return std::string(static_cast<std::size_t>(w) - digits.size(), ' ') + digits;
}

TEST(EditFixed, DigitsAreThoseOfToChars) {
  std::mt19937_64 rng(99);
  for (int trial = 0; trial < 300000; ++trial) {
    // Any finite float: random bit patterns cover every magnitude.
    float v;
    do {
      v = std::bit_cast<float>(static_cast<std::uint32_t>(rng()));
    } while (!std::isfinite(v));
    if (trial % 2 == 0) v = std::ldexp(v, -std::ilogb(v) + static_cast<int>(rng() % 40) - 12);
    const int d = static_cast<int>(rng() % 15);
    const int w = 60;
    std::string got;
    edit_f(got, v, w, d);
    ASSERT_EQ(got, reference(v, w, d)) << v << " d=" << d;
  }
}

TEST(EditFixed, ExactTiesGoToEven) {
  const struct {
    float v;
    int d;
    const char* field;
  } cases[] = {
      {0.125f, 2, " 0.12"}, {0.375f, 2, " 0.38"}, {2.5f, 0, "   2."}, {3.5f, 0, "   4."},
      {-0.125f, 2, "-0.12"}, {1048576.5f, 0, "****"}, {0.0625f, 3, "0.062"},
  };
  for (const auto& c : cases) {
    std::string got;
    edit_f(got, c.v, static_cast<int>(std::string(c.field).size()), c.d);
    EXPECT_EQ(got, c.field) << c.v;
  }
}

}  // namespace
}  // namespace tramel::textio
