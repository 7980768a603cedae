// The reader's quick path for the common numeric field (sign, digits, one point, read through
// a window of columns) gives, bit for bit, what the full conversion gives: on random fields at
// every position of short and long records, next to fields whose digits must not leak in, and
// on the decimals that lie exactly halfway between two floats.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <string>

#include "textio/record_program.hpp"

namespace tramel::textio {
namespace {

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

// A field of width w: mostly the common form, now and then something else.
std::string random_field(std::mt19937_64& rng, int w) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::string body;
  const int sign = pick(4);
  if (sign == 1) body += '-';
  if (sign == 2) body += '+';
  const int digits = pick(w + 1);
  const int point = pick(digits + 3) - 1;  // -1 or past the end: no point
  for (int i = 0; i < digits; ++i) {
    if (i == point) body += '.';
    body += static_cast<char>('0' + pick(i == 0 && pick(3) == 0 ? 1 : 10));
  }
  if (point == digits) body += '.';
  if (pick(20) == 0 && !body.empty())  // a stray character somewhere
    body[static_cast<std::size_t>(pick(static_cast<int>(body.size())))] = " x-.e"[pick(5)];
  if (static_cast<int>(body.size()) > w) body.resize(static_cast<std::size_t>(w));
  const int lead = pick(w - static_cast<int>(body.size()) + 1);
  std::string field(static_cast<std::size_t>(lead), ' ');
  field += body;
  field.resize(static_cast<std::size_t>(w), ' ');
  return field;
}

TEST(RecordWindow, RandomFieldsMatchTheFullConversion) {
  std::mt19937_64 rng(20240601);
  int quick = 0;
  for (int trial = 0; trial < 200000; ++trial) {
    const int w = 1 + static_cast<int>(rng() % 16);
    const int d = static_cast<int>(rng() % 6);
    const int pos = static_cast<int>(rng() % 24);
    // Digits all around the field, so a column read outside it would show.
    std::string record(static_cast<std::size_t>(pos), '7');
    const std::string field = random_field(rng, w);
    record += field;
    record += std::string(rng() % 20, '9');
    if (rng() % 8 == 0) record.resize(rng() % record.size());  // a record that ends early

    const std::size_t have = record.size() > static_cast<std::size_t>(pos)
                                 ? std::min<std::size_t>(w, record.size() - pos)
                                 : 0;
    float expected = -7.0f;
    const bool ok = convert_real_general(record.data() + (have ? pos : 0), have, d, 0, false,
                                         expected);
    TextFile file;
    file.open_text(record + "\n");
    const RecordFormat format("(t" + std::to_string(pos + 1) + ",f" + std::to_string(w) + "." +
                              std::to_string(d) + ")");
    float got = -7.0f;
    const ReadResult r = read(file, format, &got, 1);
    ASSERT_EQ(r.ok(), ok) << '[' << record << "] at " << pos << " width " << w;
    if (ok) {
      ASSERT_EQ(bits(got), bits(expected))
          << '[' << field << "] d=" << d << " got " << got << " expected " << expected;
      quick += record.size() >= 16 && have == static_cast<std::size_t>(w);
    }
  }
  EXPECT_GT(quick, 100000);  // most fields went the quick way
}

struct Halfway {
  const char* field;
  float expected;  // ties to even
};

TEST(RecordWindow, HalfwayDecimalsRoundToEven) {
  const Halfway cases[] = {
      {"       16777217.", 16777216.0f},  // 2^24 + 1: between 2^24 and 2^24 + 2
      {"       16777219.", 16777220.0f},
      {"      -16777217.", -16777216.0f},
      {"       8388608.5", 8388608.0f},   // 2^23 + 1/2
      {"       8388609.5", 8388610.0f},
      {"      33554434.0", 33554432.0f},  // 2^25 + 2: ulp 4
      {"       1677721.7", 1677721.75f},  // not halfway: plain rounding
  };
  for (const Halfway& c : cases) {
    TextFile file;
    file.open_text(std::string(c.field) + "        ");
    float got = 0.0f;
    ASSERT_TRUE(read(file, RecordFormat("(f16.1)"), &got, 1).ok()) << c.field;
    EXPECT_EQ(bits(got), bits(c.expected)) << c.field;
  }
}

// Decimals of 15 digits that are not halfway between two floats but whose nearest double is:
// rounding that double to single would round twice. They take the full conversion.
TEST(RecordWindow, DecimalsWhoseDoubleIsHalfway) {
  for (const char* field : {"8.03369665145874", "8.46465253829956"}) {
    float expected = 0.0f;
    ASSERT_TRUE(convert_real_general(field, 16, 0, 0, false, expected));
    TextFile file;
    file.open_text(std::string(field) + "    ");
    float got = 0.0f;
    ASSERT_TRUE(read(file, RecordFormat("(f16.0)"), &got, 1).ok()) << field;
    EXPECT_EQ(bits(got), bits(expected)) << field;
    // The double rounded to single is off by one unit here.
    EXPECT_NE(bits(static_cast<float>(std::stod(field))), bits(expected)) << field;
  }
}

}  // namespace
}  // namespace tramel::textio
