// Bad input, one table: every stop of the data reader, the analysis sequence and the fit, the
// allocation failures, and hostile files (empty, binary, huge lines, deep formats, counts at
// the 32-bit limit). Each case checks the exact message on its exact stream, the exit status,
// and that the report and the forecast file hold exactly what was written before the stop.
// (The driver's and the run settings' messages have their own table in tests/program.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <string>

#include "run_program.hpp"

namespace tramel::testing {
namespace {

std::string f83(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%8.3f\n", v);
  return buf;
}

// 600 records: a sine of period 12 (bin 1 of a 12-sample frame) plus uniform noise.
std::string signal_records() {
  std::string text;
  std::uint64_t seed = 12345;
  for (int i = 0; i < 600; ++i) {
    seed = (seed * 1103515245 + 12345) % 2147483648u;
    text += f83(2.0 * std::sin(2.0 * std::numbers::pi * i / 12.0) +
                (static_cast<double>(seed) / 2147483648.0 - 0.5));
  }
  return text;
}

// An alternation at half the sampling rate, the only bin in the band whose imaginary part is
// zero in every frame, so the normal matrix of the fit is singular.
std::string nyquist_records() {
  std::string text;
  for (int i = 0; i < 600; ++i) text += f83((i % 2 ? -2.0 : 2.0) + std::sin(i * 0.7) * 0.1);
  return text;
}

const std::string kRecords = signal_records();

// `count` records of a sine of period `period` plus a little uniform noise.
std::string tone_records(int count, int period) {
  std::string text;
  std::uint64_t seed = 777;
  for (int i = 0; i < count; ++i) {
    seed = (seed * 1103515245 + 12345) % 2147483648u;
    text += f83(3.0 * std::sin(2.0 * std::numbers::pi * i / period) +
                0.5 * (static_cast<double>(seed) / 2147483648.0 - 0.5));
  }
  return text;
}

std::string data(const std::string& line2 = "600 1.0 (f8.3)", const std::string& records = kRecords,
                 const std::string& title = "Signal with noise") {
  return title + "\n" + line2 + "\n" + records;
}

// The same text with every line ended by a carriage return and a line feed.
std::string windows(const std::string& text) {
  std::string s;
  for (char c : text) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return s;
}

// ---- The expected report, piece by piece ----------------------------------------------------

const std::string kHead = kBanner + title_line("Signal with noise");

std::string stats(const std::string& moments, const std::string& extremes,
                  const std::string& fmt = "(f8.3)") {
  std::string format_line = " Format: " + fmt;
  format_line.resize(59, ' ');
  return "  =========================================================\n"
         "              Descriptive Statistics of Data\n"
         "  =========================================================\n"
         "\n" + moments + "\n" + extremes + "\n" + format_line + "\n" +
         "  #########################################################\n";
}

const std::string kSeriesOne =
    kHead + kTimeRunHeader +
    stats(" Mean =  -0.681E-02       Std Dev =    1.46    \n\n"
          " Skew = 0.143E-01    Kurtosis = -1.39        C(6) =     8.891\n",
          " Max value =    2.50           Min value =   -2.47    \n");

const std::string kNoneSignificant =
    "       No frequencies have significant coherence probabilities\n";
const std::string kLineTwo =
    " Cannot read the number of data and the sampling rate on line 2 of the data file\n";
const std::string kElapsed = " Elapsed time = <masked>\n";

// The invocation the cases vary: it ends normally and forecasts one frame.
struct Base {
  std::string report, forecast;
};

const Base& base() {
  static const Base b = [] {
    TempFolder folder;
    folder.write("tramel.cnl", global_block() + run_block());
    folder.write("err.dat", data());
    const Outcome o = run_program(folder.path());
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(mask_run_lines(o.out), kElapsed);
    return Base{mask_run_lines(o.report, false), folder.read("err.forec")};
  }();
  return b;
}

TEST(BadInput, BaseRunEndsNormally) {
  EXPECT_EQ(base().report.substr(0, kSeriesOne.size()), kSeriesOne);
  EXPECT_EQ(base().forecast.substr(0, 21), "  1     1     -0.003\n");
}

TEST(BadInput, EachBadInputStopsWithItsLinesStreamsAndExitStatus) {
  const std::string binary = [] {
    std::string s;
    for (int k = 0; k < 768; ++k) s.push_back(static_cast<char>(k % 256));
    return s;
  }();
  // The first 10 bytes of a line of it as the report shows them: NUL characters never reach
  // the report, so the first byte is left out.
  const std::string shown = binary.substr(1, 9);
  const std::string binary_line = shown + std::string(60, ' ') + "\n";
  const std::string cnl = global_block() + run_block();
  const std::string& base_report = base().report;
  const std::string& base_forecast = base().forecast;
  const std::string run_one = base_report.substr(0, base_report.find("\n Version") + 1);
  const std::string marker = " Place comment marker * after parameters for top readon ostrel.cnl\n";

  const Case cases[] = {
      // ---- the data reader
      {.name = "conversion error in record 11",
       .cnl = cnl,
       .data = data("600 1.0 (f8.3)", kRecords.substr(0, 90) + "  1.0x  \n" + kRecords),
       .report = kHead + kTimeRunHeader + read_error(5010, "(f8.3)")},
      {.name = "format that does not compile",
       .cnl = cnl,
       .data = data("600 1.0 (f8.3,q)"),
       .report = kHead + kTimeRunHeader + read_error(5006, "(f8.3,q)")},
      // ---- the analysis sequence and the fit
      {.name = "no significant frequency: a constant series",
       .cnl = cnl,
       .data = data("600 1.0 (f8.3)", [] {
         std::string ones;
         for (int i = 0; i < 600; ++i) ones += "   1.000\n";
         return ones;
       }()),
       .report = kHead + kTimeRunHeader + " Variance in STAT = 0 & is set = 1.\n" +
                 stats(" Mean =    1.00           Std Dev =    1.00    \n\n"
                       " Skew =  0.00        Kurtosis =  0.00        C(6) =     0.000\n",
                       " Max value =    1.00           Min value =    1.00    \n") +
                 kNoneSignificant},
      {.name = "VAR size 4*1*1*16 = 64 > 600/10",
       .cnl = global_block({.lags = "16"}) + run_block(),
       .report = replaced(kSeriesOne, "VAR Lags =  1", "VAR Lags = 16") +
                 " Sample size     600 is not large enough for the dimension of the VAR     64\n"
                 " Increase the coherence prob. threshold  0.950\n"},
      {.name = "VAR size of 9999999 lags: asterisks",
       .cnl = global_block({.lags = "9999999"}) + run_block(),
       .report = replaced(kSeriesOne, "VAR Lags =  1", "VAR Lags = **") +
                 " Sample size     600 is not large enough for the dimension of the VAR ******\n"
                 " Increase the coherence prob. threshold  0.950\n"},
      {.name = "fit fails: a variable zero in every frame",
       .cnl = global_block() + run_block({.band = "Longest period = 12.0   Shortest period = 2.0"}),
       .data = data("600 1.0 (f8.3)", nyquist_records()),
       .report = kHead +
                 replaced(replaced(kTimeRunHeader, "2.40 )", "2.00 )"), "band      5", "band      6") +
                 stats(" Mean =   0.172E-03       Std Dev =    2.00    \n\n"
                       " Skew =-0.756E-05    Kurtosis = -2.00        C(6) =    15.985\n",
                       " Max value =    2.10           Min value =   -2.10    \n") +
                 " DCHOLDC failed, A is not positive definite\n"
                 " Error in subroutine var ier =            1\n"},
      {.name = "the second run stops: the first run's report and forecast stay whole",
       .cnl = global_block({.runs = "2"}) + run_block(),
       .report = run_one + " Control file ended inside the block of run            2\n",
       .forecast = base_forecast},
      // ---- allocation failures: the stores of this run take 7472 bytes (the sample, the
      // forecast frames, one series and its work), the labels 600 * 25, the VAR of one bin
      // 2128 (its frame coefficients, normal matrix, coefficients, errors and squared residuals)
      {.name = "work arrays beyond the memory",
       .cnl = cnl,
       .report = kHead + kTimeRunHeader + " Unable to allocate work space for arrays\n",
       .memory_limit = 7471},
      {.name = "label array beyond the memory",
       .cnl = cnl,
       .data = data("600 1.0 (f8.3,a)"),
       .report = kHead + kTimeRunHeader + " Unable to allocate work space for array t\n",
       .memory_limit = 7472 + 600 * 25 - 1},
      {.name = "VAR arrays beyond the memory",
       .cnl = cnl,
       .report = kSeriesOne + " Unable to allocate work space for array y & c\n"
                              " m =            1 m*m*p =            4\n",
       .memory_limit = 7472 + 2128 - 1},
      {.name = "VAR arrays just fit",
       .cnl = cnl,
       .report = base_report,
       .out = kElapsed,
       .status = 0,
       .forecast = base_forecast,
       .memory_limit = 7472 + 2128},
      {.name = "M in the millions, 6000 data: hundreds of gigabytes",
       .cnl = global_block({.columns = "9999999"}) + run_block(),
       .data = data("6000 1.0 (f8.3)"),
       .report = kHead +
                 replaced(replaced(kTimeRunHeader, "used     600  Sample size =      600",
                                   "used    6000  Sample size =     6000"),
                          "Frames      50", "Frames     500") +
                 " Unable to allocate work space for arrays\n"},
      {.name = "N at the 32-bit limit, 100 columns: terabytes",
       .cnl = global_block({.columns = "100"}) + run_block(),
       .data = data("2147483647 1.0 (f8.3)"),
       .report = kHead +
                 replaced(replaced(kTimeRunHeader, "used     600  Sample size =      600",
                                   "used********  Sample size = ********"),
                          "Frames      50", "Frames *******") +
                 " Unable to allocate work space for arrays\n"},
      // ---- hostile control files
      {.name = "empty control file",
       .cnl = "",
       .report = kBanner + " Control file ended inside the global block\n",
       .forecast = "<absent>"},
      {.name = "control file of binary garbage",
       .cnl = binary,
       .report = kBanner + marker + binary_line,
       .forecast = "<absent>"},
      {.name = "control file of one line of a megabyte",
       .cnl = std::string(1 << 20, 'x') + "*\n",
       .report = kBanner + marker + std::string(70, 'x') + "\n",
       .forecast = "<absent>"},
      {.name = "NUL byte in the data file name",
       .cnl = global_block({.name = std::string("=err\0.dat", 9)}) + run_block(),
       // No NUL character reaches the report: the name is shown without it.
       .report = kBanner + " Input file err.dat   does not exist as named\n",
       .forecast = "<absent>"},
      {.name = "NUL bytes after the comment markers: no effect",
       .cnl = replaced(replaced(cnl, "* threshold", std::string("* \0\0\0", 5)), "* unit",
                       std::string("*\0", 2)),
       .report = base_report,
       .out = kElapsed,
       .status = 0,
       .forecast = base_forecast},
      {.name = "the control file named as the data file",
       .cnl = global_block({.name = "=tramel.cnl"}) + run_block(),
       .report = kBanner + title_line(cnl.substr(0, cnl.find('\n'))),
       .err = kLineTwo,
       .forecast = "<absent>"},
      // ---- hostile data files
      {.name = "data file of binary garbage",
       .cnl = cnl,
       .data = binary,
       .report = kBanner + " " + shown + std::string(69, ' ') + "\n",
       .err = kLineTwo,
       .forecast = "<absent>"},
      {.name = "title line of 10 MB",
       .cnl = cnl,
       .data = data("600 1.0 (f8.3)", kRecords, std::string(10 << 20, 'T')),
       .report = replaced(base_report, title_line("Signal with noise"), title_line(std::string(79, 'T'))),
       .out = kElapsed,
       .status = 0,
       .forecast = base_forecast},
      {.name = "data record of 10 MB",
       .cnl = cnl,
       .data = data("600 1.0 (f8.3)", kRecords.substr(0, 8) + std::string(10 << 20, '7') + kRecords.substr(8)),
       .report = base_report,
       .out = kElapsed,
       .status = 0,
       .forecast = base_forecast},
      {.name = "format of 1000 nested groups",
       .cnl = cnl,
       .data = data("600 1.0 " + std::string(1000, '(') + "f8.3" + std::string(1000, ')') + " "),
       .report = kHead,
       .err = " Format on second line of data file is incorrect\n",
       .forecast = "<absent>"},
      {.name = "format of 20 nested groups, cut at its third parenthesis",
       .cnl = cnl,
       .data = data("600 1.0 " + std::string(20, '(') + "f8.3" + std::string(20, ')') + " "),
       .report = kHead + kTimeRunHeader + read_error(5006, std::string(20, '(') + "f8.3)))")},
      {.name = "repeat count 2147483647: every value from the first record",
       .cnl = cnl,
       .data = data("600 1.0 (2147483647f8.3)"),
       .report = kHead + kTimeRunHeader +
                 stats(" Mean =   0.258E-03       Std Dev =   0.633E-02\n\n"
                       " Skew =  24.4        Kurtosis =  593.        C(6) =341564.594\n",
                       " Max value =   0.155           Min value =    0.00    \n",
                       "(2147483647f8.3)") +
                 kNoneSignificant},
      {.name = "repeat count 2147483648",
       .cnl = cnl,
       .data = data("600 1.0 (2147483648f8.3)"),
       .report = kHead + kTimeRunHeader + read_error(5006, "(2147483648f8.3)")},
      {.name = "N beyond the 32-bit range",
       .cnl = cnl,
       .data = data("2147483648 1.0 (f8.3)"),
       .report = kHead,
       .err = kLineTwo,
       .forecast = "<absent>"},
      {.name = "N negative",
       .cnl = cnl,
       .data = data("-5 1.0 (f8.3)"),
       .report = kHead + " IE            0 > N in data file          -5\n"},
      {.name = "rate beyond single precision",
       .cnl = cnl,
       .data = data("600 1e39 (f8.3)"),
       .report = kHead,
       .err = " Sampling rate/interval          Infinity is not positive\n",
       .forecast = "<absent>"},
      {.name = "Windows line ends in both files: no effect",
       .cnl = windows(cnl),
       .data = windows(data()),
       .report = base_report,
       .out = kElapsed,
       .status = 0,
       .forecast = base_forecast},
  };
  for (const Case& c : cases) check(c, data());
}

// The mistakes a new user makes, each said on the console in a line that begins "tramel: ":
// the exact lines, the exit status, and a report that is the report of the same run without
// the console lines. Under --strict a completed run with warnings exits 3.
TEST(BadInput, ConsoleNamesTheLineAndTheCauseOfEveryStopAndFallback) {
  const std::string cnl = global_block() + run_block();
  const std::string warning = "tramel: warning: ";
  const std::string& base_report = base().report;
  const std::string short_data = data("600 1.0 (f8.3)", kRecords.substr(0, 500 * 9));
  std::string bad_record = kRecords;
  bad_record.replace(6 * 9, 8, "  4x.2  ");
  const Case cases[] = {
      {.name = "a data file shorter than its count",
       .cnl = cnl,
       .data = short_data,
       .report = kHead + kTimeRunHeader + " **** eof in read from data file \n i =          501\n",
       .out = kElapsed,
       .status = 0,
       .diagnostics = warning + "err.dat ends before datum 600, the last that run 1 reads: the "
                                "last datum read is 500, and 100 values were set to zero (\"**** "
                                "eof in read from data file\"); give the true number of data on "
                                "line 2 of the data file, or a smaller Data end\n"},
      {.name = "the same under --strict",
       .cnl = cnl,
       .data = short_data,
       .report = kHead + kTimeRunHeader + " **** eof in read from data file \n i =          501\n",
       .out = kElapsed,
       .status = 3,
       .arguments = {"--strict"}},
      {.name = "a label without its keyword",
       .cnl = replaced(cnl, "No. of data/file = 1", "Number of series = 1"),
       .report = base_report,
       .out = kElapsed,
       .status = 0,
       .forecast = base().forecast,
       .diagnostics = warning + "the global block (tramel.cnl lines 1-6): no setting \"ta/file\" "
                                "(No. of data/file) is there; the value used instead is 1, the "
                                "last integer read before it (0 when there was none)\n"},
      {.name = "an integer where a real is wanted",
       .cnl = replaced(cnl, "Coherence probability = 0.95", "Coherence probability = 1"),
       .report = kHead,
       .err = " Coherence threshold   -77236.3125     is out in unit interval\n",
       .diagnostics = warning + "tramel.cnl line 3: the value \"1\" of \"bility\" (Coherence "
                                "probability) needs a decimal point (write 1.0); it was read as "
                                "-77236.31\n"
                                "tramel: tramel.cnl line 3: Coherence threshold -77236.31 is out in "
                                "unit interval: it must be at least 0 and below 1: the value "
                                "-77236.31 was read from \"1\", which has no "
                                "decimal point: the reader took the next point further on in the "
                                "block (see the warning above)\n"},
      {.name = "a tab before a comment: the value runs into the next line",
       .cnl = replaced(cnl, "No. of lags = 1   * horizon, lags", "No. of lags = 1\t* horizon, lags"),
       .report = base_report,
       .out = kElapsed,
       .err = " The number 1\tSampling unit =months    > 999999\n",
       .status = 0,
       .forecast = base().forecast,
       .diagnostics = warning + "tramel.cnl line 4 has a tab before its comment marker: tabs are "
                                "not blanks to the keyword reader (use blanks to line up the "
                                "comments)\n" +
                      warning + "tramel.cnl line 4: the value \"1\tSampling\" of \"ags\" (No. of "
                                "lags) is not an integer of 1 to 7 characters followed by a "
                                "blank; the value used instead is 1, the last integer read before "
                                "it (0 when there was none)\n"},
      // A stop that checks a value the readers fell back on says why the value is what it is,
      // and leaves out the advice that cannot help.
      {.name = "a stop on a fallback: the bandwidth's label in another letter case",
       .cnl = global_block() + run_block({.bw = "Resolution bandwidth = 7"}),
       .report = kHead +
                 " The number 7   % taper = 0.0   Data start = 1   Data end = 0    > 9,999,999\n"
                 " Resolution bandwidth < 0\n",
       .diagnostics = warning + "run 1 (tramel.cnl lines 7-11): no setting \"ion Bandwidth\" "
                                "(Resolution Bandwidth) is there; line 8 has \"Resolution "
                                "bandwidth\"; the keyword is \"ion Bandwidth\" of \"Resolution "
                                "Bandwidth\" (capital B); letter case matters; the value used "
                                "instead is 0, the last real read before it (0 when there was none)\n"
                                "tramel: Resolution bandwidth < 0: the value 0 is a fallback, "
                                "because the setting \"ion Bandwidth\" was not found on tramel.cnl "
                                "lines 7-11 (see the warning above)\n"},
      // The lags fall back on the horizon, 8 frames: 4 m^2 p = 32 is above 200 / 10. The advice
      // to raise the threshold is not repeated on the console.
      {.name = "a stop on a fallback: the lags' label misspelt",
       .cnl = replaced(global_block({.frames = "8", .lags = "2"}), "No. of lags", "No. of legs") +
              run_block({.range = "Data start = 1   Data end = 200"}),
       .report = kHead +
                 replaced(replaced(replaced(replaced(kTimeRunHeader, "600  Sample size =      600",
                                                     "200  Sample size =      200"),
                                            "Frames      50", "Frames      16"),
                                   "forecasted =   1  VAR Lags =  1", "forecasted =   8  VAR Lags =  8"),
                          "Last datum used     600", "Last datum used     200") +
                 stats(" Mean =   0.345E-01       Std Dev =    1.47    \n\n"
                       " Skew =-0.428E-01    Kurtosis = -1.37        C(6) =     8.710\n",
                       " Max value =    2.49           Min value =   -2.47    \n") +
                 " Sample size     200 is not large enough for the dimension of the VAR     32\n"
                 " Increase the coherence prob. threshold  0.950\n",
       .diagnostics = warning + "the global block (tramel.cnl lines 1-6): no setting \"ags\" (No. "
                                "of lags) is there; line 4 has \"No. of legs\"; the label is \"No. "
                                "of lags\" (1 letter differs), whose keyword \"ags\" must stand in "
                                "it as written; the value used instead is 8, the last integer read "
                                "before it (0 when there was none)\n"
                                "tramel: Sample size     200 is not large enough for the dimension "
                                "of the VAR     32: the value 8 is a fallback, because the setting "
                                "\"ags\" was not found on tramel.cnl lines 1-6 (see the warning "
                                "above)\n"},
      {.name = "a stop on a value read through a tab",
       .cnl = replaced(global_block({.lags = "2"}), "No. of lags = 2   *", "No. of lags = 2\t   *") +
              run_block(),
       .report = kHead,
       .err = " No. of lags          -19 < 1\n",
       .diagnostics = warning + "tramel.cnl line 4 has a tab before its comment marker: tabs are "
                                "not blanks to the keyword reader (use blanks to line up the "
                                "comments)\n" +
                      warning + "tramel.cnl line 4: the value \"2\t\" of \"ags\" (No. of lags) "
                                "is not written in digits; it was read as -19\n"
                                "tramel: tramel.cnl line 4: No. of lags -19 < 1: the VAR needs 1 lag "
                                "or more: the value -19 was read "
                                "through a tab: tramel.cnl line 4 has a tab before its comment "
                                "marker, which the reader takes as part of the value (see the "
                                "warning above)\n"},
      // Seven frames of 200 against 2 bins at 2 lags: 8 regressors per equation.
      {.name = "a fit without residual degrees of freedom",
       .cnl = global_block({.prob = "0.9999", .lags = "2"}) +
              run_block({.band = "Longest period = 200.0   Shortest period = 2.5",
                         .bw = "Resolution bandwidth = 200.0"}),
       .data = data("1400 1.0 (f8.3)", tone_records(1400, 200)),
       .report = kHead,
       .out = kElapsed,
       .status = 0,
       .diagnostics = warning + "run 1, series 1: the fit has -1 residual degrees of freedom "
                                "(fewer frames than its regressors need): its standard errors and "
                                "t values are not numbers or infinite, so neither they nor the t "
                                "rule of the forecast mean anything; use fewer lags, a higher "
                                "threshold or more data\n"},
      {.name = "a record that cannot be read",
       .cnl = cnl,
       .data = data("600 1.0 (f8.3)", bad_record),
       .report = kHead + kTimeRunHeader + read_error(5010, "(f8.3)"),
       .diagnostics = "tramel: err.dat line 9: \"  4x.2  \" is not a number for f8.3 (columns 1-8)\n"},
      {.name = "a blank line in a run block",
       .cnl = global_block() + "Longest period = 12.0   Shortest period = 2.4   * run\n\n",
       .report = kHead + " Place comment marker * after parameters on ostrel.cnl\n" +
                 std::string(70, ' ') + "\n",
       .diagnostics = "tramel: Place comment marker * after parameters on tramel.cnl line 8\n"},
      {.name = "no data file",
       .cnl = global_block({.name = "=none.dat"}) + run_block(),
       .report = kBanner + " Input file none.dat   does not exist as named\n",
       .forecast = "<absent>",
       .diagnostics = "tramel: the data file none.dat (the global block's Data file name) is not "
                      "in the folder <folder>\n"},
      {.name = "a report that cannot be written whole: a full disk is no success",
       .cnl = cnl,
       .report = "<absent>",
       .out = kElapsed,
       .setup = [](const TempFolder& f) {
         std::filesystem::create_symlink("/dev/full", f.path() / "tramel.out");
       },
       .diagnostics = "tramel: cannot write tramel.out: No space left on device\n"},
      {.name = "no control file",
       .cnl = "",
       .report = "<absent>",
       .out = " **** Error on opening control file 1            2\n",
       .forecast = "<absent>",
       .setup = [](const TempFolder& f) { std::filesystem::remove(f.path() / "tramel.cnl"); },
       .diagnostics = "tramel: cannot open the control file tramel.cnl in <folder>: No such file "
                      "or directory (tramel --help says what the folder must hold)\n"},
  };
  for (const Case& c : cases) check(c, data());
}

}  // namespace
}  // namespace tramel::testing
