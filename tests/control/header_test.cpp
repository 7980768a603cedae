// The run header's quirks and the closing lines.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "control/control.hpp"

namespace tramel::control {
namespace {

const std::string kRule = std::string(60, '=') + "\n";

TEST(Wrh, TimeModeShowsSevenCharactersOfTheUnit) {
  textio::Sink report;
  wrh("hours12345", 1.0f, 3650, 365, 0.0f, 3, 4, 1, 182, 0, report);
  EXPECT_EQ(report.text(), kRule +
                               " Sampling interval =  1.00000     hours12\n\n"
                               " Resolution Bandwidth =  365.0     hours12  No. Frames      10 . "
                               "Frame Length    365\n\n"
                               " Passband (   365.00       2.01 ) hours12\n"
                               "\n       No. of frequencies in band    182\n\n"
                               "       No. of frames forecasted =   4  VAR Lags =  3\n\n");
}

// 12.5 values tapered at each end round up to 13. (The other taper lines are in the
// reference cases.)
TEST(Wrh, TaperCountRoundsHalfUp) {
  textio::Sink report;
  wrh("days      ", 1.0f, 1000, 100, 25.0f, 1, 1, 1, 4, 0, report);
  EXPECT_TRUE(report.text().ends_with(
      "VAR Lags =  1\n\n % taper = 25.00    No. tapered at each end =    13\n\n"))
      << report.text();
}

TEST(RoundWhole, HalvesAwayFromZeroAndOutOfRange) {
  EXPECT_EQ(round_whole(2.5), 3);
  EXPECT_EQ(round_whole(-2.5), -3);
  EXPECT_EQ(round_whole(1.4999), 1);
  EXPECT_EQ(round_whole(0.49999999999), 1);  // rounded to single precision first: 0.5
  EXPECT_EQ(round_whole(2147483520.0), 2147483520);
  EXPECT_EQ(round_whole(2147483648.0), INT32_MIN);
  EXPECT_EQ(round_whole(-2147483648.0), INT32_MIN);
  EXPECT_EQ(round_whole(1e300), INT32_MIN);
  EXPECT_EQ(round_whole(std::numeric_limits<double>::quiet_NaN()), INT32_MIN);
  EXPECT_EQ(round_whole(-std::numeric_limits<double>::infinity()), INT32_MIN);
}

TEST(Head, ClosingLines) {
  struct Case {
    float offset;  // start time relative to now
    std::string report_tail;
    std::string console;
  };
  const Case cases[] = {
      {120.0f, " Elapsed time =      2.00 minutes\n", "\n Elapsed time =      2.00 minutes\n"},
      {7200.0f, " Elapsed time =      2.00 hours\n", "\n Elapsed time =      2.00 hours\n"},
      // A start time later than now: one day is added.
      {-1.5f, " Elapsed time =     24.00 hours\n", "\n Elapsed time =     24.00 hours\n"},
  };
  for (const Case& c : cases) {
    textio::Sink report;
    textio::Sink out;
    const float elapsed = head(10, 14, 2002, cpu_seconds() - c.offset, report, out);
    EXPECT_GE(elapsed, c.offset < 0 ? 86398.0f : c.offset);
    const std::regex shape(
        " Version 10-14-2002\n"
        " Date & Time (Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-3][0-9] "
        "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}\n");
    const std::string& t = report.text();
    const std::size_t cut = t.find(" Elapsed");
    EXPECT_TRUE(std::regex_match(t.substr(0, cut), shape)) << t;
    EXPECT_EQ(t.substr(cut), c.report_tail);
    EXPECT_EQ(out.text(), c.console);
  }
}

TEST(Head, SecondsFormHasTwoBlanksInTheReportAndOneOnTheConsole) {
  textio::Sink report;
  textio::Sink out;
  head(10, 14, 2002, cpu_seconds(), report, out);
  EXPECT_TRUE(std::regex_search(report.text(), std::regex(" Elapsed time = +[0-9]+\\.[0-9]{2}  secs\n$")))
      << report.text();
  EXPECT_TRUE(std::regex_match(out.text(), std::regex(" Elapsed time = +[0-9]+\\.[0-9]{2} secs\n")))
      << out.text();
}

}  // namespace
}  // namespace tramel::control
