// The keyword readers on parameter texts built as a control block builds them: the
// contributions, then NUL characters up to 700.
#include <gtest/gtest.h>

#include <string>

#include "control/control.hpp"

namespace tramel::control {
namespace {

std::string text_of(const std::string& contributions) {
  std::string text = contributions.substr(0, kParamText);
  text.resize(kParamText, '\0');
  return text;
}

class Readers : public ::testing::Test {
 protected:
  void SetUp() override { reset_readers(); }
  textio::Sink messages;
  int pos = -1;
  int ier = -1;
};

TEST(Number, CountsEveryCharacterAsItsCodeMinusZero) {
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
  };
  for (const Case& c : cases) EXPECT_EQ(number(c.s, c.count), c.value) << c.s << " " << c.count;
}

TEST_F(Readers, IntegerValues) {
  struct Case {
    const char* text;
    const char* keyword;
    std::int32_t value;
    int ier;
  };
  const Case cases[] = {
      {"No. of runs = 2 ", "uns", 2, 0},
      {"runs=  -12 ", "uns", -12, 0},
      {"runs=-3 ", "uns", -3, 0},
      {"lags = 1234567 ", "ags", 1234567, 0},
      {"x = 2,3 ", "x", 163, 0},
      {"No. of lags = 3 No. of lags = 5 ", "ags", 3, 0},
      {"flags = 9 No. of lags = 3 ", "ags", 9, 0},  // found inside a longer word
      {"start   = 4 ", "start               ", 4, 0},  // trailing blanks of the keyword
  };
  for (const Case& c : cases) {
    EXPECT_EQ(numread(c.keyword, text_of(c.text), kSeparator, pos, ier, messages), c.value)
        << c.text;
    EXPECT_EQ(ier, c.ier) << c.text;
  }
  EXPECT_EQ(messages.text(), "");
}

TEST_F(Readers, IntegerErrorsReturnTheSavedResult) {
  struct Case {
    std::string text;
    int ier;
  };
  const Case cases[] = {
      {"lags = 7 ", 1},                 // keyword absent
      {"runs", 2},                      // no `=` after the keyword
      {"runs=   5 ", 3},                // three blanks: the third is the number's start
      {"runs = - 5 ", 3},               // a blank after the sign
      {"runs = 5", 3},                  // no blank before the NUL tail
      {std::string(699, 'x') + "=", 3}, // `=` in the last position
  };
  numread("uns", text_of("runs = 41 "), kSeparator, pos, ier, messages);
  for (const Case& c : cases) {
    const std::string text = c.text.size() == 700 ? c.text : text_of(c.text);
    const std::string kw = c.text.size() == 700 ? "xxx" : "uns";
    EXPECT_EQ(numread(kw, text, kSeparator, pos, ier, messages), 41) << c.text;
    EXPECT_EQ(ier, c.ier) << c.text;
    if (c.ier == 2) {
      EXPECT_EQ(pos, 0);
    }
  }
  EXPECT_EQ(messages.text(), "");
}

TEST_F(Readers, IntegerOfEightCharactersWritesTheRestOfTheText) {
  const std::string text = text_of("lags = 12345678 units");
  EXPECT_EQ(numread("ags", text, kSeparator, pos, ier, messages), 0);
  EXPECT_EQ(ier, 4);
  EXPECT_EQ(messages.text(), " The number " + text.substr(7) + " > 999999\n");
}

TEST_F(Readers, RealValues) {
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
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rnumread("P", text_of(c.text), kSeparator, pos, ier, messages), c.value) << c.text;
    EXPECT_EQ(ier, 0) << c.text;
  }
  EXPECT_EQ(messages.text(), "");
}

TEST_F(Readers, RealErrorsReturnTheSavedResult) {
  struct Case {
    std::string text;
    int ier;
  };
  const Case cases[] = {
      {"Q = 2.5 ", 1},
      {"P", 2},
      {"P = 25 ", 4},                        // no point anywhere after the value
      {"P = 1.123456789 ", 3},               // no blank among the nine after the point
      {"P = 25. ", 3},                       // the NUL tail right after "25. "
      {"P = 25.", 3},                        // the point in the last used position
      {std::string(696, ' ') + "P=1.", 3},   // the point in position 700
  };
  rnumread("P", text_of("P = 0.75 "), kSeparator, pos, ier, messages);
  for (const Case& c : cases) {
    EXPECT_EQ(rnumread("P", text_of(c.text), kSeparator, pos, ier, messages), 0.75f) << c.text;
    EXPECT_EQ(ier, c.ier) << c.text;
  }
  EXPECT_EQ(messages.text(), "");
}

TEST_F(Readers, RealMessagesForTooManyDigits) {
  struct Case {
    std::string text;
    std::size_t from;  // where the quoted rest of the text begins
  };
  const Case cases[] = {
      {"P = 12345678.0 ", 4},
      {"P = 1.1234567 ", 6},
  };
  for (const Case& c : cases) {
    messages.pending().clear();
    const std::string text = text_of(c.text);
    rnumread("P", text, kSeparator, pos, ier, messages);
    EXPECT_EQ(ier, 5) << c.text;
    EXPECT_EQ(messages.text(), " The number " + text.substr(c.from) + " > 9,999,999\n") << c.text;
  }
}

TEST_F(Readers, PointOfALaterLabelWithFewCharacters) {
  // "1 No." gives the integer part of the four characters "1 No" and the fraction "0of".
  EXPECT_EQ(rnumread("P", text_of("P = 1 No. of lags = 2 "), kSeparator, pos, ier, messages),
            -236.316f);
  EXPECT_EQ(ier, 0);
}

TEST_F(Readers, EachReaderKeepsItsOwnResultUntilReset) {
  EXPECT_EQ(numread("a", text_of("a = 12 "), kSeparator, pos, ier, messages), 12);
  EXPECT_EQ(rnumread("b", text_of("b = 0.5 "), kSeparator, pos, ier, messages), 0.5f);
  EXPECT_EQ(numread("zz", text_of("a = 12 "), kSeparator, pos, ier, messages), 12);
  EXPECT_EQ(ier, 1);
  EXPECT_EQ(rnumread("zz", text_of("a = 12 "), kSeparator, pos, ier, messages), 0.5f);
  reset_readers();
  EXPECT_EQ(numread("zz", text_of("a = 12 "), kSeparator, pos, ier, messages), 0);
  EXPECT_EQ(rnumread("zz", text_of("a = 12 "), kSeparator, pos, ier, messages), 0.0f);
}

TEST_F(Readers, CharacterValues) {
  struct Case {
    std::string text;
    std::string value;
    int ier;
  };
  const std::string sixty(60, 'v');
  const Case cases[] = {
      {"name=obs.txt more", "obs.txt", 0},
      {"Data file name =data.txt  * ", "data.txt", 0},
      {"name=" + sixty + " ", std::string(50, 'v'), 0},
      {"name= data.txt ", "", 3},
      {"name=data.txt", "", 3},  // no blank before the NUL tail
      {"nam=data.txt ", "", 1},
      {"name data.txt ", "", 2},
  };
  for (const Case& c : cases) {
    std::string expected = c.value;
    expected.resize(50, ' ');
    EXPECT_EQ(charead("name", text_of(c.text), kSeparator, pos, ier), expected) << c.text;
    EXPECT_EQ(ier, c.ier) << c.text;
  }
}

}  // namespace
}  // namespace tramel::control
