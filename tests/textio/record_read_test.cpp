// Formatted reads under a run-time format: numeric fields, records and reversion, labels.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

struct Outcome {
  ReadResult result;
  std::vector<float> values;
};

Outcome read_text(const std::string& text, const std::string& fmt, std::size_t count,
                  float fill = -7.0f) {
  TextFile file;
  file.open_text(text);
  RecordFormat format(fmt);
  Outcome o{{}, std::vector<float>(count, fill)};
  o.result = read(file, format, o.values.data(), static_cast<std::int64_t>(count));
  return o;
}

std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }

struct FieldCase {
  const char* fmt;
  const char* record;
  float expected;
};

// Ordinary fields of the data files' formats are the gfortran comparison's; here the rest.
TEST(NumericField, Values) {
  const FieldCase cases[] = {
      {"(bz,f8.2)", "   1 234", 102.34f},     // BZ: inner blanks are zeros, leading never
      {"(bz,f5.0)", "15   ", 15000.0f},       // trailing blanks are zeros too
      {"(bz,bn,f5.0)", "15   ", 15.0f},       // BN restores
      {"(f10.3)", "    1.5q2", 150.0f},       // Q exponent, lower case
      {"(f10.3)", "   1.5E 3", 1500.0f},      // blank inside the exponent ignored
      {"(bz,f10.3)", "    1.5E3 ", 1.5e30f},  // ... and a zero after BZ
      {"(f10.3)", "+  12.5", 12.5f},          // blanks after the sign
      {"(g12.4e3)", " 0.1234E+002", 12.34f},
      {"(2p,f10.3)", "    12.5", 0.125f},     // kP divides a value without exponent
      {"(-2p,f10.3)", "    12.5", 1250.0f},
      {"(2p,f10.3)", "    12.5e1", 125.0f},   // ... but not one with an exponent
      {"(1pf10.3)", "      1234", 0.1234f},   // P directly before F; with implied decimals
      {"(i5)", "  -42", -42.0f},              // Iw into a real
      {"(bz,i5)", "4 2  ", 40200.0f},
      {"(f30.0)", "123456789012345678901234567890", 123456789012345678901234567890.0f},
      {"(f10.3)", "  Infinity", std::numeric_limits<float>::infinity()},
      {"(f10.3)", "      -inf", -std::numeric_limits<float>::infinity()},
      {"(t3,f3.0)", "xx123", 123.0f},         // T skips what is not read
      {"(3x,tl2,f3.0)", "x12", 12.0f},
      {"(tr1,f3.0)", "x45", 45.0f},
      {"(5x,tl10,f2.0)", "77", 77.0f},        // TL stops at the first column
  };
  for (const auto& c : cases) {
    const Outcome o = read_text(c.record, c.fmt, 1);
    ASSERT_TRUE(o.result.ok()) << c.fmt << " [" << c.record << "]";
    EXPECT_EQ(o.values[0], c.expected) << c.fmt << " [" << c.record << "]";
  }
}

// The sign of a zero follows a Fortran READ: -0 under F, +0 under I.
TEST(NumericField, SignOfZero) {
  EXPECT_EQ(bits(read_text("      -0.0", "(f10.3)", 1).values[0]), 0x80000000u);
  EXPECT_EQ(bits(read_text("  -0", "(i4)", 1).values[0]), 0x00000000u);
}

TEST(NumericField, NaN) {
  for (const char* r : {"       NaN", "  nonsense", "         n"}) {
    const Outcome o = read_text(r, "(f10.3)", 1);
    ASSERT_TRUE(o.result.ok()) << r;
    EXPECT_TRUE(std::isnan(o.values[0])) << r;
  }
}

TEST(NumericField, ConversionErrors) {
  const FieldCase cases[] = {
      {"(f10.3)", "     1.2.3", 0}, {"(f10.3)", "     12a  ", 0}, {"(f10.3)", "      1.5E", 0},
      {"(f10.3)", "    1.5E+ ", 0}, {"(f10.3)", "    1.5E3x", 0}, {"(f10.3)", "       --1", 0},
      {"(f10.3)", "       +-1", 0}, {"(f10.3)", "      x1.0", 0}, {"(i5)", "  1.5", 0},
      {"(i5)", " 1e3 ", 0},         {"(f10.3)", "    1,5   ", 0}, {"(f10.3)", "1.0\t", 0},
  };
  for (const auto& c : cases) {
    const Outcome o = read_text(c.record, c.fmt, 1);
    EXPECT_TRUE(o.result.failed()) << c.fmt << " [" << c.record << "]";
    EXPECT_EQ(o.result.error, kConversionErrorNumber) << c.fmt << " [" << c.record << "]";
  }
}

TEST(NumericField, ExactConversion) {
  // Digit strings whose correct rounding a power-of-ten product gets wrong: the halfway
  // point between 1 and the next float, just above and just below it, and long digit runs.
  const FieldCase cases[] = {
      {"(f30.0)", "1.00000005960464477539062500", 1.0f},            // exact tie: to even
      {"(f30.0)", "1.00000005960464477539062501", 1.00000012f},     // just above the tie
      {"(f30.0)", "1.00000005960464477539062499", 1.0f},
      {"(f12.8)", "1   00000006", 1.00000012f},                     // implied, blanks inside
      {"(f50.0)", "0.000000000000000000000000000000000000001", 1e-39f},  // subnormal
      {"(f12.0)", "3.4028236e38", std::numeric_limits<float>::infinity()},
  };
  for (const auto& c : cases) {
    const Outcome o = read_text(c.record, c.fmt, 1);
    ASSERT_TRUE(o.result.ok()) << c.record;
    EXPECT_EQ(bits(o.values[0]), bits(c.expected)) << c.record;
  }
  // More digits than are kept: the sticky digit still breaks the tie upwards.
  std::string tie = "1.00000005960464477539062500";
  std::string above = tie + std::string(300, '0') + "1";
  const Outcome o = read_text(above, "(f400.0)", 1);
  ASSERT_TRUE(o.result.ok());
  EXPECT_EQ(o.values[0], 1.00000012f);
}

TEST(Records, FieldsNotNeededAreNotRead) {
  // Two values of three: one record; the third field is never read (not even checked).
  TextFile file;
  file.open_text("     1.000     2.000   garbage\n     4.000\n");
  RecordFormat fmt("(3f10.3)");
  float v[2] = {};
  ASSERT_TRUE(read(file, fmt, v, 2).ok());
  ASSERT_TRUE(read(file, fmt, v, 1).ok());
  EXPECT_EQ(v[0], 4.0f);
  EXPECT_TRUE(read(file, fmt, v, 1).end());
}

TEST(Records, Reversion) {
  // Reversion goes back to the last outermost group with its repeat count.
  Outcome o = read_text("1. 2. 3. \n4. 5. 6. \n", "(f3.0,2(f3.0))", 5);
  ASSERT_TRUE(o.result.ok());
  EXPECT_EQ(o.values, (std::vector<float>{1, 2, 3, 4, 5}));
  // Not from the start: 1x would skip the 4 and meet ". 5".
  o = read_text("a1. 2. 3. \n4. 5. 6. \n", "(1x,f3.0,1(f3.0),f3.0)", 5);
  ASSERT_TRUE(o.result.ok());
  EXPECT_EQ(o.values, (std::vector<float>{1, 2, 3, 4, 5}));

  // The end of the file before the list is filled: End, unread items keep their values.
  o = read_text("     1.000     2.000     3.000\n     4.000     5.000     6.000\n     7.000\n",
                "(3f10.3)", 10);
  EXPECT_TRUE(o.result.end());
  EXPECT_EQ(o.values, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 0, 0, -7}));
  o = read_text("", "(3f10.3)", 2);
  EXPECT_TRUE(o.result.end());
  EXPECT_EQ(o.values, (std::vector<float>{-7, -7}));
}

TEST(Records, SlashAndColon) {
  const std::string text = "1\n2\n3\n4\n";
  struct Case {
    const char* fmt;
    std::size_t count;
    std::vector<float> values;
    float next;  // the first value of the record the next read takes
  } cases[] = {
      {"(f1.0,/,f1.0)", 2, {1, 2}, 3},
      {"(f1.0/)", 1, {1}, 3},             // a trailing slash consumes one more record
      {"(f1.0,:,/)", 1, {1}, 2},          // ... not after a colon
      {"(f1.0,2/)", 1, {1}, 4},
      {"(f1.0,3x,2(/),f1.0)", 1, {1}, 4},  // control items up to the next data descriptor
      {"(f1.0,//,f1.0)", 2, {1, 3}, 4},
  };
  for (const auto& c : cases) {
    TextFile file;
    file.open_text(text);
    RecordFormat fmt(c.fmt);
    std::vector<float> v(c.count);
    ASSERT_TRUE(read(file, fmt, v.data(), static_cast<std::int64_t>(c.count)).ok()) << c.fmt;
    EXPECT_EQ(v, c.values) << c.fmt;
    float next = 0;
    ASSERT_TRUE(read(file, RecordFormat("(f1.0)"), &next, 1).ok()) << c.fmt;
    EXPECT_EQ(next, c.next) << c.fmt;
  }
  // A slash that meets the end of the file ends the read with End.
  TextFile file;
  file.open_text("1\n");
  float v = 0;
  EXPECT_TRUE(read(file, RecordFormat("(f1.0/)"), &v, 1).end());
  EXPECT_EQ(v, 1.0f);
}

TEST(Records, EmptyListAndDiscard) {
  TextFile file;
  file.open_text("1\n2\n3\n4\n5\n");
  RecordFormat fmt("(f1.0)");
  EXPECT_TRUE(read(file, fmt, nullptr, 0).ok());  // one record passed over
  EXPECT_TRUE(read(file, fmt, nullptr, 2).ok());  // two values discarded
  float v = 0;
  ASSERT_TRUE(read(file, fmt, &v, 1).ok());
  EXPECT_EQ(v, 4.0f);
  // A huge count with nothing kept ends at the end of the file, allocating nothing.
  EXPECT_TRUE(read(file, fmt, nullptr, std::int64_t{1} << 40).end());
}

struct LabelCase {
  const char* fmt;
  const char* label;  // the 25 characters expected
};

TEST(Labels, Widths) {
  const std::string record =
      "     1.000     2.000 ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const LabelCase cases[] = {
      {"(2f10.3,1x,a25)", "ABCDEFGHIJKLMNOPQRSTUVWXY"},
      {"(2f10.3,1x,a30)", "FGHIJKLMNOPQRSTUVWXYZ0123"},  // the rightmost 25
      {"(2f10.3,1x,a10)", "ABCDEFGHIJ               "},  // left-justified, blank padded
      {"(2f10.3,1x,a)", "ABCDEFGHIJKLMNOPQRSTUVWXY"},    // A takes the item's 25
      {"(2f10.3,1x,a60)", "9"},  // the field runs 24 columns beyond the record
      {"(2f10.3,a100)", "                         "},
  };
  for (const auto& c : cases) {
    TextFile file;
    file.open_text(record + "\n");
    float v[2] = {};
    char label[25];
    ASSERT_TRUE(read(file, RecordFormat(c.fmt), v, 2, label).ok()) << c.fmt;
    EXPECT_EQ(v[0], 1.0f);
    EXPECT_EQ(v[1], 2.0f);
    std::string expected(c.label);
    expected.resize(25, ' ');
    EXPECT_EQ(std::string(label, 25), expected) << c.fmt;
  }
}

TEST(Labels, DescriptorMismatch) {
  // A descriptor that does not fit its item is a format error.
  const struct {
    const char* fmt;
    std::size_t count;
    bool label;
  } cases[] = {
      {"(f10.3,a25)", 2, false},     // A for a real
      {"(2f10.3,1x,f5.0)", 2, true},  // F for the label
      {"(2f10.3,1x,i5)", 2, true},
      {"(a5)", 1, true},              // A for the real before the label
  };
  for (const auto& c : cases) {
    TextFile file;
    file.open_text("     1.000     2.000 label\n");
    std::vector<float> v(c.count);
    char label[25];
    const ReadResult r = read(file, RecordFormat(c.fmt), v.data(),
                              static_cast<std::int64_t>(c.count), c.label ? label : nullptr);
    EXPECT_TRUE(r.failed()) << c.fmt;
    EXPECT_EQ(r.error, kFormatErrorNumber) << c.fmt;
  }
}

}  // namespace
}  // namespace tramel::textio
