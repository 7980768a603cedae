// List-directed input: the count and rate of the data file's second line, header skipping,
// separators, nulls, repeats, and the values that cannot be read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

struct Pair {
  ReadResult result;
  std::int32_t n = -1;
  float rate = -7.0f;
};

// Reads one integer and one real, list-directed, from `text`.
Pair read_pair(const std::string& text) {
  TextFile file;
  file.open_text(text);
  Pair p;
  const TextFile::ListTarget targets[] = {&p.n, &p.rate};
  p.result = file.read_list(targets);
  return p;
}

TEST(ListRead, CountAndRate) {
  const struct {
    const char* text;
    std::int32_t n;
    float rate;
  } cases[] = {
      {"2048  0.5  (f8.2,2(1x,f8.2))  extra", 2048, 0.5f},  // the format is passed over
      {"100 1.0 (a8,f10.3)", 100, 1.0f},
      {"1000,0.5", 1000, 0.5f},
      {"  1000 , 0.5 ,", 1000, 0.5f},
      {"1000\t2", 1000, 2.0f},                    // a real without a point
      {"1000\n\n  0.25\n", 1000, 0.25f},          // the list goes on in later records
      {"+12 -1.5e1", 12, -15.0f},
      {"12 1.5+3", 12, 1500.0f},
      {"12 1.5d3", 12, 1500.0f},
      {"12 .5", 12, 0.5f},
      {"-2147483648 1", -2147483647 - 1, 1.0f},
      {",7", -1, 7.0f},                           // a null value leaves the item as it was
      {"12,,", 12, -7.0f},
      {"12 /", 12, -7.0f},                        // a slash ends the read
      {"2*5", 5, 5.0f},                           // r*c
      {"2*", -1, -7.0f},
      {"1*3 4.5", 3, 4.5f},
  };
  for (const auto& c : cases) {
    const Pair p = read_pair(c.text);
    ASSERT_TRUE(p.result.ok()) << c.text;
    EXPECT_EQ(p.n, c.n) << c.text;
    EXPECT_EQ(p.rate, c.rate) << c.text;
  }
  EXPECT_TRUE(std::isinf(read_pair("12 inf").rate));
}

TEST(ListRead, ValuesThatCannotBeRead) {
  for (const char* text : {"1.5 2", "3000000000 1", "-2147483649 1", "12 abc", "12 1e", "12 .",
                           "12 -", "(f10.3) 12", "x 1", "12 1.5.5", "0*3 1", "+-1 2",
                           "12 '1.0'"}) {
    const Pair p = read_pair(text);
    EXPECT_TRUE(p.result.failed()) << text;
    EXPECT_EQ(p.result.error, kConversionErrorNumber) << text;
  }
}

TEST(ListRead, EmptyListsAndEnd) {
  TextFile file;
  file.open_text("title\n100 0.5 (f10.3)\n");
  EXPECT_TRUE(file.read_list({}).ok());
  EXPECT_TRUE(file.read_list({}).ok());  // the last line
  EXPECT_TRUE(file.read_list({}).end());  // one more: the end of the file
  // The end of the file before the list is filled: End, filled items keep their values.
  const Pair p = read_pair("12\n\n");
  EXPECT_TRUE(p.result.end());
  EXPECT_EQ(p.n, 12);
  EXPECT_EQ(p.rate, -7.0f);
}

TEST(ListRead, RestOfRecordSkipped) {
  TextFile file;
  file.open_text("1 2 3 4\n5 6\n");
  std::int32_t a = 0, b = 0;
  const TextFile::ListTarget one[] = {&a};
  const TextFile::ListTarget two[] = {&a, &b};
  ASSERT_TRUE(file.read_list(one).ok());
  EXPECT_EQ(a, 1);
  ASSERT_TRUE(file.read_list(two).ok());
  EXPECT_EQ(a, 5);
  EXPECT_EQ(b, 6);
}

}  // namespace
}  // namespace tramel::textio
