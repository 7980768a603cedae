// The built program on small control and data files: every message of the driver and of the
// run settings with its stream and exit status, and the frame geometry of each unit mode.
// (Messages a reference case in tests/cases or the bad-input table already checks are not
// repeated here.)
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "run_program.hpp"
#include "tramel.hpp"

namespace tramel::testing {
namespace {

// A list-directed integer: 11 columns, after one blank when it follows a character item.
std::string i11(long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%11ld", v);
  return buf;
}
std::string n11(long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, " %11ld", v);
  return buf;
}

// A data file whose first record cannot be read: a run that passes every check stops in
// the data reader right after its header.
std::string data_file(const std::string& line2, const std::string& name = "Test data") {
  return name + "\n" + line2 + "\n   abc\n   1.000\n";
}
const std::string kData = data_file("600 1.0  (f8.3)");
const std::string kHead = kBanner + title_line("Test data");
const std::string kCnl = global_block() + run_block();
const std::string kStop = read_error(5010, "(f8.3)");

void make_directory(const TempFolder& f, const char* name) {
  std::filesystem::create_directory(f.path() / name);
}

TEST(Program, FilesThatCannotBeOpenedStopWithTheirErrorNumbers) {
  const Case cases[] = {
      {.name = "no control file",
       .cnl = "",
       .report = "<absent>",
       .out = " **** Error on opening control file 1 " + n11(2) + "\n",
       .setup = [](const TempFolder& f) { std::filesystem::remove(f.path() / "tramel.cnl"); }},
      {.name = "report is a directory",
       .cnl = kCnl,
       .report = "<absent>",
       .out = " **** Error on opening output file " + n11(21) + "\n",
       .setup = [](const TempFolder& f) { make_directory(f, "tramel.out"); }},
      {.name = "data file is a directory",
       .cnl = global_block({.name = "=dir.dat"}) + run_block(),
       .report = kBanner,
       .out = " **** Error on opening data file " + n11(21) + "\n",
       .setup = [](const TempFolder& f) { make_directory(f, "dir.dat"); }},
      {.name = "CSV data file is a directory",
       .cnl = global_block({.name = "=dir.csv"}) + run_block(),
       .report = kBanner,
       .out = " **** Error on opening data file " + n11(21) + "\n",
       .setup = [](const TempFolder& f) { make_directory(f, "dir.csv"); }},
      {.name = "data file is the forecast file: never emptied",
       .cnl = global_block({.name = "=err.forec"}) + run_block(),
       .report = kBanner + title_line("Forecast as data"),
       .out = " **** Error on opening forecast file " + n11(17) + "\n",
       .forecast = data_file("600 1.0 (f8.3)", "Forecast as data"),
       .setup = [](const TempFolder& f) {
         f.write("err.forec", data_file("600 1.0 (f8.3)", "Forecast as data"));
       }},
      {.name = "forecast file is a directory",
       .cnl = kCnl,
       .report = kHead,
       .out = " **** Error on opening forecast file " + n11(21) + "\n",
       .setup = [](const TempFolder& f) { make_directory(f, "err.forec"); }},
  };
  for (const Case& c : cases) check(c, kData);
}

TEST(Program, GlobalBlockStopsWithTheirStreams) {
  const Case cases[] = {
      {.name = "no data columns",
       .cnl = global_block({.columns = "0"}) + run_block(),
       .report = kBanner + " No. of data columns " + n11(0) + " < 1\n"},
      {.name = "name without extension",
       .cnl = global_block({.name = "=errdat"}) + run_block(),
       .report = kBanner + " Data file errdat" + std::string(74, ' ') + "  has no extension\n"},
      {.name = "name blank after `= `",
       .cnl = global_block({.name = "= err.dat"}) + run_block(),
       .report = kBanner + " Data file " + std::string(80, ' ') + "  has no extension\n"},
      {.name = "data file absent: the name to its dot and five more columns",
       .cnl = global_block({.name = "=obs.txt"}) + run_block(),
       .report = kBanner + " Input file obs.txt   does not exist as named\n"},
      {.name = "data file absent, cut name",
       .cnl = global_block({.name = "=a.b.forecasting"}) + run_block(),
       .report = kBanner + " Input file a.b.for does not exist as named\n"},
      {.name = "threshold negative",
       .cnl = global_block({.prob = "-0.5"}) + run_block(),
       .report = kHead,
       .err = " Coherence threshold  -0.500000000     is out in unit interval\n"},
      {.name = "frames ahead 11",
       .cnl = global_block({.frames = "11"}) + run_block(),
       .report = kHead,
       .err = " No. of frames ahead for forecasting " + n11(11) + " is out of bounds\n"},
      {.name = "no lags",
       .cnl = global_block({.lags = "0"}) + run_block(),
       .report = kHead,
       .err = " No. of lags " + n11(0) + " < 1\n"},
      {.name = "lags run into the next line",
       .cnl = "No. of runs = 1   No. of data/file = 1   * a\nData file name =err.dat   * b\n"
              "Coherence probability = 0.95   * c\nNo. of frames = 1   No. of lags = 3* d\n"
              "Sampling unit =months   * e\n#\n",
       // The lags take the saved result, the frames ahead read just before.
       .report = kHead + " Control file ended inside the block of run " + n11(1) + "\n",
       // The message shows the rest of the text up to the end of the lines' parts: the NUL
       // characters that fill the rest of the 700 are left out.
       .err = " The number 3Sampling unit =months    > 999999\n"},
      {.name = "frequency unit without mark",
       .cnl = global_block({.unit = "=Freq"}) + run_block(),
       .report = kHead +
                 "  Unit control parameter      Freq       is not followed by +K or +H\n"
                 "       or +k or +h\n"},
      {.name = "no runs",
       .cnl = global_block({.runs = "0", .columns = "2"}),
       .report = kHead + kClosing,
       .out = " Elapsed time = <masked>\n",
       .status = 0},
  };
  for (const Case& c : cases) check(c, kData);
}

TEST(Program, DataFileHeadStopsWithTheirStreams) {
  std::string col80 = "600 1.0";
  col80.resize(74, ' ');
  col80 += "(f8.3)";
  const std::string long_format = "(f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3)";
  const std::string bad_format = " Format on second line of data file is incorrect\n";
  const Case cases[] = {
      {.name = "empty data file",
       .cnl = kCnl,
       .data = "",
       .report = kBanner,
       .err = " Cannot read the number of data and the sampling rate on line 2 of the data file\n"},
      {.name = "line 2 has only the count: the rate is not taken from line 3",
       .cnl = kCnl,
       .data = "Test data\n600\n1.0 (f8.3)\n",
       .report = kHead,
       .err = " Cannot read the number of data and the sampling rate on line 2 of the data file\n"},
      {.name = "rate zero",
       .cnl = kCnl,
       .data = data_file("600 0.0 (f8.3)"),
       .report = kHead,
       .err = " Sampling rate/interval    0.00000000     is not positive\n"},
      {.name = "no closing parenthesis",
       .cnl = kCnl,
       .data = data_file("600 1.0 (f8.3"),
       .report = kHead,
       .err = bad_format},
      {.name = "format ends in column 80",
       .cnl = kCnl,
       .data = data_file(col80),
       .report = kHead,
       .err = bad_format},
      {.name = "format text keeps 50 characters",
       .cnl = kCnl,
       .data = data_file("600, 1.0, " + long_format + " "),
       .report = kHead + kTimeRunHeader + read_error(5006, long_format.substr(0, 50))},
  };
  for (const Case& c : cases) check(c, kData);
}

std::string without_nul(std::string s) {
  std::erase(s, '\0');
  return s;
}

// The parameter text the program builds from run_block(r).
std::string run_text(const RunLines& r) {
  std::string text = r.band + "   " + r.bw + "   " + r.taper + "   " + r.range + "   ";
  text.resize(700, '\0');
  return text;
}

TEST(Program, RunBlockAndBandStopsWithTheirReportLines) {
  // The point of the taper value makes the bandwidth too long.
  const RunLines later_point{.bw = "Resolution bandwidth = 2"};
  const std::string later_text = run_text(later_point);
  const std::string band_order = " Upper bw on line 8 of CNL   0.500000000     < lower bw    2.00000000    \n";
  const Case cases[] = {
      {.name = "line without comment marker",
       .cnl = global_block() + "Longest period = 12.0   * band\nno marker here\n#\n",
       .report = kHead + " Place comment marker * after parameters on ostrel.cnl\n"
                 "no marker here" + std::string(56, ' ') + "\n"},
      {.name = "control file ends before the run block",
       .cnl = global_block(),
       .report = kHead + " Control file ended inside the block of run " + n11(1) + "\n"},
      {.name = "no longest period",
       .cnl = global_block() + run_block({.band = "Lower freq = 0.1   Shortest period = 2.4"}),
       .report = kHead + "\n Type longest period rather than lower freq in  setting the band in "
                         "pelorn.cnl\n"},
      {.name = "no shortest period",
       .cnl = global_block() + run_block({.band = "Longest period = 12.0"}),
       .report = kHead + "\n Type shortest period rather than upper freq in setting the band in "
                         "pelorn.cnl\n"},
      {.name = "bandwidth without point, in the last line: no later point is found",
       .cnl = global_block() + run_block({.bw = "% taper = 0.0", .taper = "Data start = 1   Data end = 0",
                                          .range = "Resolution bandwidth = 2"}),
       .report = kHead + " Place a period in the resolution bandwidth value\n = 2   \n"},
      {.name = "bandwidth takes a later point, then the saved result",
       .cnl = global_block() + run_block(later_point),
       .report = kHead + " The number " + without_nul(later_text.substr(later_text.find("= 2 ") + 2)) +
                 " > 9,999,999\n Resolution bandwidth < 0\n"},
      {.name = "bandwidth zero",
       .cnl = global_block() + run_block({.bw = "Resolution bandwidth = 0.0"}),
       .report = kHead + " Resolution bandwidth < 0\n"},
      {.name = "band order kHz",
       .cnl = global_block({.unit = "=Freq+K"}) + run_block({.band = "Lower freq = 2.0   Upper freq = 0.5"}),
       .report = kHead + band_order + " Check to see the (fl,fu) units are kHz\n"},
      {.name = "band order Hz",
       .cnl = global_block({.unit = "=freq+h"}) + run_block({.band = "Lower freq = 2.0   Upper freq = 0.5"}),
       .report = kHead + band_order + " Check to see the (fl,fu) units are Hz\n"},
      {.name = "band order time",
       .cnl = global_block() + run_block({.band = "Longest period = 2.0   Shortest period = 12.0"}),
       .report = kHead + " Upper bw on line 8 of CNL   8.33333358E-02 < lower bw   0.500000000    \n"
                         " Check to see the (fl,fu) units are months    \n"},
      {.name = "taper out of range",
       .cnl = global_block() + run_block({.taper = "% taper = 25.01"}),
       .report = kHead + " Taper % not in range (0,25)    25.0100002     run - " + n11(1) + "\n"},
  };
  for (const Case& c : cases) check(c, kData);
}

TEST(Program, SampleAndFrameStopsWithTheirReportLines) {
  const RunLines khz_wide{.band = "Lower freq = 1.0   Upper freq = 5.0", .bw = "Resolution bandwidth = 100.0"};
  const Case cases[] = {
      {.name = "start unreadable",
       .cnl = global_block() + run_block({.range = "Data start =   1   Data end = 0"}),
       .report = kHead + " Error " + n11(3) + " in read of start datumstart" +
                 std::string(15, ' ') + "\n"},
      {.name = "end absent",
       .cnl = global_block() + run_block({.range = "Data start = 1"}),
       .report = kHead + " Error " + n11(1) + " in read of end datumend" +
                 std::string(17, ' ') + "\n"},
      {.name = "start below 1",
       .cnl = global_block() + run_block({.range = "Data start = 0   Data end = 0"}),
       .report = kHead + " IS in pelorn.cnl is < 1 " + n11(0) + " run " + n11(1) + "\n"},
      {.name = "end before start",
       .cnl = global_block() + run_block({.range = "Data start = 10   Data end = 5"}),
       .report = kHead + " IE < IS in pelorn.cnl " + n11(10) + i11(5) + "run " + n11(1) + "\n"},
      {.name = "end beyond the data",
       .cnl = global_block() + run_block({.range = "Data start = 1   Data end = 601"}),
       .report = kHead + " IE " + n11(601) + " > N in data file" + n11(600) + "\n"},
      {.name = "frame too short, kHz",
       .cnl = global_block({.unit = "=Freq+K"}) +
              run_block({.band = "Lower freq = 0.1   Upper freq = 0.4", .bw = "Resolution bandwidth = 250.0"}),
       .report = kHead + " Frame length = " + n11(4) + " < 5 - run " + n11(1) + "\n" +
                 " Decrease resolution bandwidth =    250.000000     n = " + n11(600) + "\n"},
      {.name = "frame too short, time",
       .cnl = global_block() + run_block({.bw = "Resolution bandwidth = 4.0"}),
       .report = kHead + " Frame length = " + n11(4) + " < 5 - run " + n11(1) + "\n" +
                 " Increase resolution period =    4.00000000     n = " + n11(600) + "\n"},
      {.name = "frame length beyond the 32-bit range",
       .cnl = global_block({.unit = "=Freq+K"}) +
              run_block({.band = "Lower freq = 0.1   Upper freq = 0.4", .bw = "Resolution bandwidth = 0.001"}),
       .data = data_file("600 3.0e38 (f8.3)"),
       .report = kHead + " Frame length = " + n11(-2147483648L) + " < 5 - run " + n11(1) +
                 "\n Decrease resolution bandwidth =   1.00000005E-03 n = " + n11(600) + "\n"},
      {.name = "six frames",
       .cnl = global_block() + run_block({.band = "Longest period = 5.0   Shortest period = 2.5",
                                          .bw = "Resolution bandwidth = 5.0",
                                          .range = "Data start = 1   Data end = 34"}),
       .report = kHead + " No. frames " + n11(6) + " < " + n11(7) + " lb " + n11(5) + "\n" +
                 " run " + n11(1) + "\n"},
      {.name = "upper edge above half the rate, kHz",
       .cnl = global_block({.unit = "=Freq+K"}) + run_block(khz_wide),
       .data = data_file("600 8.0 (f8.3)"),
       .report = kHead + " Normalized upper bw =   0.625000000     > 0.5\n"
                         " Check to see if the (fl,fu) units are kHz\n"
                         "  Sampling unit Freq+K     Sampling rate/interval    8.00000000    \n"
                         " iunit = " + n11(1) + "\n"},
      {.name = "upper edge above half the rate, Hz in kHz",
       .cnl = global_block({.unit = "=freq+h"}) +
              run_block({.band = "Lower freq = 1000.0   Upper freq = 5000.0", .bw = khz_wide.bw}),
       .data = data_file("600 8000.0 (f8.3)"),
       .report = kHead + " Normalized upper bw =   0.625000000     > 0.5\n"
                         " Check to see if the (fl,fu) units are Hz\n"
                         "  Sampling unit freq+h     Sampling rate/interval    8.00000000    \n"
                         " iunit = " + n11(2) + "\n"},
      {.name = "upper edge above half the rate, time",
       .cnl = global_block() + run_block({.band = "Longest period = 12.0   Shortest period = 1.5"}),
       .report = kHead + " Normalized upper bw =   0.666666687     > 0.5\n"
                         " Check to see if the (fl,fu) units are months    \n"
                         "  Sampling unit months     Sampling rate/interval    1.00000000    \n"
                         " iunit = " + n11(0) + "\n"},
  };
  for (const Case& c : cases) check(c, kData);
}

// Runs that pass every check: the report up to the data reader's stop.
std::string sample_line(int is, int ie, int n) {
  char buf[120];
  std::snprintf(buf, sizeof buf,
                "\n  First datum used %8d  Last datum used%8d  Sample size = %8d\n", is, ie, n);
  return buf + std::string(60, '=') + "\n";
}

TEST(Program, FrameGeometryOfEachUnitMode) {
  const std::string forecast = "       No. of frames forecasted =   1  VAR Lags =  1\n\n";
  const std::string khz_10000 = sample_line(1, 10000, 10000) +
                                " Sampling rate =      10.000 kHz\n\n"
                                " Resolution Bandwidth =     10.000 Hz.  No. Frames     10 . "
                                "Frame Length    1000\n\n";
  // Seven global lines and no `#` line: the eighth line begins the run block.
  const std::string seven =
      "No. of runs = 1   * a\nNo. of data/file = 1   * b\nData file name =err.dat   * c\n"
      "Coherence probability = 0.0   * d\nNo. of frames = 10   * e\nNo. of lags = 1   * f\n"
      "Sampling unit =days   * g\n";
  const Case cases[] = {
      {.name = "kHz, upper edge 0",
       .cnl = global_block({.unit = "=Freq+K"}) +
              run_block({.band = "Lower freq = 0.5   Upper freq = 0.0", .bw = "Resolution bandwidth = 10.0"}),
       .data = data_file("10000 10.0 (f8.3)"),
       .report = kHead + khz_10000 + " Passband (    0.500       5.000 ) kHz\n\n"
                 "       No. of frequencies in band    451\n\n" + forecast + kStop},
      {.name = "kHz, lower bin from 1.5",  // 0.15 x 10 = 1.5 gives bin 2
       .cnl = global_block({.unit = "=Freq+K"}) +
              run_block({.band = "Lower freq = 0.15   Upper freq = 0.5", .bw = "Resolution bandwidth = 100.0"}),
       .data = data_file("100 1.0 (f8.3)"),
       .report = kHead + sample_line(1, 100, 100) +
                 " Sampling rate =       1.000 kHz\n\n"
                 " Resolution Bandwidth =    100.000 Hz.  No. Frames     10 . Frame Length      10\n\n"
                 " Passband (    0.200       0.500 ) kHz\n\n"
                 "       No. of frequencies in band      4\n\n" + forecast + kStop},
      {.name = "kHz, upper bin from 100.5",
       .cnl = global_block({.unit = "=Freq+K"}) +
              run_block({.band = "Lower freq = 0.5   Upper freq = 1.005", .bw = "Resolution bandwidth = 10.0"}),
       .data = data_file("10000 10.0 (f8.3)"),
       .report = kHead + khz_10000 + " Passband (    0.500       1.010 ) kHz\n\n"
                 "       No. of frequencies in band     52\n\n" + forecast + kStop},
      {.name = "time, seven global lines",
       .cnl = seven + run_block({.band = "Longest period = 0.0   Shortest period = 0.0",
                                 .bw = "Resolution Bandwidth = 365.0", .taper = "% taper = 10.0"}),
       .data = data_file("3650 1.0 (f8.3)"),
       .report = kHead + sample_line(1, 3650, 3650) +
                 " Sampling interval =  1.00000     days   \n\n"
                 " Resolution Bandwidth =  365.0     days     No. Frames      10 . Frame Length    365\n\n"
                 " Passband (   365.00       2.01 ) days   \n\n"
                 "       No. of frequencies in band    182\n\n"
                 "       No. of frames forecasted =  10  VAR Lags =  1\n\n"
                 " % taper = 10.00    No. tapered at each end =    18\n\n" + kStop},
      {.name = "five values a frame, seven frames",
       .cnl = global_block() + run_block({.band = "Longest period = 5.0   Shortest period = 2.5",
                                          .bw = "Resolution bandwidth = 5.0",
                                          .range = "Data start = 2   Data end = 36"}),
       .report = kHead + sample_line(2, 36, 35) +
                 " Sampling interval =  1.00000     months \n\n"
                 " Resolution Bandwidth =  5.000     months   No. Frames       7 . Frame Length      5\n\n"
                 " Passband (     5.00       2.50 ) months \n\n"
                 "       No. of frequencies in band      2\n\n" + forecast + kStop},
  };
  for (const Case& c : cases) check(c, kData);
}

// In one process (as a fuzzer runs it) every invocation starts afresh: the readers' saved
// results of the previous invocation do not reach the next.
// Values that carry from call to call (the keyword readers' saved results, the incomplete
// gamma function's last result) belong to one invocation: a second invocation in the same
// process gives what it gives in a process of its own.
TEST(Program, InvocationsInOneProcessAreIndependent) {
  // No "uns" in the global block: the number of runs is the integer reader's saved result,
  // 0 in a fresh invocation, so this one makes no run and ends normally.
  const std::string no_runs = "No. of data/file = 1   Data file name =err.dat   * \n"
                              "Coherence probability = 0.95   No. of frames = 1   * \n"
                              "No. of lags = 1   Sampling unit =months   * \n#\n";
  TempFolder alone, after;
  for (const TempFolder* f : {&alone, &after}) f->write("err.dat", kData);
  alone.write("tramel.cnl", no_runs);
  const Outcome fresh = run_program(alone.path());

  // In one process: first a run that reads integers up to a data end of 600, then the same
  // control file as above.
  after.write("tramel.cnl", global_block({.lags = "5", .unit = "=Freq"}));
  EXPECT_EQ(program(Options{.folder = after.path()}), 1);
  after.write("tramel.cnl", no_runs);
  EXPECT_EQ(program(Options{.folder = after.path()}), 0);
  EXPECT_EQ(fresh.status, 0);
  EXPECT_EQ(mask_run_lines(after.read("tramel.out")), mask_run_lines(fresh.report));
}

}  // namespace
}  // namespace tramel::testing
