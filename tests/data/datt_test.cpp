// The data file reader over plain and label mode, skipping, short records, end of file and
// conversion errors.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data/data.hpp"
#include "support.hpp"

namespace tramel::data {
namespace {

using testing::lines;
using testing::list_int;
using testing::pad;

struct Read {
  std::vector<float> x;
  std::vector<char> t;
  std::string report;
  bool stopped = false;
};

// Runs datt on a data file whose records follow the two head lines.
Read run(const std::string& fmt, char mode, int M, int is, int ie, const std::string& records) {
  textio::TextFile file;
  file.open_text("title\n" + std::to_string(ie) + " 1.0 " + fmt + "\n" + records);
  Read r;
  r.x.assign(static_cast<std::size_t>(M) * ie, -9.0f);
  if (mode == 'm') r.t.assign(static_cast<std::size_t>(ie) * kLabel, '?');
  textio::Sink report;
  // The last line read before this call must not matter: datt rewinds.
  std::string_view rec;
  file.next_record(rec);
  try {
    datt(r.x, pad(fmt, 50), r.t, mode, is, ie, ie - is + 1, M, file, report);
  } catch (const Stop& s) {
    EXPECT_EQ(s.status, 1);
    r.stopped = true;
  }
  r.report = report.text();
  return r;
}

std::vector<float> head(const std::vector<float>& x, std::size_t n) {
  return {x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n)};
}

std::string label(const Read& r, int i) {
  return std::string(r.t.begin() + (i - 1) * kLabel, r.t.begin() + i * kLabel);
}

TEST(Datt, ReadsTheSampleIntoColumns) {
  struct Case {
    const char* name;
    const char* fmt;
    char mode;
    int M, is, ie;
    std::string records;
    std::vector<float> x;  // columns 1..n
  };
  const std::string five = "       1.0\n       2.0\n       3.0\n       4.0\n       5.0\n";
  const Case cases[] = {
      {"plain, whole file", "(f10.3)", 'a', 1, 1, 5, five, {1, 2, 3, 4, 5}},
      {"plain, lines past IE unread", "(f10.3)", 'a', 1, 1, 3, five, {1, 2, 3}},
      {"plain, IS = 3", "(f10.3)", 'a', 1, 3, 5, five, {3, 4, 5}},
      {"plain, two series", "(2f10.3)", 'a', 2, 2, 3,
       "       1.0       -1.\n       2.0       -2.\n       3.0       -3.\n", {2, -2, 3, -3}},
      {"plain, implied decimals", "(2f5.2)", 'a', 2, 1, 2, "  125-4550\n   25  1.5\n",
       {1.25f, -45.5f, 0.25f, 1.5f}},
      {"two records per datum", "(2f10.3)", 'a', 4, 1, 2,
       "       1.0       2.0\n       3.0       4.0\n       5.0       6.0\n       7.0       8.0\n",
       {1, 2, 3, 4, 5, 6, 7, 8}},
      {"two records per datum, IS = 2", "(2f10.3)", 'a', 4, 2, 2,
       "       1.0       2.0\n       3.0       4.0\n       5.0       6.0\n       7.0       8.0\n",
       {5, 6, 7, 8}},
      {"short records give zeros", "(3f10.3)", 'a', 3, 1, 2, "       1.0\n\n",
       {1, 0, 0, 0, 0, 0}},
      {"label mode, IS = 3", "(2f10.3,1x,a25)", 'm', 2, 3, 4,
       "       1.0       2.0 one\n       3.0       4.0 two\n       5.0       6.0 three\n"
       "       7.0       8.0 four\n",
       {5, 6, 7, 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = run(c.fmt, c.mode, c.M, c.is, c.ie, c.records);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.report, "");
    EXPECT_EQ(head(r.x, c.x.size()), c.x);
  }
}

TEST(Datt, LabelsAreKeptByDatumNumber) {
  const Read r = run("(f10.3,1x,a25)", 'm', 1, 3, 4,
                     "       1.0 first\n       2.0 second\n       3.0 third\n       4.0 fourth\n");
  EXPECT_EQ(label(r, 3), pad("third", 25));
  EXPECT_EQ(label(r, 4), pad("fourth", 25));
  EXPECT_EQ(label(r, 1), pad("first", 25));  // skipped records still give their labels
  EXPECT_EQ(head(r.x, 2), (std::vector<float>{3, 4}));
}

TEST(Datt, EarlyEndOfFileNamesTheDatumAndLeavesZeros) {
  struct Case {
    const char* name;
    const char* fmt;
    char mode;
    int M, is, ie;
    std::string records;
    int i;                 // datum named by the message
    std::vector<float> x;  // columns 1..n
  };
  const Case cases[] = {
      {"plain, ends before IE", "(f8.3)", 'a', 1, 1, 5, "   1.0\n   2.0\n   3.0\n   4.0\n", 5,
       {1, 2, 3, 4, 0}},
      {"plain, IS > 1", "(f8.3)", 'a', 1, 2, 6, "   1.0\n   2.0\n   3.0\n", 4, {2, 3, 0, 0, 0}},
      {"plain, inside the skip", "(f8.3)", 'a', 1, 6, 7, "   1.0\n   2.0\n   3.0\n", 4, {0, 0}},
      {"plain, in the middle of a datum", "(2f10.3)", 'a', 4, 1, 2,
       "       1.0       2.0\n       3.0       4.0\n       5.0       6.0\n", 2,
       {1, 2, 3, 4, 5, 6, 0, 0}},
      {"label, ends before IE", "(f8.3,a)", 'm', 1, 1, 3, "     1.0a\n     2.0b\n", 3, {1, 2, 0}},
      {"label, inside the skip", "(f8.3,a)", 'm', 1, 4, 5, "     1.0a\n     2.0b\n", 3, {0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = run(c.fmt, c.mode, c.M, c.is, c.ie, c.records);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(lines(r.report),
              (std::vector<std::string>{" **** eof in read from data file ", list_int("i = ", c.i)}));
    EXPECT_EQ(head(r.x, c.x.size()), c.x);
  }
}

TEST(Datt, ConversionErrorStopsWithTheFormat) {
  struct Case {
    const char* name;
    const char* fmt;
    char mode;
    int M, is, ie;
    std::string records;
  };
  const Case cases[] = {
      {"plain, in the sample", "(f10.3)", 'a', 1, 1, 3, "       1.0\n      2.x0\n       3.0\n"},
      {"plain, in the skipped data", "(f10.3)", 'a', 1, 3, 3, "       1.0\n      2.x0\n       3.0\n"},
      {"label mode", "(f10.3,1x,a25)", 'm', 1, 1, 2, "       1.0 a\n       abc b\n"},
      {"unusable format", "(f10.3,%)", 'a', 1, 1, 1, "       1.0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = run(c.fmt, c.mode, c.M, c.is, c.ie, c.records);
    EXPECT_TRUE(r.stopped);
    const std::vector<std::string> got = lines(r.report);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].substr(0, 31), " ** Error in read of data file ");
    EXPECT_EQ(got[0].size(), 31u + 1u + 11u);
    EXPECT_EQ(got[1], " Check format" + pad(c.fmt, 50));
  }
}

}  // namespace
}  // namespace tramel::data
