// The keyword readers on parameter texts built as a control block builds them: the parts,
// then NUL characters up to 700.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "control/control.hpp"
#include "control/parameter_text.hpp"

namespace tramel::control {
namespace {

constexpr Keyword key(std::string_view text) { return Keyword{text, text}; }

TEST(DigitsValue, CountsEveryCharacterAsItsCodeMinusZero) {
  struct Case {
    std::string s;
    int count;
    std::int32_t value;
  };
  const Case cases[] = {
      {"0", 1, 0},
      {"1234567", 7, 1234567},
      {"12345678", 7, 1234567},
      {"007", 3, 7},
      {"2,3", 3, 163},
      {"+5", 2, -45},
      {std::string(7, '\xff'), 7, 207 * 1111111},
      {std::string(7, '\0'), 7, -48 * 1111111},
      {"5", 0, 0},
      {"12345678", 8, 0},
      {"12", 3, 0},  // fewer characters than the count
  };
  for (const Case& c : cases)
    EXPECT_EQ(digits_value(c.s, c.count), c.value) << c.s << " " << c.count;
}

// Each of the program's keywords is found in its own label and in no other label of its block,
// so a block written with the usual labels gives every setting its own value.
TEST(Keywords, EachIsFoundInItsOwnLabelOnly) {
  using namespace keywords;
  const Keyword global[] = {kRuns, kSeriesCount, kDataFile, kThreshold, kFramesAhead, kLags, kUnit, kSampling};
  const Keyword run[] = {kLowerFrequency, kUpperFrequency, kLongestPeriod, kShortestPeriod,
                         kTaper,          kBandwidth,      kBandwidthCapital, kStart, kEnd};
  for (const auto block : {std::span<const Keyword>(global), std::span<const Keyword>(run)}) {
    for (const Keyword& k : block) {
      for (const Keyword& label : block) {
        const bool own = label.label == k.label;
        EXPECT_EQ(label.label.find(k.text) != std::string_view::npos, own)
            << "'" << k.text << "' in '" << label.label << "'";
        if (own) {
          EXPECT_TRUE(label.label.ends_with(k.text)) << k.text;
        }
      }
    }
  }
}

TEST(KeywordReader, IntegerValues) {
  struct Case {
    const char* text;
    const char* keyword;
    std::int32_t value;
    std::size_t position;  // of the keyword
  };
  const Case cases[] = {
      {"No. of runs = 2 ", "uns", 2, 8},
      {"runs=  -12 ", "uns", -12, 1},
      {"runs=-3 ", "uns", -3, 1},
      {"lags = 1234567 ", "ags", 1234567, 1},
      {"x = 2,3 ", "x", 163, 0},
      {"No. of lags = 3 No. of lags = 5 ", "ags", 3, 8},
      {"flags = 9 No. of lags = 3 ", "ags", 9, 2},  // found inside a longer word
      {"start   = 4 ", "start               ", 4, 0},  // trailing blanks of the keyword
  };
  for (const Case& c : cases) {
    KeywordReader reader;
    const KeywordValue<std::int32_t> v = reader.integer(key(c.keyword), text_of(c.text));
    EXPECT_EQ(v.value, c.value) << c.text;
    EXPECT_EQ(v.error, ReadError::None) << c.text;
    EXPECT_EQ(v.position, c.position) << c.text;
    EXPECT_EQ(v.message, "") << c.text;
  }
}

TEST(KeywordReader, IntegerErrorsGiveTheSavedResult) {
  struct Case {
    std::string text;
    const char* keyword;
    ReadError error;
  };
  const Case cases[] = {
      {text_of("lags = 7 "), "uns", ReadError::KeywordAbsent},
      {text_of("runs = 7 "), "   ", ReadError::KeywordAbsent},  // a blank keyword names nothing
      {text_of("runs"), "uns", ReadError::NoEquals},
      {text_of("runs=   5 "), "uns", ReadError::Malformed},  // three blanks: the third starts it
      {text_of("runs = - 5 "), "uns", ReadError::Malformed},   // a blank after the sign
      {text_of("runs = 5"), "uns", ReadError::Malformed},      // no blank before the NUL tail
      {std::string(699, 'x') + "=", "xxx", ReadError::Malformed},  // `=` in the last position
  };
  KeywordReader reader;
  ASSERT_EQ(reader.integer(key("uns"), text_of("runs = 41 ")).value, 41);
  for (const Case& c : cases) {
    const KeywordValue<std::int32_t> v = reader.integer(key(c.keyword), c.text);
    EXPECT_EQ(v.value, 41) << c.text;
    EXPECT_EQ(v.error, c.error) << c.text;
    EXPECT_EQ(v.message, "") << c.text;
  }
}

// The message shows the rest of the text without the NUL tail.
TEST(KeywordReader, IntegerOfEightCharactersGivesAMessage) {
  KeywordReader reader;
  const KeywordValue<std::int32_t> v = reader.integer(key("ags"), text_of("lags = 12345678 units"));
  EXPECT_EQ(v.value, 0);
  EXPECT_EQ(v.error, ReadError::IntegerTooLong);
  EXPECT_EQ(v.message, " The number 12345678 units > 999999\n");
}

TEST(KeywordReader, RealValues) {
  struct Case {
    const char* text;
    float value;
  };
  const Case cases[] = {
      {"P = 0.95 ", 0.95f},
      {"P = .95 ", 0.95f},
      {"P = -0.5 ", -0.5f},
      {"P=  -.25 ", -0.25f},
      {"P = 10.  x", 10.0f},
      {"P = 1.123456 ", 1.123456f},
      {"P = 1234567.5 ", 1234567.5f},
      {"P = 1.5e3 ", 2.033f},  // the letter counts as a digit: 1 + 1033/1000
      {"P = 25.0 taper", 25.0f},
      // One blank after the point counts as the digit 0, the label after it as digits.
      {"P = 10. Data start", 10.25629f},
      // "1 No." gives the whole part of the four characters "1 No" and the fraction "0of".
      {"P = 1 No. of lags = 2 ", -236.316f},
  };
  for (const Case& c : cases) {
    KeywordReader reader;
    const KeywordValue<float> v = reader.real(key("P"), text_of(c.text));
    EXPECT_EQ(v.value, c.value) << c.text;
    EXPECT_EQ(v.error, ReadError::None) << c.text;
    EXPECT_EQ(v.message, "") << c.text;
  }
}

TEST(KeywordReader, RealErrorsGiveTheSavedResult) {
  struct Case {
    std::string text;
    ReadError error;
  };
  const Case cases[] = {
      {"Q = 2.5 ", ReadError::KeywordAbsent},
      {"P", ReadError::NoEquals},
      {"P = 25 ", ReadError::NoPoint},               // no point anywhere after the value
      {"P = 1.123456789 ", ReadError::Malformed},    // no blank among the nine after the point
      {"P = 25. ", ReadError::Malformed},            // the NUL tail right after "25. "
      {"P = 25.", ReadError::Malformed},             // the point in the last used position
      {std::string(696, ' ') + "P=1.", ReadError::Malformed},  // the point in position 700
  };
  KeywordReader reader;
  ASSERT_EQ(reader.real(key("P"), text_of("P = 0.75 ")).value, 0.75f);
  for (const Case& c : cases) {
    const KeywordValue<float> v = reader.real(key("P"), text_of(c.text));
    EXPECT_EQ(v.value, 0.75f) << c.text;
    EXPECT_EQ(v.error, c.error) << c.text;
    EXPECT_EQ(v.message, "") << c.text;
  }
}

TEST(KeywordReader, RealMessagesForTooManyDigits) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"P = 12345678.0 ", " The number 12345678.0  > 9,999,999\n"},  // from the value
      {"P = 1.1234567 ", " The number 1234567  > 9,999,999\n"},      // from after the point
  };
  for (const Case& c : cases) {
    KeywordReader reader;
    const KeywordValue<float> v = reader.real(key("P"), text_of(c.text));
    EXPECT_EQ(v.value, 0.0f) << c.text;
    EXPECT_EQ(v.error, ReadError::RealTooLong) << c.text;
    EXPECT_EQ(v.message, c.message) << c.text;
  }
}

// The integer and the real reader keep their results apart; every reader object starts from
// zero, and what one reads does not reach another.
TEST(KeywordReader, SavedResultsBelongToTheReaderObject) {
  const std::string text = text_of("a = 12 b = 0.5 ");
  KeywordReader first;
  EXPECT_EQ(first.integer(key("a"), text).value, 12);
  EXPECT_EQ(first.real(key("b"), text).value, 0.5f);
  EXPECT_EQ(first.integer(key("zz"), text).value, 12);
  EXPECT_EQ(first.real(key("zz"), text).value, 0.5f);

  KeywordReader second;
  EXPECT_EQ(second.integer(key("zz"), text).value, 0);
  EXPECT_EQ(second.real(key("zz"), text).value, 0.0f);
  EXPECT_EQ(second.integer(key("a"), text_of("a = 3 ")).value, 3);
  EXPECT_EQ(first.integer(key("zz"), text).value, 12);
}

TEST(KeywordReader, TextValues) {
  struct Case {
    std::string text;
    std::string value;
    ReadError error;
  };
  const std::string sixty(60, 'v');
  const Case cases[] = {
      {"name=obs.txt more", "obs.txt ", ReadError::None},  // with the blank that ends it
      {"Data file name =data.txt  * ", "data.txt ", ReadError::None},
      {"name=" + sixty + " ", std::string(50, 'v'), ReadError::None},
      {"name= data.txt ", "", ReadError::Malformed},
      {"name=data.txt", "", ReadError::Malformed},  // no blank before the NUL tail
      {"nam=data.txt ", "", ReadError::KeywordAbsent},
      {"name data.txt ", "", ReadError::NoEquals},
  };
  const KeywordReader reader;
  for (const Case& c : cases) {
    std::string expected = c.value;
    expected.resize(50, ' ');
    const KeywordValue<std::string> v = reader.text(key("name"), text_of(c.text));
    EXPECT_EQ(v.value, expected) << c.text;
    EXPECT_EQ(v.error, c.error) << c.text;
  }
}

// Every error is its own value, while the messages keep printing the numbers people know:
// the integer reader's over-long number and the real reader's missing point both print 4.
TEST(ReadError, DistinctErrorsPrintTheirKnownNumbers) {
  const struct {
    ReadError error;
    std::int32_t number;
  } cases[] = {
      {ReadError::None, 0},           {ReadError::KeywordAbsent, 1}, {ReadError::NoEquals, 2},
      {ReadError::Malformed, 3},      {ReadError::IntegerTooLong, 4}, {ReadError::NoPoint, 4},
      {ReadError::RealTooLong, 5},
  };
  for (const auto& c : cases) EXPECT_EQ(error_number(c.error), c.number) << c.number;
  EXPECT_NE(ReadError::IntegerTooLong, ReadError::NoPoint);
}

}  // namespace
}  // namespace tramel::control
