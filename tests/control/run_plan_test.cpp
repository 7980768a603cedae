// The plan of a run: the rounding behind the frame length and the pass band, the frame and
// band geometry in each unit mode, and every check that stops a run with its report lines.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "control/control.hpp"

namespace tramel::control {
namespace {

using textio::list_text;

TEST(RoundWhole, HalvesAwayFromZeroAndOutOfRange) {
  constexpr std::int32_t kOut = std::numeric_limits<std::int32_t>::min();
  const struct {
    double x;
    std::int32_t whole;
  } cases[] = {
      {2.5, 3},
      {-2.5, -3},
      {1.4999, 1},
      {0.49999999999, 1},  // rounded to single precision first: 0.5
      {2147483520.0, 2147483520},
      {2147483648.0, kOut},
      {-2147483648.0, kOut},
      {1e300, kOut},
      {std::numeric_limits<double>::quiet_NaN(), kOut},
      {-std::numeric_limits<double>::infinity(), kOut},
  };
  for (const auto& c : cases) EXPECT_EQ(round_whole(c.x), c.whole) << c.x;
}

constexpr auto kKhz = UnitMode::Kilohertz;
constexpr auto kHz = UnitMode::Hertz;
constexpr auto kTime = UnitMode::Time;

// The unit text of each mode, 10 characters as the global block gives it.
std::string unit_text(UnitMode mode) {
  switch (mode) {
    case UnitMode::Kilohertz:
      return "Freq+K    ";
    case UnitMode::Hertz:
      return "freq+h    ";
    case UnitMode::Time:
      break;
  }
  return "days      ";
}

// A run block of the given parameter lines, each with its comment marker, ended by `#`.
std::string block(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text.append(line).append(" * comment\n");
  return text + "######## end of run block\n";
}

// The run's inputs: the unit mode, the data file's rate (or interval) and number of data,
// and the control-file text that holds the run blocks.
struct RunInput {
  UnitMode mode;
  float rate;
  std::int32_t count;
  std::string blocks;
};

// Plans `runs` runs, one block after the other, with one set of readers; the last one's
// outcome.
Outcome<RunPlan> plan(const RunInput& r, int runs = 1) {
  ControlFile control;
  control.open_text(r.blocks);
  KeywordReader reader;
  FileSettings files;
  files.series_count = 1;
  AnalysisSettings analysis;
  analysis.unit_mode = r.mode;
  analysis.unit_text = unit_text(r.mode);
  Outcome<RunPlan> outcome;
  for (int run = 1; run <= runs; ++run)
    outcome = plan_run(control, run, files, analysis, DataExtent{r.count, r.rate}, reader);
  return outcome;
}

// The lines the outcome has for the report, in order, the failed check's last.
std::string report(const Outcome<RunPlan>& outcome) {
  std::string text;
  for (const diagnostics::Note& note : outcome.notes)
    if (const auto* m = std::get_if<diagnostics::Message>(&note);
        m != nullptr && m->destination == diagnostics::Destination::Report)
      text += m->text;
  if (outcome.stop && outcome.stop->message.destination == diagnostics::Destination::Report)
    text += outcome.stop->message.text;
  return text;
}

// GCC 12 takes the clean-up paths of these tables of strings for reads of uninitialised
// strings (a false -Wmaybe-uninitialized); the tables are sound.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The frame geometry and the pass band in every unit mode, with the rounding of the frame
// length and the bins (to single precision, then halves away from zero), the clamps of the
// band to 1..lb/2, and a Data end of 0 standing for the last datum.
struct Geometry {
  const char* name;
  RunInput run;
  float rate;  // the run's rate: Hz mode goes on in kHz
  std::int32_t frame_length, frames, first_bin, last_bin, first_datum, last_datum, sample_size;
};

TEST(PlanRun, FrameAndBandGeometry) {
  const std::vector<Geometry> cases = {
      {"kHz: lb = 1000 rate/bw, bins = edge/rate lb",
       {kKhz, 10.0f, 8000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 10.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       10.0f, 1000, 8, 50, 200, 1, 8000, 8000},
      {"kHz: upper edge 0 reaches lb/2",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 0.0", "Resolution bandwidth = 100.0",
               "% taper = 0.0", "Data start = 1   Data end = 0"})},
       10.0f, 100, 10, 5, 50, 1, 1000, 1000},
      {"Hz: lb = rate/bw, the rate and edges go on in kHz, exactly 7 frames",
       {kHz, 1000.0f, 3000,
        block({"Lower freq = 10.0   Upper freq = 100.0", "Resolution bandwidth = 2.5",
               "% taper = 25.0", "Data start = 1   Data end = 0"})},
       1.0f, 400, 7, 4, 40, 1, 3000, 3000},
      {"time: lb = period/interval, periods 0 give bins 1..lb/2",
       {kTime, 1.0f, 2555,
        block({"Longest period = 0.0   Shortest period = 0.0", "Resolution bandwidth = 365.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       1.0f, 365, 7, 1, 182, 1, 2555, 2555},
      {"time: bins from the reciprocal periods",
       {kTime, 1.0f, 500,
        block({"Longest period = 21.3   Shortest period = 4.0", "Resolution bandwidth = 64.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       1.0f, 64, 7, 3, 16, 1, 500, 500},
      {"time: lb 10.5 rounds up to 11, exactly 5 passes the frame check",
       {kTime, 2.0f, 77,
        block({"Longest period = 0.0   Shortest period = 0.0", "Resolution bandwidth = 21.0",
               "% taper = 10.0", "Data start = 1   Data end = 77"})},
       2.0f, 11, 7, 1, 5, 1, 77, 77},
      {"time: a frame length of exactly 5",
       {kTime, 1.0f, 40,
        block({"Longest period = 0.0   Shortest period = 0.0", "Resolution bandwidth = 5.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       1.0f, 5, 8, 1, 2, 1, 40, 40},
      {"first bin: 1.49999997 is 1.5 in single precision and rounds to 2",
       {kKhz, 1.0f, 1000,
        block({"Lower freq = 0.015   Upper freq = 0.3", "Resolution bandwidth = 10.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       1.0f, 100, 10, 2, 30, 1, 1000, 1000},
      {"first bin: 0.4 rounds to 0 and becomes 1",
       {kKhz, 1.0f, 1000,
        block({"Lower freq = 0.004   Upper freq = 0.3", "Resolution bandwidth = 10.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       1.0f, 100, 10, 1, 30, 1, 1000, 1000},
      {"last bin: 100.5 rounds to 101",
       {kKhz, 1.0f, 2100,
        block({"Lower freq = 0.1   Upper freq = 0.335", "Resolution bandwidth = 3.333333",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       1.0f, 300, 7, 30, 101, 1, 2100, 2100},
      {"last bin: 50.5 rounds to 51, above lb/2 = 50 it becomes 50",
       {kKhz, 10.0f, 707,
        block({"Lower freq = 1.0   Upper freq = 5.0", "Resolution bandwidth = 99.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       10.0f, 101, 7, 10, 50, 1, 707, 707},
      {"a sample from datum 11 to the end; the data after the last frame are left",
       {kKhz, 10.0f, 1009,
        block({"Lower freq = 0.5   Upper freq = 0.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data start = 11   Data end = 0"})},
       10.0f, 100, 9, 5, 50, 11, 1009, 999},
      {"an explicit Data end, lower than N",
       {kKhz, 10.0f, 5000,
        block({"Lower freq = 0.5   Upper freq = 0.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data start = 101   Data end = 900"})},
       10.0f, 100, 8, 5, 50, 101, 900, 800},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome<RunPlan> outcome = plan(c.run);
    ASSERT_FALSE(outcome.failed()) << report(outcome);
    EXPECT_EQ(report(outcome), "");
    const RunPlan& p = *outcome.value;
    EXPECT_EQ(p.run, 1);
    EXPECT_EQ(p.spacing.value(), c.rate);
    EXPECT_EQ(p.spacing.is_interval(), c.run.mode == UnitMode::Time);
    EXPECT_EQ(p.frame_length, c.frame_length);
    EXPECT_EQ(p.frames, c.frames);
    EXPECT_EQ(p.first_bin, c.first_bin);
    EXPECT_EQ(p.last_bin, c.last_bin);
    EXPECT_EQ(p.bin_count(), c.last_bin - c.first_bin + 1);
    EXPECT_EQ(p.first_datum, c.first_datum);
    EXPECT_EQ(p.last_datum, c.last_datum);
    EXPECT_EQ(p.sample_size, c.sample_size);
  }
}

// The taper and the bandwidth as the block writes them; "Resolution Bandwidth" with a
// capital B is read as well.
TEST(PlanRun, SettingsOfTheBlock) {
  const Outcome<RunPlan> outcome =
      plan({kKhz, 10.0f, 1000,
            block({"Lower freq = 0.5   Upper freq = 0.0", "Resolution Bandwidth = 100.0",
                   "% taper = 12.5", "Data start = 1   Data end = 0"})});
  ASSERT_FALSE(outcome.failed()) << report(outcome);
  EXPECT_EQ(outcome.value->bandwidth, 100.0f);
  EXPECT_EQ(outcome.value->taper_percent, 12.5f);
  EXPECT_EQ(outcome.value->frame_length, 100);
}

// Hz mode converts the run's own copy of the rate: the next run starts again from the data
// file's rate in Hz.
TEST(PlanRun, EveryRunStartsFromTheDataFilesRate) {
  const std::string one = block({"Lower freq = 10.0   Upper freq = 100.0",
                                 "Resolution bandwidth = 2.5", "% taper = 10.0",
                                 "Data start = 1   Data end = 0"});
  for (const int runs : {1, 2}) {
    SCOPED_TRACE(runs);
    const Outcome<RunPlan> outcome = plan({kHz, 1000.0f, 3000, one + one}, runs);
    ASSERT_FALSE(outcome.failed()) << report(outcome);
    EXPECT_EQ(outcome.value->run, runs);
    EXPECT_EQ(outcome.value->spacing.rate_khz(), 1.0f);
    EXPECT_EQ(outcome.value->frame_length, 400);
    EXPECT_EQ(outcome.value->first_bin, 4);
    EXPECT_EQ(outcome.value->last_bin, 40);
  }
}

// Every check that stops a run, with the lines it writes to the report; where two checks
// fail, the earlier one speaks.
struct Failure {
  const char* name;
  RunInput run;
  std::string report;
};

TEST(PlanRun, FailedChecksAndTheirReportLines) {
  const std::string kStartItem = "start               ";
  const std::string kEndItem = "end                 ";
  const std::string no_marker = "Lower freq = 0.5   Upper freq = 0.0 with no marker";
  const std::vector<Failure> cases = {
      {"a line without a comment marker",
       {kKhz, 10.0f, 1000, no_marker + "\n#\n"},
       list_text("Place comment marker * after parameters on ostrel.cnl") +
           (no_marker + std::string(70 - no_marker.size(), ' ')) + "\n"},
      {"the control file ends inside the block",
       {kKhz, 10.0f, 1000, "Lower freq = 0.5 *\n"},
       list_text("Control file ended inside the block of run ", std::int32_t{1})},
      {"time mode without a longest period",
       {kTime, 1.0f, 1000,
        block({"Shortest period = 4.0", "Resolution bandwidth = 64.0", "% taper = 10.0",
               "Data start = 1   Data end = 0"})},
       "\n Type longest period rather than lower freq in  setting the band in pelorn.cnl\n"},
      {"time mode without a shortest period",
       {kTime, 1.0f, 1000,
        block({"Longest period = 21.3", "Resolution bandwidth = 64.0", "% taper = 10.0",
               "Data start = 1   Data end = 0"})},
       "\n Type shortest period rather than upper freq in setting the band in pelorn.cnl\n"},
      {"a bandwidth without a decimal point",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "% taper = 10.0",
               "Resolution bandwidth = 2", "Data start = 1   Data end = 0"})},
       list_text("Place a period in the resolution bandwidth value") +
           list_text("= 2 Data st")},
      {"a bandwidth of 0",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 2.0   Upper freq = 0.5", "Resolution bandwidth = 0.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Resolution bandwidth < 0")},
      {"a negative bandwidth",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = -10.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Resolution bandwidth < 0")},
      {"kHz: lower edge above the upper one",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 2.0   Upper freq = 0.5", "Resolution bandwidth = 100.0",
               "% taper = 30.0", "Data start = 1   Data end = 0"})},
       list_text("Upper bw on line 8 of CNL ", 0.5f, " < lower bw ", 2.0f) +
           list_text("Check to see the (fl,fu) units are kHz")},
      {"Hz: lower edge above the upper one",
       {kHz, 1000.0f, 3000,
        block({"Lower freq = 20.0   Upper freq = 10.0", "Resolution bandwidth = 2.5",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Upper bw on line 8 of CNL ", 10.0f, " < lower bw ", 20.0f) +
           list_text("Check to see the (fl,fu) units are Hz")},
      {"time: longest period below the shortest, the reciprocals printed",
       {kTime, 1.0f, 1000,
        block({"Longest period = 4.0   Shortest period = 20.0", "Resolution bandwidth = 64.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Upper bw on line 8 of CNL ", 0.05f, " < lower bw ", 0.25f) +
           list_text("Check to see the (fl,fu) units are days      ")},
      {"a taper above 25 %",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 100.0",
               "% taper = 25.01", "Data start = 0   Data end = 0"})},
       list_text("Taper % not in range (0,25) ", 25.01f, " run - ", std::int32_t{1})},
      {"a negative taper",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 100.0",
               "% taper = -1.0", "Data start = 1   Data end = 0"})},
       list_text("Taper % not in range (0,25) ", -1.0f, " run - ", std::int32_t{1})},
      {"no Data start",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data end = 0"})},
       list_text("Error ", std::int32_t{1}, " in read of start datum", kStartItem)},
      {"a Data start with three blanks after its =",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data start =   1   Data end = 0"})},
       list_text("Error ", std::int32_t{3}, " in read of start datum", kStartItem)},
      {"a Data start of eight digits: the reader's line, then error 4",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data start = 12345678   Data end = 0"})},
       list_text("The number ", "12345678   Data end = 0 ", " > 999999") +
           list_text("Error ", std::int32_t{4}, " in read of start datum", kStartItem)},
      {"no Data end",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data start = 1"})},
       list_text("Error ", std::int32_t{1}, " in read of end datum", kEndItem)},
      {"a first datum of 0",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data start = 0   Data end = 0"})},
       list_text("IS in pelorn.cnl is < 1 ", std::int32_t{0}, " run ", std::int32_t{1})},
      {"a last datum before the first",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data start = 10   Data end = 5"})},
       list_text("IE < IS in pelorn.cnl ", std::int32_t{10}, std::int32_t{5}, "run ",
                 std::int32_t{1})},
      {"a last datum beyond the data, before the frame-length check",
       {kKhz, 10.0f, 1000,
        block({"Lower freq = 0.5   Upper freq = 2.0", "Resolution bandwidth = 5000.0",
               "% taper = 10.0", "Data start = 1   Data end = 1001"})},
       list_text("IE ", std::int32_t{1001}, " > N in data file", std::int32_t{1000})},
      {"kHz: a frame length of 4",
       {kKhz, 1.0f, 1000,
        block({"Lower freq = 0.0   Upper freq = 0.0", "Resolution bandwidth = 250.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Frame length = ", std::int32_t{4}, " < 5 - run ", std::int32_t{1}) +
           list_text("Decrease resolution bandwidth = ", 250.0f, " n = ", std::int32_t{1000})},
      {"time: a negative interval rounds -10.5 to -11",
       {kTime, -2.0f, 500,
        block({"Longest period = 0.0   Shortest period = 0.0", "Resolution bandwidth = 21.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Frame length = ", std::int32_t{-11}, " < 5 - run ", std::int32_t{1}) +
           list_text("Increase resolution period = ", 21.0f, " n = ", std::int32_t{500})},
      {"six frames",
       {kKhz, 10.0f, 699,
        block({"Lower freq = 0.5   Upper freq = 0.0", "Resolution bandwidth = 100.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("No. frames ", std::int32_t{6}, " < ", std::int32_t{7}, " lb ",
                 std::int32_t{100}) +
           list_text("run ", std::int32_t{1})},
      {"kHz: an upper edge above half the rate",
       {kKhz, 1.0f, 1000,
        block({"Lower freq = 0.1   Upper freq = 0.6", "Resolution bandwidth = 10.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Normalized upper bw = ", 0.6f, " > 0.5") +
           list_text("Check to see if the (fl,fu) units are kHz") +
           list_text(" Sampling unit ", "Freq+K    ", " Sampling rate/interval ", 1.0f) +
           list_text("iunit = ", std::int32_t{1})},
      {"Hz: an upper edge above half the rate, the rate printed in kHz",
       {kHz, 1000.0f, 3000,
        block({"Lower freq = 10.0   Upper freq = 600.0", "Resolution bandwidth = 2.5",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Normalized upper bw = ", static_cast<float>((600.0f * 0.001f) / 1.0f),
                 " > 0.5") +
           list_text("Check to see if the (fl,fu) units are Hz") +
           list_text(" Sampling unit ", "freq+h    ", " Sampling rate/interval ", 1.0f) +
           list_text("iunit = ", std::int32_t{2})},
      {"time: a shortest period below two intervals",
       {kTime, 1.0f, 1000,
        block({"Longest period = 0.0   Shortest period = 1.0", "Resolution bandwidth = 64.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("Normalized upper bw = ", 1.0f, " > 0.5") +
           list_text("Check to see if the (fl,fu) units are days      ") +
           list_text(" Sampling unit ", "days      ", " Sampling rate/interval ", 1.0f) +
           list_text("iunit = ", std::int32_t{0})},
      {"a band of one bin: equal edges pass the order check, then stop here",
       {kKhz, 1.0f, 1000,
        block({"Lower freq = 0.1   Upper freq = 0.1", "Resolution bandwidth = 10.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("fu-fl ", 0.0f, " is too small") +
           list_text("Increase passband fu-fl in run ", std::int32_t{1})},
      {"a lower edge at the top bin, an upper edge of 0 counting as 0.5",
       {kKhz, 1.0f, 1000,
        block({"Lower freq = 0.499   Upper freq = 0.0", "Resolution bandwidth = 10.0",
               "% taper = 10.0", "Data start = 1   Data end = 0"})},
       list_text("fu-fl ", static_cast<float>(0.5 - static_cast<double>(0.499f)),
                 " is too small") +
           list_text("Increase passband fu-fl in run ", std::int32_t{1})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome<RunPlan> outcome = plan(c.run);
    EXPECT_TRUE(outcome.failed());
    EXPECT_EQ(report(outcome), c.report);
  }
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

}  // namespace
}  // namespace tramel::control
