// A machine recording as a user brings it, by the two commands `tramel init rig.csv` and
// `tramel --plot .` without a flag: a 4.8 kHz two-channel recording of a 40 Hz shaft (120
// samples a turn) with its second and third harmonics, a tone the shaft does not lock and
// noise. init must find a frame of whole turns, and the run must find the shaft's three tones
// and little else: its threshold holds over the band.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <random>
#include <set>
#include <string>

#include "run_program.hpp"

namespace tramel::testing {
namespace {

using Json = nlohmann::json;

constexpr int kRate = 4800;
constexpr int kTurn = 120;  // samples per turn of the 40 Hz shaft

// `rows` rows of the recording, the time column as `stamp(i)` writes it ("" for none).
template <class Stamp>
std::string rig(int rows, Stamp stamp) {
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::string csv = std::string(stamp(-1)) + "a,b\n";
  for (int i = 0; i < rows; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double turn = 6.283185307179586 * 40.0 * t;
    const double shaft = std::sin(turn) + 0.5 * std::sin(2 * turn + 0.3) + 0.3 * std::sin(3 * turn + 1.1);
    const double a = shaft + 0.6 * std::sin(6.283185307179586 * 93.7 * t) + noise(random);
    const double b = 0.7 * shaft + 0.4 * std::sin(6.283185307179586 * 61.3 * t) + 0.8 * noise(random);
    char row[64];
    std::snprintf(row, sizeof row, "%.5f,%.5f\n", a, b);
    csv += stamp(i) + row;
  }
  return csv;
}

std::string microseconds(int i) {
  if (i < 0) return "time,";
  const long long us = (1000000LL * i + kRate / 2) / kRate;
  char s[48];
  std::snprintf(s, sizeof s, "2024-05-01 10:%02lld:%02lld.%06lld,", us / 60000000, us / 1000000 % 60, us % 1000000);
  return s;
}

std::string seconds(int i) {
  if (i < 0) return "time,";
  char s[32];
  std::snprintf(s, sizeof s, "%.6f,", static_cast<double>(i) / kRate);
  return s;
}

std::string no_time(int) { return ""; }

// `count` hours of a load from Wednesday 2024-01-03 00:00: a daily cycle, more on weekends.
std::string hourly(int count) {
  using namespace std::chrono;
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0.0, 3.0);
  std::string csv = "time,load\n";
  const sys_days start = 2024y / January / 3;
  for (int i = 0; i < count; ++i) {
    const sys_days day = start + days(i / 24);
    const year_month_day date(day);
    const unsigned day_of_week = weekday(day).c_encoding();  // 0 Sunday, 6 Saturday
    const double load = 100.0 + 20.0 * std::sin(6.283185307179586 * i / 24.0) +
                        (day_of_week == 0 || day_of_week == 6 ? 10.0 : 0.0) + noise(random);
    char row[64];
    std::snprintf(row, sizeof row, "%04d-%02u-%02u %02d:00,%.2f\n", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), i % 24, load);
    csv += row;
  }
  return csv;
}

// init, then the run with what the user would add (nothing; --json to read the results).
Json init_and_run(const TempFolder& f, const std::vector<std::string>& init_options = {}) {
  std::vector<std::string> init = {"init", "rig.csv"};
  init.insert(init.end(), init_options.begin(), init_options.end());
  const Outcome i = run_program(f.path(), 0, init);
  EXPECT_EQ(i.status, 0) << i.diagnostics;
  const Outcome run = run_program(f.path(), 0, {"--json"});
  EXPECT_EQ(run.status, 0) << run.diagnostics;
  EXPECT_EQ(run.diagnostics, "");
  return Json::parse(f.read("tramel.json"));
}

TEST(MachineRecording, InitFindsWholeTurnsAndTheRunTheShaftsTones) {
  TempFolder f;
  f.write("rig.csv", rig(10 * kRate, microseconds));
  const Outcome init = run_program(f.path(), 0, {"init", "rig.csv"});
  ASSERT_EQ(init.status, 0) << init.diagnostics;
  EXPECT_NE(init.out.find("a cycle of 120 samples = 40.000 Hz"), std::string::npos) << init.out;
  // The command init prints names no option: CSV data run auto by default.
  EXPECT_NE(init.out.find("now run: "), std::string::npos);
  EXPECT_EQ(init.out.find("--model"), std::string::npos) << init.out;
  const std::vector<std::string> run_options =
#ifdef TRAMEL_NO_PLOTS
      {"--json"};
#else
      {"--plot", "--json"};
#endif
  const Outcome run = run_program(f.path(), 0, run_options);
  ASSERT_EQ(run.status, 0) << run.diagnostics;
  const Json doc = Json::parse(f.read("tramel.json"));
  const Json& r = doc["runs"][0];
  const int frame = r["frame_length"];
  EXPECT_EQ(frame % kTurn, 0) << frame;
  const int turns = frame / kTurn;
  const std::set<int> shaft = {turns, 2 * turns, 3 * turns};
  const double bins = r["last_bin"].get<int>() - r["first_bin"].get<int>() + 1;
  EXPECT_NEAR(r["chance_bins"].get<double>(), 0.05, 0.001);
  EXPECT_GE(r["threshold"].get<double>(), 1.0 - 0.05 / bins - 1e-6);
  for (const Json& s : r["series"]) {
    SCOPED_TRACE(s["name"].get<std::string>());
    std::set<int> significant;
    for (const Json& b : s["bins"])
      if (b["significant"].get<bool>()) significant.insert(b["bin"].get<int>());
    int others = 0;
    for (const int k : significant) others += shaft.count(k) == 0 ? 1 : 0;
    for (const int k : shaft) EXPECT_EQ(significant.count(k), 1u) << "bin " << k;
    EXPECT_LE(others, 1);
  }
  EXPECT_NE(f.read("tramel.out").find("Forecast model: auto, series by series the best model, or the best combined, "
                                      "by a backtest (the default for CSV data)"),
            std::string::npos);
}

// The shipped machine example's control file is the one init writes from its data alone.
TEST(MachineRecording, InitWritesThePumpExamplesControlFile) {
  const std::filesystem::path pump = std::filesystem::path(TRAMEL_SOURCE_DIR) / "examples" / "pump";
  TempFolder f;
  f.write("pump.csv", read_file(pump / "pump.csv"));
  ASSERT_EQ(run_program(f.path(), 0, {"init", "pump.csv"}).status, 0);
  EXPECT_EQ(f.read("tramel.cnl"), read_file(pump / "tramel.cnl"));
}

// The same recording with a time column of seconds gives the same analysis; without a time
// column, init --sampling 4800 keeps the rate and the run needs no flag.
TEST(MachineRecording, TheSameAnalysisFromSecondsOrAKeptRate) {
  TempFolder stamped, numbers, plain;
  stamped.write("rig.csv", rig(4 * kRate, microseconds));
  numbers.write("rig.csv", rig(4 * kRate, seconds));
  plain.write("rig.csv", rig(4 * kRate, no_time));
  const Json a = init_and_run(stamped);
  const Json b = init_and_run(numbers);
  const Json c = init_and_run(plain, {"--sampling", "4800"});
  for (const Json* other : {&b, &c}) {
    const Json& x = a["runs"][0];
    const Json& y = (*other)["runs"][0];
    EXPECT_EQ(x["frame_length"], y["frame_length"]);
    EXPECT_EQ(x["threshold"], y["threshold"]);
    // The rate of microsecond stamps differs in its last digits: the bins' frequencies alone.
    for (int j = 0; j < 2; ++j)
      for (std::size_t k = 0; k < x["series"][j]["bins"].size(); ++k)
        for (const char* key : {"probability", "waveform_power", "noise", "significant"})
          EXPECT_EQ(x["series"][j]["bins"][k][key], y["series"][j]["bins"][k][key]);
  }
  EXPECT_EQ(a["runs"][0]["frame_length"].get<int>() % kTurn, 0);
}

// The words of an SVG's text elements, their tags dropped and character references read.
std::set<std::string> svg_texts(const std::string& svg) {
  std::set<std::string> texts;
  for (std::size_t at = svg.find("<text"); at != std::string::npos; at = svg.find("<text", at + 1)) {
    const std::size_t end = svg.find("</text>", at);
    std::string words;
    bool in_tag = true;
    for (std::size_t i = at; i < end; ++i) {
      if (svg[i] == '<' || svg[i] == '>') {
        in_tag = svg[i] == '<';
      } else if (!in_tag && svg.compare(i, 3, "&#x") == 0) {
        const std::size_t semicolon = svg.find(';', i);
        words += static_cast<char>(std::stoi(svg.substr(i + 3, semicolon - i - 3), nullptr, 16));
        i = semicolon;
      } else if (!in_tag) {
        words += svg[i];
      }
    }
    texts.insert(words);
  }
  return texts;
}

// The plot's axes read in the data's terms: the time axis in the stamps (dates on round days,
// weeks on Mondays, months; seconds from the first stamp when they are a fraction of a second
// apart), the coherence panel in Hz, or in cycles per frame for a wide band in time mode.
TEST(MachineRecording, PlotAxesInTheDatasTerms) {
#ifdef TRAMEL_NO_PLOTS
  GTEST_SKIP() << "a build without plots";
#endif
  struct Case {
    const char* name;
    std::string data;
    std::vector<std::string> init;
    std::vector<std::string> shown, not_shown;
  };
  const std::vector<Case> cases = {
      {"microsecond stamps", rig(kRate, microseconds), {"--frame", "120"},
       {"frequency (Hz)", "seconds from the first stamp, 2024-05-01 10:00:00.000000"}, {}},
      {"weeks of hours", hourly(10 * 168), {"--frame", "168"},
       {"frequency (cycles per frame of 168 hours)", "2024-03-04", "2024-03-11", "time"}, {"2024-03-03"}},
      {"days of hours", hourly(20 * 24), {"--frame", "24"}, {"period (hours)", "2024-01-21", "2024-01-22"}, {}},
      {"months", read_file(std::filesystem::path(TRAMEL_SOURCE_DIR) / "examples" / "seatbelts-csv" / "seatbelts.csv"),
       {}, {"period (months)", "1983-01", "1984-01", "date"}, {"1983-02"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder f;
    f.write("rig.csv", c.data);
    std::vector<std::string> init = {"init", "rig.csv"};
    init.insert(init.end(), c.init.begin(), c.init.end());
    ASSERT_EQ(run_program(f.path(), 0, init).status, 0);
    ASSERT_EQ(run_program(f.path(), 0, {"--plot"}).status, 0);
    const std::set<std::string> texts = svg_texts(f.read("tramel-run1-series1.svg"));
    for (const std::string& text : c.shown) EXPECT_EQ(texts.count(text), 1u) << text;
    for (const std::string& text : c.not_shown) EXPECT_EQ(texts.count(text), 0u) << text;
  }
}

// Hourly data in frames of a day have the week for a second cycle: from 3 weeks on, auto also
// weighs a waveform for each day of the week and frames of a week, and says so; before, not.
TEST(MachineRecording, HourlyDataInDaysWeighTheWeekFromThreeWeeks) {
  for (const int weeks : {6, 2}) {
    SCOPED_TRACE(weeks);
    TempFolder f;
    f.write("rig.csv", hourly(weeks * 168));
    const Json json = init_and_run(f);
    const bool weighed = weeks >= 3;
    EXPECT_EQ(f.read("tramel.out").find("auto also weighs a waveform for each day of the week") != std::string::npos,
              weighed);
    const Json& candidates = json["runs"][0]["series"][0]["choice"]["candidates_mase"];
    EXPECT_EQ(candidates.contains("smooth_by_weekday"), weighed);
    EXPECT_EQ(candidates.contains("smooth_in_weeks"), weighed);
  }
}

}  // namespace
}  // namespace tramel::testing
