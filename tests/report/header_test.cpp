// The run header's quirks and the closing lines.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "report/report.hpp"

namespace tramel::report {
namespace {

// A time-mode run of 3650 data from datum 2: ten frames of 365, bins 1 to 182.
control::RunPlan time_plan() {
  control::RunPlan plan;
  plan.run = 1;
  plan.series_count = 1;
  plan.analysis.frames_ahead = 4;
  plan.analysis.lags = 3;
  plan.analysis.unit_text = "hours12345";
  plan.analysis.unit_mode = control::UnitMode::Time;
  plan.bandwidth = 365.0f;
  plan.first_datum = 2;
  plan.last_datum = 3651;
  plan.spacing = control::SampleSpacing::interval(1.0f);
  plan.sample_size = 3650;
  plan.frame_length = 365;
  plan.frames = 10;
  plan.first_bin = 1;
  plan.last_bin = 182;
  return plan;
}

TEST(RunHeader, TimeModeShowsSevenCharactersOfTheUnit) {
  Sink report;
  write_run_header(report, time_plan());
  EXPECT_EQ(report.text(),
            "\n  First datum used        2  Last datum used    3651  Sample size =     3650\n" +
                std::string(60, '=') + "\n" +
                " Sampling interval =  1.00000     hours12\n\n"
                " Resolution Bandwidth =  365.0     hours12  No. Frames      10 . "
                "Frame Length    365\n\n"
                " Passband (   365.00       2.01 ) hours12\n"
                "\n       No. of frequencies in band    182\n\n"
                "       No. of frames forecasted =   4  VAR Lags =  3\n\n");
}

// 12.5 values tapered at each end round up to 13. (The other taper lines are in the
// reference cases.)
TEST(RunHeader, TaperCountRoundsHalfUp) {
  control::RunPlan plan = time_plan();
  plan.taper_percent = 25.0f;
  plan.frame_length = 100;
  plan.frames = 36;
  Sink report;
  write_run_header(report, plan);
  EXPECT_TRUE(report.text().ends_with(
      "VAR Lags =  3\n\n % taper = 25.00    No. tapered at each end =    13\n\n"))
      << report.text();
}

TEST(ClosingLines, ElapsedTimeInMinutesAndHours) {
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
    SCOPED_TRACE(c.offset);
    Sink report;
    Sink console;
    const float elapsed = write_closing_lines(report, console, processor_seconds() - c.offset);
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
    EXPECT_EQ(console.text(), c.console);
  }
}

TEST(ClosingLines, SecondsHaveTwoBlanksInTheReportAndOneOnTheConsole) {
  Sink report;
  Sink console;
  write_closing_lines(report, console, processor_seconds());
  EXPECT_TRUE(std::regex_search(report.text(),
                                std::regex(" Elapsed time = +[0-9]+\\.[0-9]{2}  secs\n$")))
      << report.text();
  EXPECT_TRUE(std::regex_match(console.text(),
                               std::regex(" Elapsed time = +[0-9]+\\.[0-9]{2} secs\n")))
      << console.text();
}

}  // namespace
}  // namespace tramel::report
