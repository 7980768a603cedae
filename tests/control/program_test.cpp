// The built program on small control and data files: every message of the driver and of the
// run settings with its stream and exit status, and the frame geometry of each unit mode.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "run_program.hpp"
#include "tramel.hpp"

namespace tramel::control {
namespace {

using Folder = tramel::testing::TempFolder;
using tramel::testing::Outcome;

std::string masked(const std::string& text) { return tramel::testing::mask_run_lines(text); }
Outcome run_in(const Folder& folder) { return tramel::testing::run_program(folder.path()); }

const std::string kBanner = "           Quorvane\n            Release 1.00\n";
const std::string kClosing =
    " Version 10-14-2002\n Date & Time <masked>\n Elapsed time = <masked>\n";

std::string title(const std::string& t) {
  std::string line = " " + t;
  line.resize(80, ' ');
  return line + "\n";
}

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

struct Global {
  std::string runs = "1";
  std::string columns = "1";
  std::string name = "=err.dat";
  std::string prob = "0.95";
  std::string frames = "1";
  std::string lags = "1";
  std::string unit = "=months";
};

std::string global(const Global& g) {
  return "No. of runs = " + g.runs + "   No. of data/file = " + g.columns + "   * runs, columns\n" +
         "Data file name " + g.name + "   * data file\n" +
         "Coherence probability = " + g.prob + "   * threshold\n" +
         "No. of frames = " + g.frames + "   No. of lags = " + g.lags + "   * horizon, lags\n" +
         "Sampling unit " + g.unit + "   * unit\n" + "######## end of global block\n";
}

struct Block {
  std::vector<std::string> lines = {"Longest period = 12.0   Shortest period = 2.4",
                                    "Resolution bandwidth = 12.0", "% taper = 0.0",
                                    "Data start = 1   Data end = 0"};
};

std::string run_block(const Block& b) {
  std::string text;
  for (const std::string& line : b.lines) text += line + "   * run\n";
  return text + "######## end of run block\n";
}

// The run's parameter text as the program builds it from run_block().
std::string run_text(const Block& b) {
  std::string text;
  for (const std::string& line : b.lines) text += line + "   ";
  text.resize(700, '\0');
  return text;
}

// A data file whose first record cannot be read: a run that passes every check stops in
// the data reader right after its header.
std::string data_file(const std::string& line2, const std::string& name = "Test data") {
  return name + "\n" + line2 + "\n   abc\n   1.000\n";
}

struct Case {
  const char* name;
  std::string cnl;
  std::string data = data_file("600 1.0  (f8.3)");
  std::string report = "";  // masked; "<absent>" when no report is written
  std::string out = "";     // masked
  std::string err = "";
  int status = 1;
  std::function<void(const Folder&)> setup = nullptr;
};

void check(const Case& c) {
  SCOPED_TRACE(c.name);
  Folder folder;
  if (!c.cnl.empty()) folder.write("tramel.cnl", c.cnl);
  folder.write("err.dat", c.data);
  if (c.setup) c.setup(folder);
  const std::string data_before = folder.read("err.forec");
  const Outcome o = run_in(folder);
  if (c.out.find("forecast file") != std::string::npos) {
    EXPECT_EQ(folder.read("err.forec"), data_before);  // a data file is never emptied
  }
  EXPECT_EQ(o.status, c.status);
  EXPECT_EQ(masked(o.out), c.out);
  EXPECT_EQ(o.err, c.err);
  EXPECT_EQ(o.report == "<absent>" ? o.report : masked(o.report), c.report);
}

void make_directory(const Folder& f, const char* name) {
  std::filesystem::create_directory(f.path() / name);
}

const std::string kHead = kBanner + title("Test data");
const std::string kTimeRun = run_block(Block{});

TEST(Program, OpenFailures) {
  const Case cases[] = {
      {.name = "no control file",
       .cnl = "",
       .report = "<absent>",
       .out = " **** Error on opening control file 1 " + n11(2) + "\n"},
      {.name = "report is a directory",
       .cnl = global({}) + kTimeRun,
       .report = "<absent>",
       .out = " **** Error on opening output file " + n11(21) + "\n",
       .setup = [](const Folder& f) { make_directory(f, "tramel.out"); }},
      {.name = "data file is a directory",
       .cnl = global({.name = "=dir.dat"}) + kTimeRun,
       .report = kBanner,
       .out = " **** Error on opening data file " + n11(21) + "\n",
       .setup = [](const Folder& f) { make_directory(f, "dir.dat"); }},
      {.name = "data file is the forecast file",
       .cnl = global({.name = "=err.forec"}) + kTimeRun,
       .report = kBanner + title("Forecast as data"),
       .out = " **** Error on opening forecast file " + n11(17) + "\n",
       .setup =
           [](const Folder& f) {
             f.write("err.forec", data_file("600 1.0 (f8.3)", "Forecast as data"));
           }},
      {.name = "forecast file is a directory",
       .cnl = global({}) + kTimeRun,
       .report = kHead,
       .out = " **** Error on opening forecast file " + n11(21) + "\n",
       .setup = [](const Folder& f) { make_directory(f, "err.forec"); }},
  };
  for (const Case& c : cases) check(c);
}

TEST(Program, GlobalBlock) {
  const Case cases[] = {
      {.name = "line without comment marker",
       .cnl = "No. of runs = 1   * runs\nNo. of data/file = 1\n#\n",
       .report = kBanner +
                 " Place comment marker * after parameters for top readon ostrel.cnl\n"
                 "No. of data/file = 1" + std::string(50, ' ') + "\n"},
      {.name = "control file ends inside the global block",
       .cnl = "No. of runs = 1   * runs\nNo. of data/file = 1   * columns\n",
       .report = kBanner + " Control file ended inside the global block\n"},
      {.name = "no data columns",
       .cnl = global({.columns = "0"}) + kTimeRun,
       .report = kBanner + " No. of data columns " + n11(0) + " < 1\n"},
      {.name = "name without extension",
       .cnl = global({.name = "=errdat"}) + kTimeRun,
       .report = kBanner + " Data file errdat" + std::string(74, ' ') + "  has no extension\n"},
      {.name = "name blank after `= `",
       .cnl = global({.name = "= err.dat"}) + kTimeRun,
       .report = kBanner + " Data file " + std::string(80, ' ') + "  has no extension\n"},
      {.name = "data file absent: the name to its dot and five more columns",
       .cnl = global({.name = "=obs.txt"}) + kTimeRun,
       .report = kBanner + " Input file obs.txt   does not exist as named\n"},
      {.name = "data file absent, cut name",
       .cnl = global({.name = "=a.b.forecasting"}) + kTimeRun,
       .report = kBanner + " Input file a.b.for does not exist as named\n"},
      {.name = "threshold 1.0",
       .cnl = global({.prob = "1.0"}) + kTimeRun,
       .report = kHead,
       .err = " Coherence threshold    1.00000000     is out in unit interval\n"},
      {.name = "threshold negative",
       .cnl = global({.prob = "-0.5"}) + kTimeRun,
       .report = kHead,
       .err = " Coherence threshold  -0.500000000     is out in unit interval\n"},
      {.name = "frames ahead 11",
       .cnl = global({.frames = "11"}) + kTimeRun,
       .report = kHead,
       .err = " No. of frames ahead for forecasting " + n11(11) + " is out of bounds\n"},
      {.name = "no lags",
       .cnl = global({.lags = "0"}) + kTimeRun,
       .report = kHead,
       .err = " No. of lags " + n11(0) + " < 1\n"},
      {.name = "lags run into the next line",
       .cnl = "No. of runs = 1   No. of data/file = 1   * a\nData file name =err.dat   * b\n"
              "Coherence probability = 0.95   * c\nNo. of frames = 1   No. of lags = 3* d\n"
              "Sampling unit =months   * e\n#\n",
       // The lags take the saved result, the frames ahead read just before.
       .report = kHead + " Control file ended inside the block of run " + n11(1) + "\n",
       // The five lines contribute 157 characters; NUL fills the rest of the 700.
       .err = " The number 3Sampling unit =months   " + std::string(700 - 157, '\0') +
              " > 999999\n"},
      {.name = "frequency unit without mark",
       .cnl = global({.unit = "=Freq"}) + kTimeRun,
       .report = kHead +
                 "  Unit control parameter      Freq       is not followed by +K or +H\n"
                 "       or +k or +h\n"},
      {.name = "no runs",
       .cnl = global({.runs = "0", .columns = "2"}),
       .report = kHead + kClosing,
       .out = " Elapsed time = <masked>\n",
       .status = 0},
  };
  for (const Case& c : cases) check(c);
}

TEST(Program, DataFileHead) {
  std::string col80 = "600 1.0";
  col80.resize(74, ' ');
  col80 += "(f8.3)";
  const std::string cannot =
      " Cannot read the number of data and the sampling rate on line 2 of the data file\n";
  const std::string bad_format = " Format on second line of data file is incorrect\n";
  const Case cases[] = {
      {.name = "empty data file", .cnl = global({}) + kTimeRun, .data = "", .report = kBanner,
       .err = cannot},
      {.name = "line 2 has only the count",
       .cnl = global({}) + kTimeRun,
       .data = "Test data\n600\n1.0 (f8.3)\n",
       .report = kHead,
       .err = cannot},
      {.name = "line 2 begins with text",
       .cnl = global({}) + kTimeRun,
       .data = data_file("N=600 1.0 (f8.3)"),
       .report = kHead,
       .err = cannot},
      {.name = "rate zero",
       .cnl = global({}) + kTimeRun,
       .data = data_file("600 0.0 (f8.3)"),
       .report = kHead,
       .err = " Sampling rate/interval    0.00000000     is not positive\n"},
      {.name = "rate negative",
       .cnl = global({}) + kTimeRun,
       .data = data_file("600 -1.5 (f8.3)"),
       .report = kHead,
       .err = " Sampling rate/interval   -1.50000000     is not positive\n"},
      {.name = "no closing parenthesis",
       .cnl = global({}) + kTimeRun,
       .data = data_file("600 1.0 (f8.3"),
       .report = kHead,
       .err = bad_format},
      {.name = "format ends in column 80",
       .cnl = global({}) + kTimeRun,
       .data = data_file(col80),
       .report = kHead,
       .err = bad_format},
  };
  for (const Case& c : cases) check(c);
}

// The lines of a run that passes every check, up to the data reader's stop on the
// unreadable first record, which shows the format text as taken from line 2.
std::string time_run_12(const std::string& fmt50) {
  return "\n  First datum used        1  Last datum used     600  Sample size =      600\n" +
         std::string(60, '=') + "\n"
         " Sampling interval =  1.00000     months \n\n"
         " Resolution Bandwidth =  12.00     months   No. Frames      50 . Frame Length     12\n\n"
         " Passband (    12.00       2.40 ) months \n\n"
         "       No. of frequencies in band      5\n\n"
         "       No. of frames forecasted =   1  VAR Lags =  1\n\n"
         " ** Error in read of data file <number>\n"
         " Check format" + fmt50 + "\n";
}

TEST(Program, FormatText) {
  const std::string long_format = "(f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3,1x,f8.3)";
  const Case cases[] = {
      {.name = "format text to the third closing parenthesis",
       .cnl = global({}) + kTimeRun,
       .data = data_file("600 1.0 (f8.3)x) (y) z)"),
       .report = kHead + time_run_12("(f8.3)x) (y)" + std::string(38, ' '))},
      {.name = "format text keeps 50 characters",
       .cnl = global({}) + kTimeRun,
       .data = data_file("600, 1.0, " + long_format + " "),
       .report = kHead + time_run_12(long_format.substr(0, 50))},
  };
  for (const Case& c : cases) check(c);
}

TEST(Program, RunBlockAndBand) {
  Block no_longest;
  no_longest.lines[0] = "Lower freq = 0.1   Shortest period = 2.4";
  Block no_shortest;
  no_shortest.lines[0] = "Longest period = 12.0";
  Block no_point;  // the bandwidth last, so that no later point is found
  no_point.lines = {"Longest period = 12.0   Shortest period = 2.4", "% taper = 0.0",
                    "Data start = 1   Data end = 0", "Resolution bandwidth = 2"};
  Block later_point;  // the point of the taper value makes the bandwidth too long
  later_point.lines = {"Longest period = 12.0   Shortest period = 2.4",
                       "Resolution bandwidth = 2", "% taper = 0.0",
                       "Data start = 1   Data end = 0"};
  const std::string later_text = run_text(later_point);
  Block zero_bw;
  zero_bw.lines[1] = "Resolution bandwidth = 0.0";
  Block khz_order;
  khz_order.lines[0] = "Lower freq = 2.0   Upper freq = 0.5";
  Block time_order;
  time_order.lines[0] = "Longest period = 2.0   Shortest period = 12.0";
  Block taper;
  taper.lines[2] = "% taper = 25.01";
  Block band_one_bin;
  band_one_bin.lines[0] = "Longest period = 6.0   Shortest period = 5.8";
  band_one_bin.lines[1] = "Resolution bandwidth = 24.0";

  const Case cases[] = {
      {.name = "line without comment marker",
       .cnl = global({}) + "Longest period = 12.0   * band\nno marker here\n#\n",
       .report = kHead + " Place comment marker * after parameters on ostrel.cnl\n"
                 "no marker here" + std::string(56, ' ') + "\n"},
      {.name = "control file ends before the run block",
       .cnl = global({}),
       .report = kHead + " Control file ended inside the block of run " + n11(1) + "\n"},
      {.name = "no longest period",
       .cnl = global({}) + run_block(no_longest),
       .report = kHead + "\n Type longest period rather than lower freq in  setting the band in "
                         "pelorn.cnl\n"},
      {.name = "no shortest period",
       .cnl = global({}) + run_block(no_shortest),
       .report = kHead + "\n Type shortest period rather than upper freq in setting the band in "
                         "pelorn.cnl\n"},
      {.name = "bandwidth without point",
       .cnl = global({}) + run_block(no_point),
       .report = kHead + " Place a period in the resolution bandwidth value\n = 2   " +
                 std::string(5, '\0') + "\n"},
      {.name = "bandwidth takes a later point, then the saved result",
       .cnl = global({}) + run_block(later_point),
       .report = kHead + " The number " + later_text.substr(later_text.find("= 2 ") + 2) +
                 " > 9,999,999\n Resolution bandwidth < 0\n"},
      {.name = "bandwidth zero",
       .cnl = global({}) + run_block(zero_bw),
       .report = kHead + " Resolution bandwidth < 0\n"},
      {.name = "band order kHz",
       .cnl = global({.unit = "=Freq+K"}) + run_block(khz_order),
       .report = kHead + " Upper bw on line 8 of CNL   0.500000000     < lower bw    2.00000000    \n"
                         " Check to see the (fl,fu) units are kHz\n"},
      {.name = "band order Hz",
       .cnl = global({.unit = "=freq+h"}) + run_block(khz_order),
       .report = kHead + " Upper bw on line 8 of CNL   0.500000000     < lower bw    2.00000000    \n"
                         " Check to see the (fl,fu) units are Hz\n"},
      {.name = "band order time",
       .cnl = global({}) + run_block(time_order),
       .report = kHead + " Upper bw on line 8 of CNL   8.33333358E-02 < lower bw   0.500000000    \n"
                         " Check to see the (fl,fu) units are months    \n"},
      {.name = "taper out of range",
       .cnl = global({}) + run_block(taper),
       .report = kHead + " Taper % not in range (0,25)    25.0100002     run - " + n11(1) + "\n"},
      {.name = "band of a single bin",
       .cnl = global({}) + run_block(band_one_bin),
       .report = kHead + " fu-fl   5.74710965E-03 is too small\n"
                         " Increase passband fu-fl in run " + n11(1) + "\n"},
  };
  for (const Case& c : cases) check(c);
}

TEST(Program, SampleAndFrames) {
  const auto range = [](const std::string& line) {
    Block b;
    b.lines[3] = line;
    return b;
  };
  Block khz_short = range("Data start = 1   Data end = 0");
  khz_short.lines[0] = "Lower freq = 0.1   Upper freq = 0.4";
  khz_short.lines[1] = "Resolution bandwidth = 250.0";
  Block time_short;
  time_short.lines[1] = "Resolution bandwidth = 4.0";
  Block few_frames = range("Data start = 1   Data end = 34");
  few_frames.lines[0] = "Longest period = 5.0   Shortest period = 2.5";
  few_frames.lines[1] = "Resolution bandwidth = 5.0";
  Block khz_wide;
  khz_wide.lines[0] = "Lower freq = 1.0   Upper freq = 5.0";
  khz_wide.lines[1] = "Resolution bandwidth = 100.0";
  Block hz_wide = khz_wide;
  hz_wide.lines[0] = "Lower freq = 1000.0   Upper freq = 5000.0";
  Block time_wide;
  time_wide.lines[0] = "Longest period = 12.0   Shortest period = 1.5";
  Block huge;
  huge.lines[0] = "Lower freq = 0.1   Upper freq = 0.4";
  huge.lines[1] = "Resolution bandwidth = 0.001";

  const Case cases[] = {
      {.name = "start unreadable",
       .cnl = global({}) + run_block(range("Data start =   1   Data end = 0")),
       .report = kHead + " Error " + n11(3) + " in read of start datumstart" +
                 std::string(15, ' ') + "\n"},
      {.name = "end absent",
       .cnl = global({}) + run_block(range("Data start = 1")),
       .report = kHead + " Error " + n11(1) + " in read of end datumend" +
                 std::string(17, ' ') + "\n"},
      {.name = "start below 1",
       .cnl = global({}) + run_block(range("Data start = 0   Data end = 0")),
       .report = kHead + " IS in pelorn.cnl is < 1 " + n11(0) + " run " + n11(1) + "\n"},
      {.name = "end before start",
       .cnl = global({}) + run_block(range("Data start = 10   Data end = 5")),
       .report = kHead + " IE < IS in pelorn.cnl " + n11(10) + i11(5) + "run " + n11(1) + "\n"},
      {.name = "end beyond the data",
       .cnl = global({}) + run_block(range("Data start = 1   Data end = 601")),
       .report = kHead + " IE " + n11(601) + " > N in data file" + n11(600) + "\n"},
      {.name = "frame too short, kHz",
       .cnl = global({.unit = "=Freq+K"}) + run_block(khz_short),
       .report = kHead + " Frame length = " + n11(4) + " < 5 - run " + n11(1) + "\n" +
                 " Decrease resolution bandwidth =    250.000000     n = " + n11(600) + "\n"},
      {.name = "frame too short, time",
       .cnl = global({}) + run_block(time_short),
       .report = kHead + " Frame length = " + n11(4) + " < 5 - run " + n11(1) + "\n" +
                 " Increase resolution period =    4.00000000     n = " + n11(600) + "\n"},
      {.name = "frame length beyond the 32-bit range",
       .cnl = global({.unit = "=Freq+K"}) + run_block(huge),
       .data = data_file("600 3.0e38 (f8.3)"),
       .report = kHead + " Frame length = " + n11(-2147483648L) + " < 5 - run " + n11(1) +
                 "\n Decrease resolution bandwidth =   1.00000005E-03 n = " + n11(600) + "\n"},
      {.name = "six frames",
       .cnl = global({}) + run_block(few_frames),
       .report = kHead + " No. frames " + n11(6) + " < " + n11(7) + " lb " + n11(5) + "\n" +
                 " run " + n11(1) + "\n"},
      {.name = "upper edge above half the rate, kHz",
       .cnl = global({.unit = "=Freq+K"}) + run_block(khz_wide),
       .data = data_file("600 8.0 (f8.3)"),
       .report = kHead + " Normalized upper bw =   0.625000000     > 0.5\n"
                         " Check to see if the (fl,fu) units are kHz\n"
                         "  Sampling unit Freq+K     Sampling rate/interval    8.00000000    \n"
                         " iunit = " + n11(1) + "\n"},
      {.name = "upper edge above half the rate, Hz in kHz",
       .cnl = global({.unit = "=freq+h"}) + run_block(hz_wide),
       .data = data_file("600 8000.0 (f8.3)"),
       .report = kHead + " Normalized upper bw =   0.625000000     > 0.5\n"
                         " Check to see if the (fl,fu) units are Hz\n"
                         "  Sampling unit freq+h     Sampling rate/interval    8.00000000    \n"
                         " iunit = " + n11(2) + "\n"},
      {.name = "upper edge above half the rate, time",
       .cnl = global({}) + run_block(time_wide),
       .report = kHead + " Normalized upper bw =   0.666666687     > 0.5\n"
                         " Check to see if the (fl,fu) units are months    \n"
                         "  Sampling unit months     Sampling rate/interval    1.00000000    \n"
                         " iunit = " + n11(0) + "\n"},
  };
  for (const Case& c : cases) check(c);
}

// Runs that pass every check: the report up to the end of the run header.
struct Geometry {
  const char* name;
  std::string cnl;
  std::string data;
  std::string report_start;
};

void check(const Geometry& g) {
  SCOPED_TRACE(g.name);
  Folder folder;
  folder.write("tramel.cnl", g.cnl);
  folder.write("err.dat", g.data);
  const Outcome o = run_in(folder);
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.report.substr(0, g.report_start.size()), g.report_start);
}

std::string sample_line(int is, int ie, int n) {
  char buf[120];
  std::snprintf(buf, sizeof buf,
                "\n  First datum used %8d  Last datum used%8d  Sample size = %8d\n", is, ie, n);
  return buf;
}

const std::string kRule = std::string(60, '=') + "\n";

TEST(Program, Geometry) {
  Block khz;
  khz.lines[0] = "Lower freq = 0.5   Upper freq = 2.0";
  khz.lines[1] = "Resolution bandwidth = 10.0";
  Block khz_top = khz;
  khz_top.lines[0] = "Lower freq = 0.5   Upper freq = 0.0";
  Block khz_halves;  // 0.15 x 10 = 1.5 gives bin 2
  khz_halves.lines[0] = "Lower freq = 0.15   Upper freq = 0.5";
  khz_halves.lines[1] = "Resolution bandwidth = 100.0";
  Block khz_upper_half;  // 100.5 gives bin 101
  khz_upper_half.lines[0] = "Lower freq = 0.5   Upper freq = 1.005";
  khz_upper_half.lines[1] = "Resolution bandwidth = 10.0";
  Block hz;
  hz.lines[0] = "Lower freq = 50.0   Upper freq = 200.0";
  hz.lines[1] = "Resolution bandwidth = 2.5";
  Block time;
  time.lines = {"Longest period = 0.0   Shortest period = 0.0", "Resolution Bandwidth = 365.0",
                "% taper = 10.0", "Data start = 1   Data end = 0"};
  Block smallest;  // five values a frame, seven frames
  smallest.lines = {"Longest period = 5.0   Shortest period = 2.5", "Resolution bandwidth = 5.0",
                    "% taper = 0.0", "Data start = 2   Data end = 36"};
  // Seven global lines and no `#` line: the eighth line begins the run block.
  const std::string seven =
      "No. of runs = 1   * a\nNo. of data/file = 1   * b\nData file name =err.dat   * c\n"
      "Coherence probability = 0.0   * d\nNo. of frames = 10   * e\nNo. of lags = 1   * f\n"
      "Sampling unit =days   * g\n";

  const std::string head = kBanner + title("Test data");
  const Geometry cases[] = {
      {"kHz", global({.unit = "=Freq+K"}) + run_block(khz), data_file("10000 10.0 (f8.3)"),
       head + sample_line(1, 10000, 10000) + kRule +
           " Sampling rate =      10.000 kHz\n\n"
           " Resolution Bandwidth =     10.000 Hz.  No. Frames     10 . Frame Length    1000\n\n"
           " Passband (    0.500       2.000 ) kHz\n\n"
           "       No. of frequencies in band    151\n\n"
           "       No. of frames forecasted =   1  VAR Lags =  1\n\n"},
      {"kHz, upper edge 0", global({.unit = "=Freq+K"}) + run_block(khz_top),
       data_file("10000 10.0 (f8.3)"),
       head + sample_line(1, 10000, 10000) + kRule +
           " Sampling rate =      10.000 kHz\n\n"
           " Resolution Bandwidth =     10.000 Hz.  No. Frames     10 . Frame Length    1000\n\n"
           " Passband (    0.500       5.000 ) kHz\n\n"
           "       No. of frequencies in band    451\n\n"},
      {"kHz, lower bin from 1.5", global({.unit = "=Freq+K"}) + run_block(khz_halves),
       data_file("100 1.0 (f8.3)"),
       head + sample_line(1, 100, 100) + kRule +
           " Sampling rate =       1.000 kHz\n\n"
           " Resolution Bandwidth =    100.000 Hz.  No. Frames     10 . Frame Length      10\n\n"
           " Passband (    0.200       0.500 ) kHz\n\n"
           "       No. of frequencies in band      4\n\n"},
      {"kHz, upper bin from 100.5", global({.unit = "=Freq+K"}) + run_block(khz_upper_half),
       data_file("10000 10.0 (f8.3)"),
       head + sample_line(1, 10000, 10000) + kRule +
           " Sampling rate =      10.000 kHz\n\n"
           " Resolution Bandwidth =     10.000 Hz.  No. Frames     10 . Frame Length    1000\n\n"
           " Passband (    0.500       1.010 ) kHz\n\n"
           "       No. of frequencies in band     52\n\n"},
      {"Hz", global({.frames = "10", .lags = "2", .unit = "=freq+h"}) + run_block(hz),
       data_file("4000 1000.0 (f8.3)"),
       head + sample_line(1, 4000, 4000) + kRule +
           " Sampling rate =    1000.000 Hz\n\n"
           " Resolution Bandwidth =    2.50000 Hz.  No. Frames     10 . Frame Length    400\n\n"
           " Passband (  50.00     200.00 ) Hz\n\n"
           "       No. of frequencies in band     61\n\n"
           "       No. of frames forecasted =  10  VAR Lags =  2\n\n"},
      {"time, seven global lines", seven + run_block(time), data_file("3650 1.0 (f8.3)"),
       head + sample_line(1, 3650, 3650) + kRule +
           " Sampling interval =  1.00000     days   \n\n"
           " Resolution Bandwidth =  365.0     days     No. Frames      10 . Frame Length    365\n\n"
           " Passband (   365.00       2.01 ) days   \n\n"
           "       No. of frequencies in band    182\n\n"
           "       No. of frames forecasted =  10  VAR Lags =  1\n\n"
           " % taper = 10.00    No. tapered at each end =    18\n\n"},
      {"five values a frame, seven frames", global({}) + run_block(smallest),
       data_file("600 1.0 (f8.3)"),
       head + sample_line(2, 36, 35) + kRule +
           " Sampling interval =  1.00000     months \n\n"
           " Resolution Bandwidth =  5.000     months   No. Frames       7 . Frame Length      5\n\n"
           " Passband (     5.00       2.50 ) months \n\n"
           "       No. of frequencies in band      2\n\n"},
  };
  for (const Geometry& g : cases) check(g);
}

// Two runs in Hz mode on two tones in noise: each run starts again from the rate in Hz, and
// each is followed by the threshold and column-count lines.
TEST(Program, TwoHertzRunsStartFromTheRateInHertz) {
  std::string data = "Two tones in noise\n2400 1000.0  (2f10.3)\n";
  std::uint32_t seed = 12345;
  const auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
  };
  for (int i = 0; i < 2400; ++i) {
    const double a = 2.0 * std::cos(2.0 * M_PI * 10.0 * i / 80.0) + noise();
    const double b = 1.5 * std::sin(2.0 * M_PI * 15.0 * i / 80.0) + noise();
    char rec[40];
    std::snprintf(rec, sizeof rec, "%10.3f%10.3f\n", a, b);
    data += rec;
  }
  Block hz;
  hz.lines = {"Lower freq = 50.0   Upper freq = 300.0", "Resolution bandwidth = 12.5",
              "% taper = 0.0", "Data start = 1   Data end = 0"};
  Folder folder;
  folder.write("tramel.cnl", global({.runs = "2", .columns = "2", .prob = "0.99",
                                     .unit = "=freq+h"}) +
                                 run_block(hz) + run_block(hz));
  folder.write("err.dat", data);
  const Outcome o = run_in(folder);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  const std::string header = sample_line(1, 2400, 2400) + kRule +
                             " Sampling rate =    1000.000 Hz\n\n"
                             " Resolution Bandwidth =   12.50000 Hz.  No. Frames     30 . "
                             "Frame Length     80\n\n"
                             " Passband (  50.00     300.00 ) Hz\n\n"
                             "       No. of frequencies in band     21\n\n"
                             "       No. of frames forecasted =   1  VAR Lags =  1\n\n";
  const std::string after = "       Coherence threshold probability =  0.990\n"
                            "\n       Number of Data Columns =  2\n\n";
  const std::string report = masked(o.report);
  ASSERT_EQ(report.substr(0, kBanner.size()), kBanner);
  const std::size_t first = report.find(header);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(first, kBanner.size() + 81);
  const std::size_t end1 = report.find(after, first);
  ASSERT_NE(end1, std::string::npos);
  EXPECT_EQ(report.find(header, end1), end1 + after.size());
  const std::size_t end2 = report.find(after, end1 + after.size());
  ASSERT_NE(end2, std::string::npos);
  EXPECT_EQ(report.substr(end2 + after.size()), kClosing);
}

}  // namespace
}  // namespace tramel::control

namespace tramel::control {
namespace {

// In one process (as a fuzzer runs it) every invocation starts afresh: the readers' saved
// results of the previous invocation do not reach the next.
TEST(Program, InvocationsInOneProcessAreIndependent) {
  Folder folder;
  folder.write("err.dat", data_file("600 1.0 (f8.3)"));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  folder.write("tramel.cnl", global({.lags = "5", .unit = "=Freq"}));
  const int first = tramel::program();
  folder.write("tramel.cnl", "Data file name =err.dat   * no runs, no columns\n#\n");
  const int second = tramel::program();
  std::filesystem::current_path(before);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(folder.read("tramel.out"), kBanner + " No. of data columns " + n11(0) + " < 1\n");
}

}  // namespace
}  // namespace tramel::control
