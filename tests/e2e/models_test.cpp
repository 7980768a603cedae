// The models that follow the level, as a user runs them: --model, --intervals, --backtest and
// the forecast as CSV on a shipped example, what the report, the console, tramel.json and
// NAME.forecast.csv say, and the command lines that are refused.
#include <gtest/gtest.h>

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

// A folder with the inputs of an example.
void copy_example(const std::string& name, const TempFolder& to) {
  for (const auto& e : fs::directory_iterator(kExamples / name))
    if (e.is_regular_file() && !is_output(e.path().filename().string()) &&
        e.path().extension() != ".md")
      fs::copy_file(e.path(), to.path() / e.path().filename());
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream s(line);
  for (std::string f; std::getline(s, f, ',');) out.push_back(f);
  return out;
}

// A number in tramel.json after `"key": ` at or after `from`.
double json_number(const std::string& json, const std::string& key, std::size_t from = 0) {
  const std::size_t at = json.find("\"" + key + "\": ", from);
  EXPECT_NE(at, std::string::npos) << key;
  return at == std::string::npos ? NAN : std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

// nottem with every model: the run header and the block of the series say the model, the
// forecast file has its 24 records, and tramel.json agrees with the report (json_check).
TEST(Models, EachModelForecastsNottemAndSaysWhich) {
  const struct {
    const char* model;
    const char* header;  // the run header's line
    const char* block;   // the series' model line ("" for the specified block)
    const char* json;    // tramel.json's model of the series
    bool var;            // a VAR block, whose size rule leaves out bin 2
  } cases[] = {
      {"as-specified", nullptr, "", "as-specified", false},
      {"changes", "Forecast model: changes, a VAR of the frame-to-frame changes with their drift",
       "Forecast model: changes", "changes", true},
      {"levels", "Forecast model: levels, a VAR of the levels with their means",
       "Forecast model: levels", "levels", true},
      {"smooth", "Forecast model: smooth, the waveform smoothed from frame to frame and a damped local trend",
       "Forecast model: smooth (log) (the waveform smoothed", "smooth", false},
      {"auto", "Forecast model: auto, series by series the best model, or the best combined, by a backtest",
       "Chosen by the backtest: smooth (log)", "smooth", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    TempFolder f;
    copy_example("nottem", f);
    const Outcome o = run_program(f.path(), 0, {"--model", c.model, "--json"});
    EXPECT_EQ(o.status, 0) << o.diagnostics;
    if (c.header != nullptr) {
      EXPECT_NE(o.report.find(c.header), std::string::npos);
      EXPECT_NE(o.report.find(c.block), std::string::npos) << o.report;
    }
    if (c.var) {
      EXPECT_NE(o.report.find("Number of Significant Frequencies =   2,  1 of them in the model"),
                std::string::npos);
      EXPECT_NE(o.diagnostics.find("leaves out 1 of the 2 significant bins, the least coherent (bin 2)"),
                std::string::npos)
          << o.diagnostics;
    }
    if (c.header == nullptr) {
      // The default, named: the shipped report and forecast file.
      EXPECT_EQ(mask_run_lines(o.report), mask_run_lines(read_file(kExamples / "nottem" / "tramel.out")));
      EXPECT_EQ(f.read("nottem.forec"), read_file(kExamples / "nottem" / "nottem.forec"));
    }
    EXPECT_EQ(lines(f.read("nottem.forec")).size(), 24u);
    const std::string json = f.read("tramel.json");
    const std::string model = std::string("\"model\": \"") + c.json + "\"";
    EXPECT_NE(json.find(model), std::string::npos);
    const std::string check = "python3 " + std::string(TRAMEL_SOURCE_DIR) + "/tests/tools/json_check.py " +
                              f.path().string() + " 0 >/dev/null";
    EXPECT_EQ(std::system(check.c_str()), 0) << "tramel.json disagrees with the report";
  }
}

// --intervals writes NAME.forecast.csv: a header row, a row per forecast sample, each forecast
// inside its intervals and the 95 % interval around the 80 % one; tramel.json holds the same
// bounds in the shape of the forecast.
TEST(Models, IntervalsInTheForecastCsvAndTheJson) {
  TempFolder f;
  copy_example("co2-auto", f);
  const Outcome o = run_program(f.path(), 0, {"--model", "auto", "--intervals", "80,95", "--json"});
  ASSERT_EQ(o.status, 0) << o.diagnostics;
  const std::vector<std::string> rows = lines(f.read("co2.forecast.csv"));
  ASSERT_EQ(rows.size(), 1u + 24u);
  EXPECT_EQ(rows[0], "run,frame,position,series1,series1-lo-95,series1-lo-80,series1-hi-80,series1-hi-95");
  const std::vector<std::string> records = lines(f.read("co2.forec"));
  for (std::size_t r = 1; r < rows.size(); ++r) {
    SCOPED_TRACE(rows[r]);
    const std::vector<std::string> v = fields(rows[r]);
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(v[0], "1");
    EXPECT_EQ(std::stoi(v[1]), static_cast<int>((r - 1) / 12 + 1));
    EXPECT_EQ(std::stoi(v[2]), static_cast<int>((r - 1) % 12 + 1));
    const double x = std::stod(v[3]), lo95 = std::stod(v[4]), lo80 = std::stod(v[5]),
                 hi80 = std::stod(v[6]), hi95 = std::stod(v[7]);
    EXPECT_LT(lo95, lo80);
    EXPECT_LT(lo80, x);
    EXPECT_LT(x, hi80);
    EXPECT_LT(hi80, hi95);
    // The same forecast as the forecast file's record, there to three decimals.
    EXPECT_NEAR(x, std::stod(records[r - 1].substr(11, 9)), 0.0005);
  }
  const std::string json = f.read("tramel.json");
  const std::size_t intervals = json.find("\"intervals\"");
  ASSERT_NE(intervals, std::string::npos);
  EXPECT_EQ(json_number(json, "level", intervals), 80.0);
  EXPECT_NEAR(json_number(json, "level", json.find("\"level\"", intervals) + 1), 95.0, 0);
}

// --backtest K: the table on standard output after the run and tramel.json agree, the model
// beats seasonal naive on co2 one frame ahead, and the specified form loses to it.
TEST(Models, BacktestTableAndJson) {
  TempFolder f;
  copy_example("co2-auto", f);
  const Outcome o = run_program(f.path(), 0, {"--model", "auto", "--intervals", "80,95",
                                              "--backtest", "10", "--json"});
  ASSERT_EQ(o.status, 0) << o.diagnostics;
  const std::size_t table = o.out.find(" Backtest of run 1, series 1: 10 origins, forecasting frames 28 to 37; model ");
  ASSERT_NE(table, std::string::npos) << o.out;
  EXPECT_NE(o.out.find("(chosen by auto)", table), std::string::npos);
  EXPECT_NE(o.out.find("   step  method              MASE        RMSE  origins  cover 80%  cover 95%"),
            std::string::npos);
  const std::string json = f.read("tramel.json");
  const std::size_t backtest = json.find("\"backtest\"");
  ASSERT_NE(backtest, std::string::npos);
  EXPECT_EQ(json_number(json, "origins", backtest), 10);
  const double model = json_number(json, "mase", json.find("\"model\": [", backtest));
  const double specified = json_number(json, "mase", json.find("\"as_specified\"", backtest));
  const double naive = json_number(json, "mase", json.find("\"seasonal_naive\"", backtest));
  const double changes = json_number(json, "mase", json.find("\"changes\": [", backtest));
  EXPECT_LT(model, naive);
  EXPECT_LT(changes, naive);
  EXPECT_GT(specified, naive);
  // The table prints the same MASE, to three decimals.
  char row[64];
  std::snprintf(row, sizeof row, "      1  changes         %8.3f", changes);
  EXPECT_NE(o.out.find(row, table), std::string::npos) << row << "\n" << o.out;
}

// A sample of 214 months (17 whole frames and 10 months over): as-specified frames it from the
// start and forecasts from datum 205; the other models count the frames back from the last
// datum, leave the first 10 months out and forecast from datum 215, right after the data.
TEST(Models, TheForecastStartsAfterTheLastDatumForTheModels) {
  const struct {
    const char* model;
    double first_datum;
  } cases[] = {{"as-specified", 205}, {"changes", 215}, {"smooth", 215}, {"auto", 215}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    TempFolder f;
    copy_example("nottem", f);
    std::string control = f.read("tramel.cnl");
    control.replace(control.find("Data end = 216"), 14, "Data end = 214");
    f.write("tramel.cnl", control);
    const Outcome o = run_program(f.path(), 0, {"--model", c.model, "--json"});
    ASSERT_EQ(o.status, 0) << o.diagnostics;
    EXPECT_EQ(json_number(f.read("tramel.json"), "forecast_first_datum"), c.first_datum);
    EXPECT_NE(o.report.find("Sample size =      214"), std::string::npos);  // the sample line as it was
  }
}

// What the command line refuses, with exit 2 and nothing written.
TEST(Models, CommandLinesRefused) {
  const struct {
    std::vector<std::string> arguments;
    const char* says;
  } cases[] = {
      {{"--model", "arima"}, "--model: one of as-specified, changes, levels, smooth, auto is needed, not \"arima\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    TempFolder f;
    copy_example("nottem", f);
    const Outcome o = run_program(f.path(), 0, c.arguments);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.diagnostics.find(c.says), std::string::npos) << o.diagnostics;
    EXPECT_EQ(o.report, "<absent>");
  }
}

}  // namespace
}  // namespace tramel::testing
