// Bad input, one table: every stop of the data reader, the analysis sequence and the fit, the
// allocation failures, and hostile files (empty, binary, huge lines, deep formats, counts at
// the 32-bit limit). Each case checks the exact message on its exact stream, the exit status,
// and that the report and the forecast file hold exactly what was written before the stop.
// (The driver's and the run settings' messages have their own table in tests/control.)
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

#include "data/data.hpp"
#include "run_program.hpp"
#include "tramel.hpp"

namespace tramel::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAbsent = "<absent>";

// ---- The inputs: one control file and one data file, varied per case ------------------------

struct Global {
  std::string runs = "1";
  std::string columns = "1";
  std::string name = "=sig.dat";
  std::string lags = "1";
};

const std::string kRunBlock =
    "Longest period = 12.0   Shortest period = 2.4   * band\n"
    "Resolution bandwidth = 12.0   * resolution\n"
    "% taper = 0.0   * taper\n"
    "Data start = 1   Data end = 0   * sample\n"
    "######## end of run block\n";

std::string control(const Global& g, const std::string& run_block = kRunBlock) {
  return "No. of runs = " + g.runs + "   No. of data/file = " + g.columns + "   * runs, columns\n" +
         "Data file name " + g.name + "   * data file\n" +
         "Coherence probability = 0.95   * threshold\n" +
         "No. of frames = 1   No. of lags = " + g.lags + "   * horizon, lags\n" +
         "Sampling unit =months   * unit\n" + "######## end of global block\n" + run_block;
}

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

std::string repeated(const std::string& record, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += record;
  return text;
}

// The same text with every line ended by a carriage return and a line feed.
std::string windows(const std::string& text) {
  std::string s;
  for (char c : text) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return s;
}

std::string data(const std::string& line2 = "600 1.0 (f8.3)", const std::string& records = kRecords,
                 const std::string& title = "Signal with noise") {
  return title + "\n" + line2 + "\n" + records;
}

// ---- The expected report, piece by piece ----------------------------------------------------

const std::string kBanner = "           Quorvane\n            Release 1.00\n";

std::string title(const std::string& t) {
  std::string line(80, ' ');
  line.replace(1, std::min<std::size_t>(t.size(), 79), t, 0, 79);
  return line + "\n";
}

const std::string kHead = kBanner + title("Signal with noise");

const std::string kRunHeader =
    "\n"
    "  First datum used        1  Last datum used     600  Sample size =      600\n"
    "============================================================\n"
    " Sampling interval =  1.00000     months \n"
    "\n"
    " Resolution Bandwidth =  12.00     months   No. Frames      50 . Frame Length     12\n"
    "\n"
    " Passband (    12.00       2.40 ) months \n"
    "\n"
    "       No. of frequencies in band      5\n"
    "\n"
    "       No. of frames forecasted =   1  VAR Lags =  1\n"
    "\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

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

const std::string kSignalStats =
    stats(" Mean =  -0.681E-02       Std Dev =    1.46    \n\n"
          " Skew = 0.143E-01    Kurtosis = -1.39        C(6) =     8.891\n",
          " Max value =    2.50           Min value =   -2.47    \n");

std::string read_error(int number, std::string fmt) {
  fmt.resize(50, ' ');
  char line[64];
  std::snprintf(line, sizeof line, " ** Error in read of data file  %11d\n", number);
  return line + (" Check format" + fmt + "\n");
}

const std::string kNoneSignificant =
    "       No frequencies have significant coherence probabilities\n";
const std::string kLineTwo =
    " Cannot read the number of data and the sampling rate on line 2 of the data file\n";
const std::string kClosing = " Version 10-14-2002\n Date & Time <masked>\n Elapsed time = <masked>\n";

// ---- Running a case ---------------------------------------------------------------------------

struct Outputs {
  int status = -1;
  std::string report, out, err, forecast;
};

// The program in a child process, in `folder`, with the work arrays limited to `limit` bytes.
Outcome run_in_process(const fs::path& folder, std::uint64_t limit) {
  const fs::path out_file = folder / ".stdout";
  const fs::path err_file = folder / ".stderr";
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(folder.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    data::set_memory_limit(limit);
    const int status = program();
    std::fflush(nullptr);
    _exit(status);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  Outcome o;
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  o.out = read_file(out_file);
  o.err = read_file(err_file);
  fs::remove(out_file);
  fs::remove(err_file);
  return o;
}

// The date and elapsed-time lines masked; everything else, error numbers included, as written.
std::string masked(const std::string& text) {
  std::string result;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    end = end == std::string::npos ? text.size() : end + 1;
    const std::string_view line(text.data() + from, end - from);
    if (line.starts_with(" Date & Time ")) {
      result += " Date & Time <masked>\n";
    } else if (line.starts_with(" Elapsed time = ")) {
      result += " Elapsed time = <masked>\n";
    } else {
      result += line;
    }
    from = end;
  }
  return result;
}

struct Case {
  const char* name;
  std::string cnl;
  std::string data;
  std::string report;                 // masked; kAbsent when there is none
  std::string out = "";               // masked
  std::string err = "";
  int status = 1;
  std::string forecast = "";          // the forecast file; kAbsent when it was never opened
  std::uint64_t memory_limit = 0;     // run in process with the work arrays limited
};

Outputs run(const std::string& cnl, const std::string& data_text, std::uint64_t memory_limit = 0) {
  TempFolder folder;
  write_file(folder.path() / "tramel.cnl", cnl);
  write_file(folder.path() / "sig.dat", data_text);
  const Outcome o =
      memory_limit ? run_in_process(folder.path(), memory_limit) : run_program(folder.path());
  const auto file = [&](const char* name) {
    const fs::path p = folder.path() / name;
    return fs::exists(p) ? read_file(p) : std::string(kAbsent);
  };
  return {o.status, masked(file("tramel.out")), masked(o.out), o.err, file("sig.forec")};
}

// The invocation the cases vary: it ends normally and forecasts one frame.
const Outputs& base() {
  static const Outputs b = run(control({}), data());
  return b;
}

// The base report up to (and without) the first line that starts with `marker`.
std::string base_report_before(const std::string& marker) {
  const std::string& r = base().report;
  const std::size_t at = r.find("\n" + marker);
  return at == std::string::npos ? r : r.substr(0, at + 1);
}

TEST(BadInput, BaseRunEndsNormally) {
  const Outputs& b = base();
  ASSERT_EQ(b.status, 0);
  EXPECT_EQ(b.report.substr(0, kHead.size() + kRunHeader.size() + kSignalStats.size()),
            kHead + kRunHeader + kSignalStats);
  EXPECT_EQ(b.forecast.substr(0, 21), "  1     1     -0.003\n");
  EXPECT_EQ(b.out, " Elapsed time = <masked>\n");
}

TEST(BadInput, Table) {
  const std::string binary = [] {
    std::string s;
    for (int k = 0; k < 768; ++k) s.push_back(static_cast<char>(k % 256));
    return s;
  }();
  const std::string binary_line = binary.substr(0, 10) + std::string(60, ' ') + "\n";
  const std::string base_report = base().report;
  const std::string base_forecast = base().forecast;
  const std::string run_one = base_report_before(" Version");
  const std::string series_one = kHead + kRunHeader + kSignalStats;
  const std::string time_block = "Longest period = 12.0   Shortest period = 2.0   * band\n"
                                 "Resolution bandwidth = 12.0   * resolution\n"
                                 "% taper = 0.0   * taper\nData start = 1   Data end = 0   * sample\n#\n";

  const Case cases[] = {
      // ---- the data reader
      {.name = "conversion error in record 11",
       .cnl = control({}),
       .data = data("600 1.0 (f8.3)", kRecords.substr(0, 90) + "  1.0x  \n" + kRecords),
       .report = kHead + kRunHeader + read_error(5010, "(f8.3)")},
      {.name = "format that does not compile",
       .cnl = control({}),
       .data = data("600 1.0 (f8.3,q)"),
       .report = kHead + kRunHeader + read_error(5006, "(f8.3,q)")},
      {.name = "end of file: the missing data are zero and the run goes on",
       .cnl = control({}),
       .data = data("600 1.0 (f8.3)", kRecords.substr(0, 9 * 590)),
       .report = kHead + kRunHeader + " **** eof in read from data file \n i =          591\n",
       .out = " Elapsed time = <masked>\n",
       .status = 0,
       .forecast = "<any>"},
      // ---- the analysis sequence and the fit
      {.name = "no significant frequency: a constant series",
       .cnl = control({}),
       .data = data("600 1.0 (f8.3)", repeated("   1.000\n", 600)),
       .report = kHead + kRunHeader + " Variance in STAT = 0 & is set = 1.\n" +
                 stats(" Mean =    1.00           Std Dev =    1.00    \n\n"
                       " Skew =  0.00        Kurtosis =  0.00        C(6) =     0.000\n",
                       " Max value =    1.00           Min value =    1.00    \n") +
                 kNoneSignificant},
      {.name = "VAR size 4*1*1*16 = 64 > 600/10",
       .cnl = control({.lags = "16"}),
       .data = data(),
       .report = replaced(series_one, "VAR Lags =  1", "VAR Lags = 16") +
                 " Sample size     600 is not large enough for the dimension of the VAR     64\n"
                 " Increase the coherence prob. threshold  0.950\n"},
      {.name = "VAR size of 9999999 lags: asterisks",
       .cnl = control({.lags = "9999999"}),
       .data = data(),
       .report = replaced(series_one, "VAR Lags =  1", "VAR Lags = **") +
                 " Sample size     600 is not large enough for the dimension of the VAR ******\n"
                 " Increase the coherence prob. threshold  0.950\n"},
      {.name = "fit fails: a variable zero in every frame",
       .cnl = control({}, time_block),
       .data = data("600 1.0 (f8.3)", nyquist_records()),
       .report = kHead +
                 replaced(replaced(kRunHeader, "2.40 )", "2.00 )"), "band      5", "band      6") +
                 stats(" Mean =   0.172E-03       Std Dev =    2.00    \n\n"
                       " Skew =-0.756E-05    Kurtosis = -2.00        C(6) =    15.985\n",
                       " Max value =    2.10           Min value =   -2.10    \n") +
                 " DCHOLDC failed, A is not positive definite\n"
                 " Error in subroutine var ier =            1\n"},
      {.name = "the second run stops: the first run's report and forecast stay whole",
       .cnl = control({.runs = "2"}),
       .data = data(),
       .report = run_one + " Control file ended inside the block of run            2\n",
       .forecast = base_forecast},
      // ---- allocation failures (the work arrays of this run take 12976 bytes)
      {.name = "work arrays beyond the memory",
       .cnl = control({}),
       .data = data(),
       .report = kHead + kRunHeader + " Unable to allocate work space for arrays\n",
       .memory_limit = 12975},
      {.name = "label array beyond the memory",
       .cnl = control({}),
       .data = data("600 1.0 (f8.3,a)"),
       .report = kHead + kRunHeader + " Unable to allocate work space for array t\n",
       .memory_limit = 12976 + 600 * 25 - 1},
      {.name = "VAR arrays beyond the memory",
       .cnl = control({}),
       .data = data(),
       .report = series_one + " Unable to allocate work space for array y & c\n"
                              " m =            1 m*m*p =            4\n",
       .memory_limit = 12976 + 4 * 12 - 1},
      {.name = "VAR arrays just fit",
       .cnl = control({}),
       .data = data(),
       .report = base_report,
       .out = " Elapsed time = <masked>\n",
       .status = 0,
       .forecast = base_forecast,
       .memory_limit = 12976 + 4 * 12},
      {.name = "M in the millions",
       .cnl = control({.columns = "9999999"}),
       .data = data(),
       .report = kHead + kRunHeader + " Unable to allocate work space for arrays\n"},
      {.name = "N at the 32-bit limit, 100 columns: terabytes",
       .cnl = control({.columns = "100"}),
       .data = data("2147483647 1.0 (f8.3)"),
       .report = kHead +
                 replaced(replaced(kRunHeader, "used     600  Sample size =      600",
                                   "used********  Sample size = ********"),
                          "Frames      50", "Frames *******") +
                 " Unable to allocate work space for arrays\n"},
      // ---- hostile control files
      {.name = "empty control file",
       .cnl = "",
       .data = data(),
       .report = kBanner + " Control file ended inside the global block\n",
       .forecast = kAbsent},
      {.name = "control file of binary garbage",
       .cnl = binary,
       .data = data(),
       .report = kBanner + " Place comment marker * after parameters for top readon ostrel.cnl\n" +
                 binary_line,
       .forecast = kAbsent},
      {.name = "control file of one line of a megabyte",
       .cnl = std::string(1 << 20, 'x') + "*\n",
       .data = data(),
       .report = kBanner + " Place comment marker * after parameters for top readon ostrel.cnl\n" +
                 std::string(70, 'x') + "\n",
       .forecast = kAbsent},
      {.name = "NUL byte in the data file name",
       .cnl = control({.name = std::string("=sig\0.dat", 9)}),
       .data = data(),
       .report = kBanner + " Input file sig" + std::string(1, '\0') + ".dat   does not exist as named\n",
       .forecast = kAbsent},
      {.name = "NUL bytes after the comment markers: no effect",
       .cnl = replaced(replaced(control({}), "* threshold", std::string("* \0\0\0", 5)), "* taper",
                       std::string("*\0", 2)),
       .data = data(),
       .report = base_report,
       .out = " Elapsed time = <masked>\n",
       .status = 0,
       .forecast = base_forecast},
      {.name = "the control file named as the data file",
       .cnl = control({.name = "=tramel.cnl"}),
       .data = data(),
       .report = kBanner + title(control({}).substr(0, control({}).find('\n'))),
       .err = kLineTwo,
       .forecast = kAbsent},
      // ---- hostile data files
      {.name = "data file of binary garbage",
       .cnl = control({}),
       .data = binary,
       .report = kBanner + " " + binary.substr(0, 10) + std::string(69, ' ') + "\n",
       .err = kLineTwo,
       .forecast = kAbsent},
      {.name = "title line of 10 MB",
       .cnl = control({}),
       .data = data("600 1.0 (f8.3)", kRecords, std::string(10 << 20, 'T')),
       .report = replaced(base_report, title("Signal with noise"), title(std::string(79, 'T'))),
       .out = " Elapsed time = <masked>\n",
       .status = 0,
       .forecast = base_forecast},
      {.name = "data record of 10 MB",
       .cnl = control({}),
       .data = data("600 1.0 (f8.3)",
                    kRecords.substr(0, 8) + std::string(10 << 20, '7') + kRecords.substr(8)),
       .report = base_report,
       .out = " Elapsed time = <masked>\n",
       .status = 0,
       .forecast = base_forecast},
      {.name = "format of 1000 nested groups",
       .cnl = control({}),
       .data = data("600 1.0 " + std::string(1000, '(') + "f8.3" + std::string(1000, ')') + " "),
       .report = kHead,
       .err = " Format on second line of data file is incorrect\n",
       .forecast = kAbsent},
      {.name = "format of 20 nested groups, cut at its third parenthesis",
       .cnl = control({}),
       .data = data("600 1.0 " + std::string(20, '(') + "f8.3" + std::string(20, ')') + " "),
       .report = kHead + kRunHeader + read_error(5006, std::string(20, '(') + "f8.3)))")},
      {.name = "repeat count 2147483647: every value from the first record",
       .cnl = control({}),
       .data = data("600 1.0 (2147483647f8.3)"),
       .report = kHead + kRunHeader +
                 stats(" Mean =   0.258E-03       Std Dev =   0.633E-02\n\n"
                       " Skew =  24.4        Kurtosis =  593.        C(6) =341564.594\n",
                       " Max value =   0.155           Min value =    0.00    \n",
                       "(2147483647f8.3)") +
                 kNoneSignificant},
      {.name = "repeat count 2147483648",
       .cnl = control({}),
       .data = data("600 1.0 (2147483648f8.3)"),
       .report = kHead + kRunHeader + read_error(5006, "(2147483648f8.3)")},
      {.name = "N beyond the 32-bit range",
       .cnl = control({}),
       .data = data("2147483648 1.0 (f8.3)"),
       .report = kHead,
       .err = kLineTwo,
       .forecast = kAbsent},
      {.name = "N negative",
       .cnl = control({}),
       .data = data("-5 1.0 (f8.3)"),
       .report = kHead + " IE            0 > N in data file          -5\n"},
      {.name = "rate beyond single precision",
       .cnl = control({}),
       .data = data("600 1e39 (f8.3)"),
       .report = kHead,
       .err = " Sampling rate/interval          Infinity is not positive\n",
       .forecast = kAbsent},
      {.name = "Windows line ends in both files: no effect",
       .cnl = windows(control({})),
       .data = windows(data()),
       .report = base_report,
       .out = " Elapsed time = <masked>\n",
       .status = 0,
       .forecast = base_forecast},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outputs o = run(c.cnl, c.data, c.memory_limit);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, c.err);
    if (c.status == 0) {  // a run that ends normally: the report goes on to the closing lines
      EXPECT_EQ(o.report.substr(0, c.report.size()), c.report);
      EXPECT_EQ(o.report.substr(o.report.size() - std::min(o.report.size(), kClosing.size())),
                kClosing);
    } else {
      EXPECT_EQ(o.report, c.report);
    }
    if (c.forecast != "<any>") {
      EXPECT_EQ(o.forecast, c.forecast);
    }
  }
}

}  // namespace
}  // namespace tramel::testing
