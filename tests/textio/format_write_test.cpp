// Formatted writes: format control (groups, reversion, '/', ':', nX at a line end), the
// compiler's error reports and bounds, kind conversions, and the sink.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

using namespace textio::literals;

std::string run(std::string_view format, std::vector<Item> items = {}) {
  Sink sink;
  write(sink, Format::compile(format), std::span<const Item>(items));
  return sink.text();
}

std::string repeat(std::string_view s, int n) {
  std::string r;
  for (int i = 0; i < n; ++i) r += s;
  return r;
}

TEST(FormatWrite, EachFormatWritesItsLines) {
  const struct {
    const char* format;
    std::vector<Item> items;
    std::string expected;
  } cases[] = {
      // the colon: two integers stop before the blanks after it; three reals leave no
      // trailing blank from the last 1x
      {"(i3,2x,i4,2x,:,100(f9.3,1x))", {1, 2}, "  1     2\n"},
      {"(i3,2x,i4,2x,:,100(f9.3,1x))", {1, 2, 1.5f, 2.25f, -3.0f},
       "  1     2      1.500     2.250    -3.000\n"},
      {"('it''s',a4)", {"ok"}, "it's  ok\n"},
      {"(\"say \"\"hi\"\"\")", {}, "say \"hi\"\n"},
      {"(2X,I3,F6.2,A)", {5, 1.5f, "z"}, "    5  1.50z\n"},
      {"( 2 x , i 3 )", {7}, "    7\n"},                // blanks outside literals mean nothing
      {"(2(i2,2('-')),'|')", {1, 2}, " 1-- 2--|\n"},
      {"(3i3)", {1, 2, 3, 4, 5, 6, 7}, "  1  2  3\n  4  5  6\n  7\n"},  // 3i3 is no group
      {"(i2,2(i3))", {1, 2, 3, 4, 5, 6, 7}, " 1  2  3\n  4  5\n  6  7\n"},
      {"(i1,2/i1)", {1, 2}, "1\n\n2\n"},
      {"(i1/i1:'x')", {1, 2}, "1\n2\n"},
      {"()", {}, "\n"},
      {"(/)", {}, "\n\n"},
      {"('a',5x,/,'b',3x)", {}, "a\nb\n"},  // nX at a line end writes nothing
      {"('a  ',2x,'b ')", {}, "a    b \n"},    // blanks of literals stay
      {"(i3,' and ',i3,' end')", {1}, "  1 and \n"},
      {"(i3)", {}, "\n"},
      {"(a)", {std::string_view("a\0b", 3)}, std::string("a\0b\n", 4)},
      {"(i3)", {2.6f}, "  3\n"},          // a real under I: nearest integer
      {"(i3)", {1.0e20f}, "***\n"},
      {"(f5.1)", {3}, "  3.0\n"},          // an integer under F: its float
      {"(g10.3)", {-1}, " -1.00    \n"},
  };
  for (const auto& c : cases) EXPECT_EQ(run(c.format, c.items), c.expected) << c.format;
}

TEST(FormatWrite, WrongKindsAndLeftoverValuesThrowAndWriteNothing) {
  Sink sink;
  sink.line("kept");
  const struct {
    const char* format;
    std::vector<Item> items;
  } cases[] = {
      {"(i3,i3)", {1, "x"}},
      {"('a',f5.1)", {"x"}},
      {"(a3)", {5}},
      {"('abc')", {1}},             // no descriptor takes the value
      {"(i3,2('x'))", {1, 2}},      // reversion would find no descriptor
      {"(i3,2(' '))", {1, 2}},
  };
  for (const auto& c : cases) {
    const Format f = Format::compile(c.format);
    EXPECT_THROW(write(sink, f, std::span<const Item>(c.items)), FormatError) << c.format;
    EXPECT_EQ(sink.text(), "kept\n") << c.format;
  }
}

TEST(FormatCompile, ErrorsNameTheColumn) {
  const struct {
    const char* format;
    int column;
  } cases[] = {
      {"i3", 1},        {"(i3", 4},         {"(i3))", 5},      {"(i3 f5.2)", 5},
      {"(e10.3)", 2},   {"(f5)", 4},        {"(i)", 2},        {"('abc)", 2},
      {"(0(i3))", 2},   {"(,i3)", 2},       {"(i3,)", 5},      {"(g10.3,g10.0)", 8},
      {"(2p,f5.2)", 2}, {"(1000000000x)", 2}, {"(i3.2)", 4},   {"(3)", 3},
      {"", 1},          {"(f5.)", 5},       {"(i3,3:)", 5},
  };
  for (const auto& c : cases) {
    try {
      Format::compile(c.format);
      ADD_FAILURE() << "compiled: " << c.format;
    } catch (const FormatError& e) {
      EXPECT_EQ(e.column(), c.column) << c.format << ": " << e.what();
    }
    EXPECT_FALSE(format::is_output_format(c.format)) << c.format;
  }
}

// The check a program's format literal gets at compile time accepts exactly what the
// compiler compiles, the pass-cost bound aside.
TEST(FormatCompile, CompileTimeCheckAgreesWithTheCompiler) {
  static_assert(format::is_output_format("(2x,'b(',i2,',',i2,') = ',f9.3,3x,f9.3,3x,f9.3)"));
  static_assert(!format::is_output_format("(2x,'b(',i2,',',i2,') = ',f9.3,3x,f9.3,3x,f9)"));
  const char* texts[] = {
      "(i3)", "( I3 , F9.3 )", "(/)", "(//)", "(i3/i4)", "(i3,/,i4)", "(:)", "(i3:i4)",
      "('it''s')", "(\"a\"\"b\")", "(a)", "(a0)", "(a15)", "(x)", "(3x)", "(4(f7.4,' - ',i3,1x))",
      "(g10.3)", "(g10.0)", "(f5.0)", "(f1000.1000)", "(f1001.3)", "(1000000x)", "(1000001x)",
      "(i3,)", "(,i3)", "(i3 f5.2)", "(i3)x", "((i3))", "(2(2(2(i1))))", "('abc",
      "(e10.3)", "(2p,f5.2)", "(3)", "(3:)", "()", "(i3.2)", "(f5.)", "(i)", "(f)",
      "(i3,3:)", "(t10,i3)", "(bn,f5.2)", " (i3) ", "(i3) x",
  };
  for (const char* t : texts) {
    bool compiles = true;
    try {
      Format::compile(t);
    } catch (const FormatError&) {
      compiles = false;
    }
    EXPECT_EQ(format::is_output_format(t), compiles) << t;
  }
  std::string deep = repeat("(", 33) + "i1" + repeat(")", 33);
  EXPECT_FALSE(format::is_output_format(deep));
  deep = repeat("(", 32) + "i1" + repeat(")", 32);
  EXPECT_TRUE(format::is_output_format(deep));
  EXPECT_NO_THROW(Format::compile(deep));
}

TEST(FormatCompile, HostileTextsAreRefusedQuickly) {
  const auto t0 = std::chrono::steady_clock::now();
  std::string deep = repeat("(", 40) + "i1" + repeat(")", 40);
  EXPECT_THROW(Format::compile(deep), FormatError);
  std::string very_deep = repeat("(", 100000);  // no recursion this deep
  EXPECT_THROW(Format::compile(very_deep), FormatError);
  EXPECT_THROW(Format::compile("(9999(9999(9999('x'))))"), FormatError);
  EXPECT_THROW(Format::compile("(9999(9999(9999(/))))"), FormatError);
  EXPECT_THROW(Format::compile("(999999x,999999x,999999x,999999x,999999x)"), FormatError);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));

  // Within the bounds: 31 nested groups inside the format, 19 of them repeated.
  const std::string nested = "(" + repeat("1(", 12) + repeat("2(", 19) + "i1" + repeat(")", 31) + ")";
  std::vector<Item> ones(1u << 12, Item(1));  // a pass takes 2^19 values: stops at the list end
  EXPECT_EQ(run(nested, ones), std::string(1u << 12, '1') + "\n");
  EXPECT_EQ(run("(1000('ab'))").size(), 2001u);
}

TEST(Sink, FileBuffersAndFlushes) {
  const auto path = std::filesystem::temp_directory_path() / "tramel_sink_test.txt";
  std::string all;
  {
    Sink sink;
    ASSERT_EQ(sink.open(path.string()), 0);
    for (int i = 0; i < 10000; ++i) {
      write(sink, "(i6)"_format, i);
      format::edit_i(all, i, 6);
      all += '\n';
    }
    // 70,000 characters: a whole block went to the file, the rest waits in memory
    EXPECT_EQ(sink.text(), all.substr(all.size() - sink.text().size()));
    EXPECT_LT(sink.text().size(), all.size());
    sink.line("last");
    all += "last\n";
  }  // the destructor flushes and closes
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), all);
  std::filesystem::remove(path);
}

TEST(Sink, ConsoleSinkPassesEachLineOn) {
  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  Sink console(f, /*owned=*/false, /*line_by_line=*/true);
  list(console, "Elapsed time = ", 1);
  EXPECT_EQ(console.text(), "");
  std::rewind(f);
  char buf[64] = {};
  ASSERT_NE(std::fgets(buf, sizeof buf, f), nullptr);
  EXPECT_EQ(std::string(buf), " Elapsed time =" + std::string(12, ' ') + "1\n");
  console.close();
  std::fclose(f);
}

}  // namespace
}  // namespace tramel::textio
