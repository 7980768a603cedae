// The data file's head and the sample a run reads from it.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "data/data.hpp"

namespace tramel::data {
namespace {

using diagnostics::Destination;
using Values = std::vector<float>;

std::string pad(std::string s, std::size_t width = 50) {
  s.resize(width, ' ');
  return s;
}

// What a step said, its stop last, one text after the other; everything must go to `to`.
template <class T>
std::string texts(const diagnostics::Outcome<T>& outcome, Destination to) {
  std::string all;
  for (const diagnostics::Note& note : outcome.notes) {
    const auto* m = std::get_if<diagnostics::Message>(&note);
    EXPECT_NE(m, nullptr);
    if (m == nullptr) continue;
    EXPECT_EQ(m->destination, to) << m->text;
    all += m->text;
  }
  if (outcome.stop) {
    EXPECT_EQ(outcome.stop->message.destination, to) << outcome.stop->message.text;
    all += outcome.stop->message.text;
  }
  return all;
}

// ---- The head -------------------------------------------------------------------------------

TEST(ReadHead, EachProblemOfTheFirstTwoLinesHasItsMessage) {
  const std::string unreadable =
      " Cannot read the number of data and the sampling rate on line 2 of the data file\n";
  const std::string bad_format = " Format on second line of data file is incorrect\n";
  const std::string long_format = "(f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3)";
  std::string col80 = "600 1.0";
  col80.resize(74, ' ');
  col80 += "(f8.3)";
  const struct {
    const char* name;
    std::string file;
    bool titled;  // line 1 read
    std::int32_t count;
    float rate;
    std::string format;  // empty: the head is refused with `message`
    RecordLayout layout;
    std::string message;
  } cases[] = {
      {"count, rate and format", "Test data\n600 2.5 (f8.3)\n   1.000\n", true, 600, 2.5f,
       "(f8.3)", RecordLayout::Plain, ""},
      {"separated by commas", "Test data\n600, 1.0, (f8.3) \n", true, 600, 1.0f, "(f8.3)",
       RecordLayout::Plain, ""},
      {"format up to the third `)`, a label after it", "T\n600 1.0 (2(f8.3,1x),f8.3) a) x\n",
       true, 600, 1.0f, "(2(f8.3,1x),f8.3) a)", RecordLayout::Labelled, ""},
      {"a fourth `)` is left out", "T\n600 1.0 (((f8.3)))) x\n", true, 600, 1.0f, "(((f8.3)))",
       RecordLayout::Plain, ""},
      {"format keeps 50 characters", "T\n600 1.0 " + long_format + " \n", true, 600, 1.0f,
       long_format.substr(0, 50), RecordLayout::Plain, ""},
      {"lower-case a: labelled", "T\n600 1.0 (f8.3,a25) \n", true, 600, 1.0f, "(f8.3,a25)",
       RecordLayout::Labelled, ""},
      {"upper-case A: plain", "T\n600 1.0 (f8.3,A25) \n", true, 600, 1.0f, "(f8.3,A25)",
       RecordLayout::Plain, ""},
      {"an `a` after the format does not count", "T\n600 1.0 (f8.3) data\n", true, 600, 1.0f,
       "(f8.3)", RecordLayout::Plain, ""},
      {"empty file", "", false, 0, 0.0f, "", RecordLayout::Plain, unreadable},
      {"no line 2", "Test data\n", true, 0, 0.0f, "", RecordLayout::Plain, unreadable},
      {"count alone: the rate is not taken from line 3", "T\n600\n1.0 (f8.3)\n", true, 0, 0.0f,
       "", RecordLayout::Plain, unreadable},
      {"count not a number", "T\nsix 1.0 (f8.3)\n", true, 0, 0.0f, "", RecordLayout::Plain,
       unreadable},
      {"rate zero", "T\n600 0.0 (f8.3)\n", true, 0, 0.0f, "", RecordLayout::Plain,
       " Sampling rate/interval    0.00000000     is not positive\n"},
      {"rate negative", "T\n600 -2.0 (f8.3)\n", true, 0, 0.0f, "", RecordLayout::Plain,
       " Sampling rate/interval   -2.00000000     is not positive\n"},
      {"rate not a number", "T\n600 NaN (f8.3)\n", true, 0, 0.0f, "", RecordLayout::Plain,
       " Sampling rate/interval               NaN is not positive\n"},
      {"rate infinite", "T\n600 Inf (f8.3)\n", true, 0, 0.0f, "", RecordLayout::Plain,
       " Sampling rate/interval          Infinity is not positive\n"},
      {"no `(`", "T\n600 1.0 f8.3\n", true, 0, 0.0f, "", RecordLayout::Plain, bad_format},
      {"no closing parenthesis", "T\n600 1.0 (f8.3\n", true, 0, 0.0f, "", RecordLayout::Plain,
       bad_format},
      {"format ends in column 80", "T\n" + col80 + "\n", true, 0, 0.0f, "", RecordLayout::Plain,
       bad_format},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordFile file("test.dat");
    file.open_text(c.file);
    const HeadOutcome head = file.read_head();
    EXPECT_EQ(head.title.has_value(), c.titled);
    if (c.titled && head.title) {
      EXPECT_EQ(*head.title, pad(c.file.substr(0, c.file.find('\n')), 80));
    }
    EXPECT_EQ(texts(head.head, Destination::Stderr), c.message);
    ASSERT_EQ(head.head.failed(), c.format.empty());
    if (c.format.empty()) continue;
    EXPECT_EQ(head.head.value->count, c.count);
    EXPECT_EQ(head.head.value->rate, c.rate);
    EXPECT_EQ(head.head.value->format_text, pad(c.format));
    EXPECT_EQ(head.head.value->layout, c.layout);
  }
}

// ---- The sample -----------------------------------------------------------------------------

// Reads data first..last of `series` series from the records after a head with format `fmt`.
diagnostics::Outcome<Sample> sample_of(const char* fmt, RecordLayout layout, int series, int first,
                                       int last, const std::string& records) {
  RecordFile file("test.dat");
  file.open_text("title\n9 1.0 " + std::string(fmt) + " \n" + records);
  EXPECT_EQ(file.read_head().head.value->layout, layout);  // the reader rewinds first
  return file.read_sample(SampleRequest{first, last, series}, ReadWork{});
}

std::string end_of_file_lines(int datum) {
  char i[16];
  std::snprintf(i, sizeof i, "%11d", datum);
  return " **** eof in read from data file \n i =  " + std::string(i) + "\n";
}

TEST(ReadSample, ReadsTheSampleAndNamesAnEarlyEnd) {
  constexpr RecordLayout kPlain = RecordLayout::Plain;
  constexpr RecordLayout kLabelled = RecordLayout::Labelled;
  struct Case {
    const char* name;
    const char* fmt;
    RecordLayout layout;
    int series, first, last;
    std::string records;
    std::vector<float> values;
    std::optional<EarlyEnd> early_end;
  };
  const std::string five = "       1.0\n       2.0\n       3.0\n       4.0\n       5.0\n";
  const std::string pairs = "       1.0       2.0\n       3.0       4.0\n       5.0       6.0\n";
  const Case cases[] = {
      {"plain, lines past the last datum unread", "(f10.3)", kPlain, 1, 1, 3, five, {1, 2, 3}, {}},
      {"plain, implied decimals", "(2f5.2)", kPlain, 2, 2, 3, "\n  125-4550\n   25  1.5\n",
       {1.25f, -45.5f, 0.25f, 1.5f}, {}},
      {"two records per datum", "(2f10.3)", kPlain, 4, 2, 2, pairs + pairs, {5, 6, 1, 2}, {}},
      {"short records give zeros", "(3f10.3)", kPlain, 3, 1, 2, "       1.0\n\n",
       {1, 0, 0, 0, 0, 0}, {}},
      {"plain, ends in the skip", "(f10.3)", kPlain, 1, 7, 8, five, {0, 0}, EarlyEnd{6, 2}},
      {"plain, ends inside a datum", "(2f10.3)", kPlain, 4, 1, 2, pairs,
       {1, 2, 3, 4, 5, 6, 0, 0}, EarlyEnd{2, 2}},
      {"label, ends before the last datum", "(f10.3,a)", kLabelled, 1, 4, 6, five, {4, 5, 0},
       EarlyEnd{6, 1}},
      {"label, ends in the skip", "(f10.3,a)", kLabelled, 1, 7, 7, five, {0}, EarlyEnd{6, 1}},
      {"label, ends inside a datum", "(f10.3,/,f10.3,a)", kLabelled, 2, 1, 3, five,
       {1, 2, 3, 4, 5, 0}, EarlyEnd{3, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const diagnostics::Outcome<Sample> r =
        sample_of(c.fmt, c.layout, c.series, c.first, c.last, c.records);
    EXPECT_EQ(texts(r, Destination::Report),
              c.early_end ? end_of_file_lines(static_cast<int>(c.early_end->datum)) : "");
    ASSERT_FALSE(r.failed());
    EXPECT_EQ(r.value->series_count, c.series);
    EXPECT_EQ(r.value->size, c.last - c.first + 1);
    EXPECT_EQ(Values(r.value->values.begin(), r.value->values.end()), c.values);
    ASSERT_EQ(r.value->early_end.has_value(), c.early_end.has_value());
    if (c.early_end) {
      EXPECT_EQ(r.value->early_end->datum, c.early_end->datum);
      EXPECT_EQ(r.value->early_end->zero_values, c.early_end->zero_values);
    }
  }
}

// The values hold all series of a datum together; series(j) takes one series out.
TEST(ReadSample, SeriesOfTheSample) {
  const diagnostics::Outcome<Sample> r =
      sample_of("(3f5.1)", RecordLayout::Plain, 3, 1, 2, "  1.0  2.0  3.0\n  4.0  5.0  6.0\n");
  ASSERT_FALSE(r.failed());
  EXPECT_EQ(Values(r.value->values.begin(), r.value->values.end()), (Values{1, 2, 3, 4, 5, 6}));
  const std::pmr::vector<float> first = r.value->series(0), last = r.value->series(2);
  EXPECT_EQ(Values(first.begin(), first.end()), (Values{1, 4}));
  EXPECT_EQ(Values(last.begin(), last.end()), (Values{3, 6}));
}

TEST(ReadSample, LabelsAreKeptByDatumNumber) {
  const diagnostics::Outcome<Sample> r =
      sample_of("(f10.3,1x,a25)", RecordLayout::Labelled, 1, 2, 3,
                "       1.0 first\n       2.0 second\n"
                "       3.0 a label longer than 25 columns\n");
  ASSERT_FALSE(r.failed());
  const std::string labels(r.value->labels.begin(), r.value->labels.end());
  EXPECT_EQ(labels, pad("first", 25) + pad("second", 25) + "a label longer than 25 co");
  EXPECT_EQ(Values(r.value->values.begin(), r.value->values.end()), (Values{2, 3}));
}

// A conversion error in a datum that is skipped or followed by a label fails the reading too.
TEST(ReadSample, ConversionErrorFailsWithTheFormat) {
  const std::string bad = "       1.0\n      2.x0\n       3.0\n";
  const struct {
    const char* fmt;
    RecordLayout layout;
    int first, last;
  } cases[] = {{"(f10.3)", RecordLayout::Plain, 3, 3}, {"(f10.3,a)", RecordLayout::Labelled, 1, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fmt);
    const diagnostics::Outcome<Sample> r = sample_of(c.fmt, c.layout, 1, c.first, c.last, bad);
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(texts(r, Destination::Report),
              " ** Error in read of data file         5010\n Check format" + pad(c.fmt) + "\n");
  }
}

}  // namespace
}  // namespace tramel::data
