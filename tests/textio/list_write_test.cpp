// List-directed lines: spacing between texts and numbers, I11, G16.9 and the 1PE15.8 form.
#include <gtest/gtest.h>

#include <limits>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

template <class... T>
std::string line(const T&... values) {
  Sink sink;
  list(sink, values...);
  return sink.text();
}

TEST(ListWrite, Reals) {
  const struct {
    float value;
    const char* expected;  // the field, after the line's blank column
  } cases[] = {
      {1.0f, "  1.00000000    "},
      {-0.5f, "-0.500000000    "},
      {0.0f, "  0.00000000    "},
      {-0.0f, "  0.00000000    "},
      {0.1f, " 0.100000001    "},                // 0.1 itself: fixed form
      {0.099999994f, " 9.99999940E-02"},         // the float just below: exponent form
      {999999936.0f, "  999999936.    "},        // just below 1e9
      {1.0e9f, " 1.00000000E+09"},
      {0.01f, " 9.99999978E-03"},                // the exact float, not the decimal 0.01
      {-1.0e-10f, "-1.00000001E-10"},
      {1.0e-45f, " 1.40129846E-45"},
      {3.4028235e38f, " 3.40282347E+38"},
      {std::numeric_limits<float>::quiet_NaN(), "             NaN"},
      {-std::numeric_limits<float>::infinity(), "       -Infinity"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(line(c.value), std::string(" ") + c.expected + "\n") << c.value;
}

TEST(ListWrite, Spacing) {
  // numbers after numbers get no extra blank; texts abut, NUL characters included
  EXPECT_EQ(line(1, 2.0f, -3), "           1  2.00000000             -3\n");
  EXPECT_EQ(line("abc", "def ", std::string_view("x\0y", 3)), std::string(" abcdef x\0y\n", 12));
  EXPECT_EQ(line(7, "b"), "           7b\n");
  EXPECT_EQ(line(), "\n");  // no items: an empty line
}

TEST(ListWrite, OneLineHoweverLong) {
  Sink sink;
  std::vector<Item> items;
  for (int i = 0; i < 500; ++i) items.emplace_back(static_cast<float>(i));
  list(sink, std::span<const Item>(items));
  EXPECT_EQ(sink.text().size(), 1u + 500 * 16 + 1);
  EXPECT_EQ(sink.text().find('\n'), sink.text().size() - 1);
}

}  // namespace
}  // namespace tramel::textio
