// The notation's parser: the items it gives in both uses, the errors and their columns, and
// the walk of a format over the kinds of its values (checked at compile time, as the
// program's own formats are).
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "format/format.hpp"

namespace tramel::format {
namespace {

using enum Descriptor;
using K = ValueKind;

std::vector<Edit> items(std::string_view text, const Notation& notation) {
  std::vector<Edit> out;
  Parser parser(text, notation);
  for (;;) {
    out.push_back(parser.next());
    if (out.back().descriptor == End || out.back().descriptor == Error) return out;
  }
}

TEST(Parser, ItemsDescribeThemselves) {
  const std::string_view text = "(2x,'it''s',3(i4,f9.3),/,G10.4,a,a7:)";
  const std::vector<Edit> e = items(text, kOutputNotation);
  ASSERT_EQ(e.size(), 12u);
  EXPECT_EQ(e[0].descriptor, Skip);
  EXPECT_EQ(e[0].columns, 2);
  EXPECT_EQ(e[1].descriptor, Literal);
  EXPECT_EQ(text.substr(e[1].text_begin, e[1].text_end - e[1].text_begin), "it''s");
  EXPECT_EQ(e[2].descriptor, GroupBegin);
  EXPECT_EQ(e[2].repeat, 3);
  EXPECT_EQ(e[2].depth, 2);
  EXPECT_EQ(e[2].column, 13);
  EXPECT_EQ(e[3].descriptor, Integer);
  EXPECT_EQ(e[3].width, 4);
  EXPECT_EQ(e[4].descriptor, Fixed);
  EXPECT_EQ(e[4].width, 9);
  EXPECT_EQ(e[4].digits, 3);
  EXPECT_EQ(e[5].descriptor, GroupEnd);
  EXPECT_EQ(e[6].descriptor, NextRecord);
  EXPECT_EQ(e[7].descriptor, General);
  EXPECT_EQ(e[7].digits, 4);
  EXPECT_EQ(e[8].descriptor, Characters);
  EXPECT_EQ(e[8].width, -1);
  EXPECT_EQ(e[9].width, 7);
  EXPECT_EQ(e[10].descriptor, Colon);
  EXPECT_EQ(e[11].descriptor, End);
}

TEST(Parser, TheRecordFormHasTheInputItems) {
  const std::string_view text = "(-2P, e12.4E3 i5.3 tl3 T 10 tr2 bz sp, 2d9.2) what follows";
  const std::vector<Edit> e = items(text, kRecordNotation);
  ASSERT_EQ(e.size(), 10u);
  EXPECT_EQ(e[0].descriptor, Scale);
  EXPECT_EQ(e[0].scale, -2);
  EXPECT_EQ(e[1].descriptor, Exponent);
  EXPECT_EQ(e[1].exponent_digits, 3);
  EXPECT_EQ(text.substr(e[1].text_begin, e[1].text_end - e[1].text_begin), "e12.4E3");
  EXPECT_EQ(e[2].descriptor, Integer);
  EXPECT_EQ(e[2].digits, 3);
  EXPECT_EQ(e[3].descriptor, TabLeft);
  EXPECT_EQ(e[4].descriptor, Tab);
  EXPECT_EQ(e[4].columns, 10);
  EXPECT_EQ(e[5].descriptor, TabRight);
  EXPECT_EQ(e[6].descriptor, BlankZero);
  EXPECT_EQ(e[7].descriptor, SignControl);
  EXPECT_EQ(e[8].descriptor, DoubleExponent);
  EXPECT_EQ(e[8].repeat, 2);
  EXPECT_EQ(e[9].descriptor, End);
  // The same text is no output format: the first input-only item is the error.
  EXPECT_EQ(first_error(text, kOutputNotation).column, 2);
}

TEST(Parser, ErrorsNameTheColumn) {
  const struct {
    const char* text;
    bool record;
    int column;
  } cases[] = {
      {"(i3,t5)", false, 5},     {"(i3 e5.2)", false, 5},   {"(f5.1,q)", true, 7},
      {"(f5.1,'x')", true, 7},   {"(3t5,f5.1)", true, 2},   {"(f5.1,bq)", true, 8},
      {"(e10.3e)", true, 8},     {"(i5.)", true, 5},        {"(tl,f5.1)", true, 4},
      {"(+2f5.1)", true, 2},     {"(f5.1", true, 6},        {"(f5.1\t,f2.0)", true, 6},
      {"(f5.1) x", false, 8},    {"(2147483648x)", true, 2}, {"(f1001.2)", false, 3},
  };
  for (const auto& c : cases) {
    const Edit e = first_error(c.text, c.record ? kRecordNotation : kOutputNotation);
    EXPECT_EQ(e.descriptor, Error) << c.text;
    EXPECT_EQ(e.column, c.column) << c.text << ": " << describe(e, c.text);
  }
  // Nesting is the parser's own limit, the format's parentheses the first of 32 levels.
  const std::string ok = std::string(32, '(') + "i1" + std::string(32, ')');
  const std::string deep = std::string(33, '(') + "i1" + std::string(33, ')');
  EXPECT_EQ(first_error(ok, kOutputNotation).descriptor, End);
  EXPECT_EQ(first_error(deep, kOutputNotation).column, 33);
  // A record format counts its first 50 characters only.
  const std::string fifty = "(f10.3," + std::string(38, ' ') + "f5.1)";
  EXPECT_EQ(first_error(fifty, kRecordNotation).descriptor, End);
  EXPECT_EQ(first_error("(f10.3," + std::string(39, ' ') + "f5.1)", kRecordNotation).column, 51);
  EXPECT_EQ(describe(first_error("(1000001x)", kOutputNotation), "(1000001x)"),
            "format error at column 2: number larger than 1000000 in \"(1000001x)\"");
}

constexpr KindCheck::Outcome check(std::string_view text, std::initializer_list<K> kinds) {
  return check_kinds(text, std::span<const K>(kinds.begin(), kinds.size())).outcome;
}
constexpr auto kFits = KindCheck::Outcome::Fits;
constexpr auto kWrong = KindCheck::Outcome::WrongKind;
constexpr auto kLeftOver = KindCheck::Outcome::ValuesLeftOver;

// Items in order, repeat counts and groups, reversion to the last outermost group, and ':'.
static_assert(check("(1x,i2,2x,f8.4)", {K::Integer, K::Real}) == kFits);
static_assert(check("(1x,i2,2x,f8.4)", {K::Real, K::Real}) == kWrong);
static_assert(check("(1x,i2,2x,f8.4)", {K::Integer, K::Integer}) == kWrong);
static_assert(check("(a7,g10.3)", {K::Text, K::Real}) == kFits);
static_assert(check("(a7)", {K::Real}) == kWrong);
static_assert(check("(g10.3)", {K::Text}) == kWrong);
static_assert(check("(i3,2x,i4,2x,:,100(f9.3,1x))", {K::Integer, K::Integer}) == kFits);
static_assert(check("(i3,2x,i4,2x,:,2(f9.3,1x))",
                    {K::Integer, K::Integer, K::Real, K::Real, K::Real, K::Real}) == kFits);
static_assert(check("(i3,2(f9.3,1x))", {K::Integer, K::Real, K::Real, K::Integer}) == kWrong);
static_assert(check("(4(f7.4,' - ',i3,1x))",
                    {K::Real, K::Integer, K::Real, K::Integer, K::Real, K::Integer}) == kFits);
static_assert(check("(3i3)", {K::Integer, K::Integer, K::Integer, K::Integer}) == kFits);
static_assert(check("(i2,2(i3),a)", {K::Integer, K::Integer, K::Integer, K::Text,
                                     K::Integer, K::Integer, K::Text}) == kFits);
static_assert(check("(i2,2(i3),a)", {K::Integer, K::Integer, K::Integer, K::Text,
                                     K::Integer, K::Text}) == kWrong);
static_assert(check("(i2,1000000('x'),f5.1)", {K::Integer, K::Real}) == kFits);
static_assert(check("('a',2('b'))", {}) == kFits);
static_assert(check("('a',2('b'))", {K::Integer}) == kLeftOver);
static_assert(check("(i3,2(' '))", {K::Integer, K::Integer}) == kLeftOver);
static_assert(check("(i3", {K::Integer}) == KindCheck::Outcome::NotAFormat);

TEST(KindCheck, NamesTheValueAndTheEdit) {
  const std::array<K, 3> kinds{K::Integer, K::Integer, K::Text};
  const KindCheck c = check_kinds("(i2,2(1x,i3))", kinds);
  EXPECT_EQ(c.outcome, kWrong);
  EXPECT_EQ(c.value, 2);
  EXPECT_EQ(c.column, 10);
}

}  // namespace
}  // namespace tramel::format
