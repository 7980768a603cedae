// Compiling run-time formats: what is accepted, what is refused, and formats built to make a
// read loop, overflow or take forever.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

TEST(RecordFormatCompile, AtMostFiftyCharacters) {
  const std::string fifty = "(f10.3," + std::string(38, ' ') + "f5.1)";
  ASSERT_EQ(fifty.size(), 50u);
  EXPECT_TRUE(RecordFormat(fifty).valid());
  EXPECT_FALSE(RecordFormat("(f10.3, " + fifty.substr(7)).valid());
}

TEST(RecordFormatCompile, Accepted) {
  for (const char* text : {
           "(f10.3)", "(8F10.3)", "(2f10.3,1x,a25)", "(2(1x,f9.4))", "(e12.4)", "(E12.4E2)",
           "(g12.4e3)", "(d15.7)", "(i5,f8.2)", "(a,f8.2)", "(a30)", "(3x,tr2,t10,tl3,f5.1)",
           "(f5.1/f5.1)", "(f5.1,//,f5.1)", "(f5.1,2/)", "(f5.1,:,f5.1)", "(1pe12.4)",
           "(-2P,F10.3)", "(bz,f5.1,bn,f5.1)", "(2(3(f5.1,1x)),/)", "( f 1 0 . 3 )",
           "(x,f5.1)", "(f5.1,f5.1)", "(f5.1 f5.1)", "(sp,f5.1)", "(i5.3)", "()",
           "(f8.2,2(1x,f8.2))   ", "(f10.3) trailing text is not part of it",
           "(2147483647f10.3)", "(2147483647(2147483647(x)),f5.1)",
       }) {
    EXPECT_TRUE(RecordFormat(text).valid()) << text;
  }
}

TEST(RecordFormatCompile, Refused) {
  for (const char* text : {
           "", "f10.3", "(f10.3", "(f10)", "(f.3)", "(f0.3)", "(i0)", "(a0)", "(0f10.3)",
           "(0x,f5.1)", "(t0,f5.1)", "(tl,f5.1)", "(0(f5.1))", "('ab',f5.1)", "(5hhello)",
           "(f10.3,q)", "(p,f5.1)", "(+2f5.1)", "(bq)", "(2147483648f10.3)",
           "(99999999999(x),f5.1)", "(2bz,f5.1)", "(3:,f5.1)",
       }) {
    RecordFormat fmt(text);
    EXPECT_FALSE(fmt.valid()) << text;
    EXPECT_NE(fmt.error().find("format error at column "), std::string::npos) << text;
    TextFile file;
    file.open_text("1\n");
    float v = 0;
    const ReadResult r = read(file, fmt, &v, 1);
    EXPECT_TRUE(r.failed()) << text;
    EXPECT_EQ(r.error, kFormatErrorNumber) << text;
  }
}

TEST(RecordFormatCompile, ErrorsNameTheColumn) {
  EXPECT_EQ(RecordFormat("(f10.3)").error(), "");
  EXPECT_EQ(RecordFormat("(2f10.3, q)").error(),
            "format error at column 10: unsupported edit descriptor in \"(2f10.3, q)\"");
  EXPECT_EQ(RecordFormat("(f10.3, t0)").error(),
            "format error at column 10: a column is needed after T in \"(f10.3, t0)\"");
}

// Each of these must end at once with an error, or as soon as the records or the values run
// out, however large its counts; 2 s is far beyond what any of them may take.
TEST(RecordFormatCompile, HostileFormatsEndQuickly) {
  using S = ReadResult::Status;
  const std::string deep = std::string(1000, '(') + "f5.1" + std::string(1000, ')');
  const std::string nested = std::string(20, '(') + "f1.0" + std::string(20, ')');
  const struct {
    std::string fmt;
    S status;
  } cases[] = {
      {deep, S::Error},
      {"(x)", S::Error},                                       // no data descriptor
      {"(2147483647(x))", S::Error},
      {"(2147483647(2147483647(2147483647(tl1,x))))", S::Error},
      {"(f1.0,2147483647(x))", S::Error},                      // reversion finds no data
      {"(2147483647(2147483647(x)),f1.0)", S::End},            // one value per record
      {"(2147483647(t1,2147483647(tr9)),f1.0)", S::End},
      {"(2147483647(:,x,2147483647(x)),f1.0)", S::End},
      {"(2147483647(/),f1.0)", S::End},
      {"(2147483647(f1.0,/))", S::End},
      {nested, S::End},
      {"(2147483647f2147483647.0)", S::Ok},                    // fields far past the record
  };
  std::string text;
  for (int k = 0; k < 1000; ++k) text += "1\n";
  for (const auto& c : cases) {
    TextFile file;
    file.open_text(text);
    const auto t0 = std::chrono::steady_clock::now();
    const ReadResult r = read(file, RecordFormat(c.fmt), nullptr, 10'000'000);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(r.status, c.status) << c.fmt;
    if (r.failed()) {
      EXPECT_EQ(r.error, kFormatErrorNumber) << c.fmt;
    }
    EXPECT_LT(seconds, 2.0) << c.fmt;
  }
}

TEST(RecordFormatCompile, FoldedMovesKeepTheirMeaning) {
  // Position groups folded into one move still land where the items would have put them.
  const struct {
    const char* fmt;
    float expected;
  } cases[] = {
      {"(3(2x),f1.0)", 7},            // column 7
      {"(2(t3,x),f1.0)", 4},          // T fixes the column, X moves on: column 4 each time
      {"(4(tl1),3x,2(tl2),f1.0)", 1},  // back past the first column stops there
      {"(2147483647(tl5),f1.0)", 1},
      {"(t9,3(tl2,x),f1.0)", 6},
      {"(2(3(x),tl1),f1.0)", 5},
      {"(2147483647(2147483647(x)),tl2147483647,t2,f1.0)", 2},
  };
  for (const auto& c : cases) {
    TextFile file;
    file.open_text("1234567890\n");
    float v = -1;
    ASSERT_TRUE(read(file, RecordFormat(c.fmt), &v, 1).ok()) << c.fmt;
    EXPECT_EQ(v, c.expected) << c.fmt;
  }
}

}  // namespace
}  // namespace tramel::textio
