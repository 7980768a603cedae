// CSV data as a user brings them: the same data as CSV and in the two-line layout give the same
// report, forecast file and JSON apart from the names and the title; the errors of a table on the
// console; tramel init and a run, the two commands, on the shipped CSV example and on the data
// of every example.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace tramel::testing {
namespace {

namespace fs = std::filesystem;
#ifdef TRAMEL_NO_PLOTS
constexpr const char* kPlot = "";
#else
constexpr const char* kPlot = " --plot";
#endif

// nottem's values as CSV with a date column: the header "date,temperature", 1920-01 on.
std::string nottem_csv(int bad_row = 0) {
  const std::vector<std::string> records = lines(read_file(kExamples / "nottem" / "nottem.dat"));
  std::string csv = "date,temperature\n";
  for (std::size_t i = 2; i < records.size(); ++i) {
    const int k = static_cast<int>(i) - 2;
    char date[16];
    std::snprintf(date, sizeof date, "%d-%02d", 1920 + k / 12, k % 12 + 1);
    std::string value = records[i];
    value.erase(0, value.find_first_not_of(' '));
    csv += std::string(date) + "," + (k + 1 == bad_row ? "NA" : value) + "\n";
  }
  return csv;
}

// The lines that differ between two texts, as "line: first | second".
std::vector<std::string> differences(const std::string& a, const std::string& b) {
  const std::vector<std::string> x = lines(a), y = lines(b);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
    const std::string l = i < x.size() ? x[i] : "<none>", r = i < y.size() ? y[i] : "<none>";
    if (l != r) out.push_back(l + " | " + r);
  }
  return out;
}

TEST(CsvData, SameAnalysisAsTheTwoLineLayout) {
  const std::string cnl = read_file(kExamples / "nottem" / "tramel.cnl");
  TempFolder layout, csv;
  layout.write("tramel.cnl", cnl);
  layout.write("nottem.dat", read_file(kExamples / "nottem" / "nottem.dat"));
  csv.write("tramel.cnl", replaced(cnl, "=nottem.dat ", "=nottem.csv "));
  csv.write("nottem.csv", nottem_csv());
  const Outcome a = run_program(layout.path(), 0, {"--json"});
  // CSV data run auto by default: asked for the specified model, the same analysis.
  const Outcome b = run_program(csv.path(), 0, {"--json", "--model", "as-specified"});
  ASSERT_EQ(a.status, 0);
  ASSERT_EQ(b.status, 0) << b.diagnostics;
  EXPECT_EQ(b.diagnostics, "");
  // The report: the title (the file's name) and the format line alone differ.
  const std::vector<std::string> report =
      differences(mask_run_lines(a.report), mask_run_lines(b.report));
  ASSERT_EQ(report.size(), 2u);
  EXPECT_NE(report[0].find(" nottem.csv  "), std::string::npos) << report[0];
  EXPECT_NE(report[1].find(" Format: CSV, 1 column, a time column every 1 month"), std::string::npos)
      << report[1];
  EXPECT_EQ(layout.read("nottem.forec"), csv.read("nottem.forec"));
  // The JSON: the file, the title and the series' name.
  const std::vector<std::string> json = differences(layout.read("tramel.json"), csv.read("tramel.json"));
  ASSERT_EQ(json.size(), 3u);
  EXPECT_NE(json[0].find("\"data_file\": \"nottem.csv\""), std::string::npos);
  EXPECT_NE(json[1].find("\"title\": \"nottem.csv\""), std::string::npos);
  EXPECT_NE(json[2].find("\"name\": \"temperature\""), std::string::npos);
  // CSV data get the forecast as CSV too, its time stamps after the last whole frame.
  const std::vector<std::string> rows = lines(csv.read("nottem.forecast.csv"));
  ASSERT_EQ(rows.size(), 25u);
  EXPECT_EQ(rows[0], "run,frame,position,date,temperature");
  EXPECT_EQ(rows[1].substr(0, 14), "1,1,1,1938-01,");
  EXPECT_EQ(rows[24].substr(0, 15), "1,2,12,1939-12,");
  EXPECT_EQ(layout.read("nottem.forecast.csv"), "<absent>");  // only when asked for
}

TEST(CsvData, ErrorsNameTheirLineAndColumn) {
  const std::string cnl = read_file(kExamples / "nottem" / "tramel.cnl");
  const struct {
    const char* name;
    std::string data;
    std::string cnl;
    std::vector<std::string> arguments;
    int status;
    std::string says;
  } cases[] = {
      {"a missing value", nottem_csv(5), replaced(cnl, "=nottem.dat ", "=nottem.csv "), {}, 1,
       "tramel: nottem.csv line 6, column 2 (\"temperature\"): the value \"NA\" marks a missing "
       "sample: the method needs every sample, so fill the gap first (interpolate it, or end the "
       "data before it); a missing value is never read as zero\n"},
      {"more series asked for than the file has", nottem_csv(),
       replaced(replaced(cnl, "=nottem.dat ", "=nottem.csv "), "No. of data/file = 1 ",
                "No. of data/file = 2 "),
       {}, 1,
       "tramel: nottem.csv has 1 value column (temperature), but No. of data/file in the control "
       "file is 2: make the two agree (the time column is not counted)\n"},
      {"no time column and no --sampling", "temperature\n" + [] {
         std::string v;
         for (int i = 0; i < 240; ++i) v += std::to_string(40 + i % 12) + "\n";
         return v;
       }(),
       replaced(cnl, "=nottem.dat ", "=nottem.csv "), {}, 1,
       "tramel: nottem.csv has no time column: give the sampling interval in the time unit with "
       "--sampling X\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder f;
    f.write("tramel.cnl", c.cnl);
    f.write("nottem.csv", c.data);
    const Outcome o = run_program(f.path(), 0, c.arguments);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.diagnostics, c.says);
    EXPECT_NE(o.report.find(" ** Error in read of data file nottem.csv"), std::string::npos) << o.report;
    const std::string forecast = f.read("nottem.forec");
    EXPECT_TRUE(forecast.empty() || forecast == "<absent>") << forecast;
  }
  // The same series with --sampling: the interval of the time mode.
  TempFolder f;
  f.write("tramel.cnl", replaced(cnl, "=nottem.dat ", "=nottem.csv "));
  std::string values = "temperature\n";
  for (const std::string& row : lines(nottem_csv()))
    if (row.find(',') != std::string::npos && row[0] != 'd') values += row.substr(row.find(',') + 1) + "\n";
  f.write("nottem.csv", values);
  const Outcome o = run_program(f.path(), 0, {"--sampling", "1.0", "--model", "as-specified"});
  EXPECT_EQ(o.status, 0) << o.diagnostics;
  EXPECT_EQ(f.read("nottem.forec"), read_file(kExamples / "nottem" / "nottem.forec"));
}

// The two commands on the shipped CSV example, and init's refusal to overwrite.
TEST(CsvData, InitThenRunInTwoCommands) {
  TempFolder f;
  f.write("seatbelts.csv", read_file(kExamples / "seatbelts-csv" / "seatbelts.csv"));
  const Outcome init = run_program(f.path(), 0, {"init", "seatbelts.csv"});
  ASSERT_EQ(init.status, 0) << init.diagnostics;
  EXPECT_NE(init.out.find("unit mode: time mode in months, from the time column"), std::string::npos)
      << init.out;
  EXPECT_NE(init.out.find("frame length: 12 samples (12 months), from the calendar"), std::string::npos);
  EXPECT_EQ(f.read("tramel.cnl"), read_file(kExamples / "seatbelts-csv" / "tramel.cnl"));
  const Outcome run = run_program(f.path(), 0, {"--model", "auto", "--strict"});
  EXPECT_EQ(run.status, 0) << run.diagnostics;
  const std::vector<std::string> rows = lines(f.read("seatbelts.forecast.csv"));
  ASSERT_EQ(rows.size(), 13u);
  EXPECT_EQ(rows[0], "run,frame,position,date,DriversKilled,front,rear");
  EXPECT_EQ(rows[1].substr(0, 17), "1,1,1,1985-01-01,");

  const Outcome again = run_program(f.path(), 0, {"init", "seatbelts.csv"});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.diagnostics.find("tramel.cnl is there already; --force overwrites it"),
            std::string::npos)
      << again.diagnostics;
  f.write("tramel.cnl", "mine\n");
  EXPECT_EQ(run_program(f.path(), 0, {"init", "seatbelts.csv"}).status, 1);
  EXPECT_EQ(f.read("tramel.cnl"), "mine\n");
  EXPECT_EQ(run_program(f.path(), 0, {"init", "seatbelts.csv", "--force"}).status, 0);
  EXPECT_NE(f.read("tramel.cnl"), "mine\n");
}

// The command `tramel init` says to run next, run as a shell runs it in the folder (with the
// built program on the path, as `tramel` names it): its exit status and standard error.
struct ShellRun {
  int status = -1;
  std::string err;
};
ShellRun run_printed(const TempFolder& f, const std::string& init_out) {
  const std::size_t at = init_out.find("now run: ");
  EXPECT_NE(at, std::string::npos) << init_out;
  if (at == std::string::npos) return {};
  const std::string command = init_out.substr(at + 9, init_out.find('\n', at) - at - 9);
  const std::string line = "cd '" + f.path().string() + "' && PATH='" + program_path().parent_path().string() +
                           "':\"$PATH\" " + command + " >/dev/null 2>shell.err";
  const int status = std::system(line.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, f.read("shell.err")};
}

// A recording of a 25 Hz tone at 2000 samples a second: its time column as `time(i)` gives it.
template <class Time>
std::string recording(const std::string& header, Time time) {
  std::string csv = header + "\n";
  for (int i = 0; i < 4000; ++i) {
    char v[48];
    std::snprintf(v, sizeof v, "%.4f", std::sin(6.283185307179586 * i / 80) + 0.3 * std::sin(0.7 * i * i));
    csv += time(i) + v + "\n";
  }
  return csv;
}

// init keeps the sampling in the control file, and the command it prints runs as printed: for
// data without a time column, with microsecond stamps, with a time column of numbers in another
// unit (the command then says --time-unit), and for a two-line data file given --sampling.
// --sampling on the command line still wins, with a note; a time column that gives another
// rate than the control file wins with a warning.
TEST(CsvData, InitKeepsTheSamplingAndItsCommandRuns) {
  const struct {
    std::string file, data;
    std::vector<std::string> init;  // init's options
    std::string command;            // what the printed command holds after the program (CSV
                                    // data run auto by default, the two-line layout asks for it)
  } cases[] = {
      {"plain.csv", recording("x", [](int) { return std::string(); }), {"--sampling", "2000"},
       std::string(kPlot) + " ."},
      {"stamps.csv", recording("time,x", [](int i) {
         char t[40];
         std::snprintf(t, sizeof t, "2024-05-01T10:00:%02d.%06dZ,", i / 2000, i % 2000 * 500);
         return std::string(t);
       }), {}, std::string(kPlot) + " ."},
      {"numbers.csv", recording("time,x", [](int i) { return std::to_string(i / 2) + (i % 2 ? ".5," : ".0,"); }),
       {"--time-unit", "ms"}, std::string(kPlot) + " --time-unit ms ."},
      {"nottem.dat", read_file(kExamples / "nottem" / "nottem.dat"), {"--sampling", "12.5"},
       " --model auto" + std::string(kPlot) + " --sampling 12.5 ."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempFolder f;
    f.write(c.file, c.data);
    std::vector<std::string> arguments = {"init", c.file, "--frame", "80"};
    if (c.file == "nottem.dat") arguments.back() = "12";
    arguments.insert(arguments.end(), c.init.begin(), c.init.end());
    const Outcome init = run_program(f.path(), 0, arguments);
    ASSERT_EQ(init.status, 0) << init.diagnostics;
    EXPECT_NE(init.out.find(c.command + "\n"), std::string::npos) << init.out;
    EXPECT_EQ(f.read("tramel.cnl").find("rate/interval") == std::string::npos, c.file == "nottem.dat");
    const ShellRun run = run_printed(f, init.out);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
  }
  TempFolder f;
  f.write("plain.csv", cases[0].data);
  ASSERT_EQ(run_program(f.path(), 0, {"init", "plain.csv", "--frame", "80", "--sampling", "2000"}).status, 0);
  EXPECT_EQ(run_program(f.path(), 0, {"--model", "auto", "--sampling", "4000"}).diagnostics.rfind(
                "tramel: note: --sampling 4000 is used, not the control file's Sampling rate/interval 2000\n", 0),
            0u);
  // A two-line data file's line 2 wins over the control file.
  TempFolder two;
  two.write("nottem.dat", read_file(kExamples / "nottem" / "nottem.dat"));
  two.write("tramel.cnl", replaced(read_file(kExamples / "nottem" / "tramel.cnl"), "# end of the global block",
                                   "Sampling rate/interval = 3.0   * x\n# end of the global block"));
  EXPECT_EQ(run_program(two.path(), 0).diagnostics,
            "tramel: warning: the control file's Sampling rate/interval 3 is not used: nottem.dat gives its own on "
            "line 2, 1\n");
  // The time column wins over the control file; here its numbers are milliseconds read as seconds.
  f.write("plain.csv", cases[2].data);
  EXPECT_NE(run_program(f.path(), 0, {"--model", "auto"}).diagnostics.find(
                "tramel: warning: plain.csv: its time column gives 2 as the sampling rate in Hz, but the control "
                "file's Sampling rate/interval is 2000; the time column's is used (its numbers are read as "
                "seconds; --time-unit gives another unit)\n"),
            std::string::npos);
}

// init on the data of every example (in its own layout: the unit and the series from its control
// file), and the run of what it wrote: no warning about the control file.
TEST(CsvData, InitOnEveryExampleGivesAControlFileWithoutWarnings) {
  int examples = 0;
  for (const std::string& e : run_folders(kExamples, ".")) {
    SCOPED_TRACE(e);
    const std::string cnl = read_file(kExamples / e / "tramel.cnl");
    const auto word_after = [&cnl](const std::string& key) {
      const std::size_t at = cnl.find(key) + key.size();
      return cnl.substr(at, cnl.find_first_of(" \n", at) - at);
    };
    const std::string data = word_after("Data file name =");
    const std::string unit = word_after("Sampling unit =");
    const std::string series = word_after("No. of data/file = ");
    TempFolder f;
    f.write(data, read_file(kExamples / e / data));
    std::vector<std::string> arguments = {"init", data, "--series", series};
    if (unit.find("req") == std::string::npos) {
      arguments.push_back("--unit");
      arguments.push_back(unit);
    }
    if (unit.find("+K") != std::string::npos) continue;  // kHz data: init chooses Hz mode
    const Outcome init = run_program(f.path(), 0, arguments);
    ASSERT_EQ(init.status, 0) << init.diagnostics;
    const Outcome run = run_program(f.path(), 0, {"--model", "auto"});
    EXPECT_EQ(run.status, 0) << run.diagnostics;
    EXPECT_EQ(run.diagnostics.find("tramel.cnl"), std::string::npos) << run.diagnostics;
    EXPECT_EQ(run.diagnostics.find("warning: the global block"), std::string::npos);
    ++examples;
  }
  EXPECT_GE(examples, 6);
}

}  // namespace
}  // namespace tramel::testing
