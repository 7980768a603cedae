// The settings chosen for a first run: the frame length by each rule, the errors, the control
// file's text, and on every shipped example's data a control file that the program's control
// reader plans as chosen, without a warning.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "control/control.hpp"
#include "data/data.hpp"
#include "csv/csv.hpp"
#include "init/init.hpp"

namespace {

using namespace tramel;
namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Plans the run of `control_text` as the program does, in a folder that holds the data file:
// every message and warning goes to `said`.
std::optional<control::RunPlan> plan(const std::string& control_text, const std::string& data_file,
                                     const std::string& data_bytes, control::DataExtent extent, std::string& said) {
  const fs::path folder = fs::path(testing::TempDir()) / "setup_test";
  fs::create_directories(folder);
  std::ofstream(folder / data_file, std::ios::binary) << data_bytes;
  const auto take = [&said](const auto& outcome) {
    for (const diagnostics::Note& note : outcome.notes) {
      if (const auto* m = std::get_if<diagnostics::Message>(&note)) said += m->text;
      if (const auto* w = std::get_if<diagnostics::Warning>(&note)) said += w->text + "\n";
    }
    if (outcome.stop) said += outcome.stop->message.text;
  };
  control::ControlFile file;
  file.open_text(control_text);
  control::Outcome<control::GlobalBlock> global = control::read_global_block(file);
  take(global);
  if (global.failed()) return std::nullopt;
  control::KeywordReader reader;
  control::Outcome<control::FileSettings> files = control::read_file_settings(*global.value, reader, folder);
  take(files);
  if (files.failed()) return std::nullopt;
  EXPECT_EQ(files.value->runs, 1);
  EXPECT_EQ(files.value->data_path(), data_file);
  control::Outcome<control::AnalysisSettings> analysis = control::read_analysis_settings(*global.value, reader);
  take(analysis);
  if (analysis.failed()) return std::nullopt;
  control::Outcome<control::RunPlan> run = control::plan_run(file, 1, *files.value, *analysis.value, extent, reader);
  take(run);
  return run.value;
}

// A suggestion that must be given, and its run planned as chosen without a message.
void expect_plans(const init::InitRequest& request, const std::string& data_bytes) {
  const init::Result<init::Suggestion> s = init::suggest(request);
  ASSERT_TRUE(s.ok()) << s.error->text;
  const init::Settings& chosen = s.value->settings;
  std::string said;
  const std::optional<control::RunPlan> p =
      plan(s.value->control_text, request.data_file, data_bytes,
           control::DataExtent{static_cast<std::int32_t>(request.count), chosen.rate}, said);
  ASSERT_TRUE(p) << said << s.value->control_text;
  EXPECT_EQ(said, "") << s.value->control_text;
  EXPECT_EQ(p->frame_length, chosen.frame_length);
  EXPECT_EQ(p->first_bin, 1);
  EXPECT_EQ(p->last_bin, (chosen.frame_length - 1) / 2);
  EXPECT_EQ(p->first_datum, 1);
  EXPECT_EQ(p->last_datum, request.count);
  EXPECT_EQ(p->analysis.unit_mode, chosen.mode);
  EXPECT_EQ(p->series_count, request.series_count);
  EXPECT_GE(p->frames, 7);
  // The reasons: the series, the unit, the frame, the band, the rest.
  ASSERT_GE(s.value->reasons.size(), 5u);
  EXPECT_EQ(s.value->reasons[2].rfind("frame length: ", 0), 0u);
  // Every line holds its comment marker or is a block's end, within 80 columns.
  std::istringstream lines(s.value->control_text);
  for (std::string l; std::getline(lines, l);) {
    EXPECT_TRUE(l.find('*') != std::string::npos || l.rfind("# end", 0) == 0) << l;
    EXPECT_LE(l.size(), 80u) << l;
    EXPECT_EQ(l.find('\t'), std::string::npos);
  }
}

// The values of an example: its control file's series count and data file, read as the
// program reads them.
struct Example {
  std::string name;
  std::string data_file;
  std::string unit;
  int series = 0;
  data::DataHead head;
  data::Sample sample;
};

Example load(const fs::path& folder) {
  Example e;
  e.name = folder.filename().string();
  const std::string cnl = slurp(folder / "tramel.cnl");
  const auto word_after = [&cnl](const std::string& key) {
    const std::size_t at = cnl.find(key) + key.size();
    return cnl.substr(at, cnl.find_first_of(" \n", at) - at);
  };
  e.data_file = word_after("Data file name =");
  e.unit = word_after("Sampling unit =");
  e.series = std::stoi(word_after("No. of data/file = "));
  data::RecordFile file(e.data_file);
  EXPECT_EQ(file.open((folder / e.data_file).string()), 0);
  data::HeadOutcome head = file.read_head();
  e.head = *head.head.value;
  const data::SampleRequest request{1, e.head.count, e.series};
  e.sample = std::move(*file.read_sample(request, data::ReadWork{}).value);
  return e;
}

std::string daily(int i) {
  const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int month = 0;
  while (i >= lengths[month]) i -= lengths[month++];
  char s[64];
  std::snprintf(s, sizeof s, "2001-%02d-%02d", month + 1, i + 1);
  return s;
}

// The example's values as CSV with a time column of the example's unit.
std::string as_csv(const Example& e) {
  std::string csv = "date";
  for (int j = 0; j < e.series; ++j) csv += ",series " + std::to_string(j + 1);
  csv += "\n";
  for (std::int32_t i = 0; i < e.head.count; ++i) {
    char stamp[64];
    if (e.unit == "hours")
      std::snprintf(stamp, sizeof stamp, "%sT%02d:00", daily(i / 24).c_str(), i % 24);
    else
      std::snprintf(stamp, sizeof stamp, "%04d-%02d-01", 1900 + i / 12, 1 + i % 12);
    csv += stamp;
    for (int j = 0; j < e.series; ++j) {
      char v[64];
      std::snprintf(v, sizeof v, ",%.9g", static_cast<double>(e.sample.values[static_cast<std::size_t>(i * e.series + j)]));
      csv += v;
    }
    csv += "\n";
  }
  return csv;
}

TEST(InitExamples, EveryExamplePlansWithoutWarnings) {
  int examples = 0;
  for (const fs::directory_entry& d : fs::directory_iterator(fs::path(TRAMEL_SOURCE_DIR) / "examples")) {
    if (!fs::exists(d.path() / "tramel.cnl")) continue;
    // Delimited data have a test of their own (the CSV made from every example below).
    if (slurp(d.path() / "tramel.cnl").find(".csv") != std::string::npos) continue;
    ++examples;
    const Example e = load(d.path());
    SCOPED_TRACE(e.name);
    // Today's layout with only its rate: Hz mode.
    init::InitRequest r;
    r.data_file = e.data_file;
    r.series_count = e.series;
    r.count = e.head.count;
    r.values = e.sample.values;
    r.sampling = init::Sampling::of_rate(e.head.rate);
    expect_plans(r, slurp(d.path() / e.data_file));
    // Its unit when that is a time unit, as an interval.
    if (e.unit.find("req") == std::string::npos) {
      r.sampling = init::Sampling::of_interval(e.head.rate, e.unit);
      expect_plans(r, slurp(d.path() / e.data_file));
    }
    // The same values as CSV with a time column, for the examples in months and hours.
    if (e.unit == "months" || e.unit == "hours") {
      const std::string csv = as_csv(e);
      const csv::Result<csv::Table> t = csv::read_table(csv, {});
      ASSERT_TRUE(t.ok()) << t.error->text;
      const init::InitRequest c = init::request_for(*t.value, e.name + ".csv");
      const init::Result<init::Suggestion> s = init::suggest(c);
      ASSERT_TRUE(s.ok());
      EXPECT_EQ(s.value->settings.frame_length, e.unit == "months" ? 12 : 24);
      EXPECT_EQ(s.value->settings.unit_text, e.unit);
      expect_plans(c, csv);
    }
  }
  EXPECT_GE(examples, 6);
}

// A table of `rows` rows of a sine of period `period` and noise, with stamps made by `stamp`.
template <class Stamp>
csv::Table table(int rows, double period, Stamp stamp) {
  std::string csv = "time,x\n";
  std::mt19937 random(5);
  std::normal_distribution<double> noise(0.0, 0.2);
  for (int i = 0; i < rows; ++i) {
    char v[64];
    std::snprintf(v, sizeof v, ",%.4f\n", std::sin(6.283185307179586 * i / period) + noise(random));
    csv += stamp(i) + v;
  }
  csv::Result<csv::Table> t = csv::read_table(csv, {});
  EXPECT_TRUE(t.ok()) << (t.error ? t.error->text : "");
  return t.ok() ? *t.value : csv::Table{};
}

std::string monthly(int i) {
  char s[64];
  std::snprintf(s, sizeof s, "%04d-%02d", 1950 + i / 12, 1 + i % 12);
  return s;
}

TEST(InitFrame, FromTheCalendarTheAutocorrelationOrAsAskedFor) {
  struct Case {
    int rows;
    std::string (*stamp)(int);
    int frame;
    const char* words;
  };
  const Case cases[] = {
      {120, monthly, 12, "from the calendar, monthly data: 12 months, one year"},
      {60,
       [](int i) {
         char s[64];
         std::snprintf(s, sizeof s, "%04d-%02d-01", 1950 + i / 4, 1 + 3 * (i % 4));
         return std::string(s);
       },
       4, "from the calendar, quarterly data: 4 quarters, one year"},
      {24 * 8,
       [](int i) {
         char s[64];
         std::snprintf(s, sizeof s, "2000-01-%02dT%02d:00", 1 + i / 24, i % 24);
         return std::string(s);
       },
       24, "from the calendar, hourly data: 24 hours, one day"},
      {48 * 8,
       [](int i) {
         char s[64];
         std::snprintf(s, sizeof s, "2000-01-%02d %02d:%02d", 1 + i / 48, i % 48 / 2, 30 * (i % 2));
         return std::string(s);
       },
       48, "from the calendar, half-hourly data: 48 half hours, one day"},
      {70, daily, 7, "from the calendar, daily data: 7 days, one week"},
  };
  for (const Case& c : cases) {
    const csv::Table t = table(c.rows, 5.0, c.stamp);
    const init::Result<init::Suggestion> s = init::suggest(init::request_for(t, "x.csv"));
    ASSERT_TRUE(s.ok()) << s.error->text;
    EXPECT_EQ(s.value->settings.frame_length, c.frame);
    EXPECT_NE(s.value->reasons[2].find(c.words), std::string::npos) << s.value->reasons[2];
  }
  // Monthly with too few rows for the models' 3 years: a stop, never a shorter frame that
  // cannot hold the year.
  const csv::Table short_monthly = table(30, 5.0, monthly);
  init::Result<init::Suggestion> s = init::suggest(init::request_for(short_monthly, "x.csv"));
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.error->text.find("x.csv holds 30 data, too few for the calendar's frame (monthly data: 12 months, one "
                               "year)"),
            std::string::npos)
      << s.error->text;
  // Only a rate: the frame search finds the period; Hz mode.
  const csv::Table plain = table(17 * 30, 17.0, monthly);
  init::InitRequest r = init::request_for(plain, "x.csv");
  r.sampling = init::Sampling::of_rate(100.0);
  s = init::suggest(r);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.value->settings.frame_length, 17);
  EXPECT_EQ(s.value->settings.mode, control::UnitMode::Hertz);
  EXPECT_EQ(s.value->reasons[1], "unit mode: Hz, from the sampling rate of 100 samples per second (the data have "
                                 "no time column)");
  EXPECT_EQ(init::autocorrelation_peak(plain.values, 1, plain.rows, 5, 72), 17);
  // Asked for.
  r.frame_length = 20;
  s = init::suggest(r);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.value->settings.frame_length, 20);
  EXPECT_EQ(s.value->reasons[2], "frame length: 20 samples (0.2 seconds), as asked for");
  r.frame_length = 200;
  EXPECT_EQ(init::suggest(r).error->text,
            "--frame: No. frames 2 < 3 lb 200: 510 samples make 2 whole frames of 200, and the analysis needs 3");
}

// The sampling is kept in the control file for CSV data, read back as the same float; a time
// column whose step has a fraction of a second gives Hz mode; the two-line layout keeps its own.
TEST(InitSampling, KeptForCsvDataAndHzForFractionsOfASecond) {
  const auto micro = [](int i) {
    char s[64];
    std::snprintf(s, sizeof s, "2024-05-01 10:00:%02d.%06d", i / 2000, i % 2000 * 500);
    return std::string(s);
  };
  const auto seconds = [](int i) {
    char s[32];
    std::snprintf(s, sizeof s, "%d.%06d", i / 4800, i % 4800 * 625 / 3);
    return std::string(s);
  };
  const struct {
    csv::Table table;
    std::optional<init::Sampling> sampling;  // given, as --sampling
    control::UnitMode mode;
    std::string line;  // the control file's line, "" for none
  } cases[] = {
      {table(2000, 80.0, micro), {}, control::UnitMode::Hertz,
       "Sampling rate/interval = 2000.0               * rate, samples per second\n"},
      {table(4801, 96.0, seconds), {}, control::UnitMode::Hertz,
       "Sampling rate/interval = 4800.0               * rate, samples per second\n"},
      {table(120, 5.0, monthly), {}, control::UnitMode::Time,
       "Sampling rate/interval = 1.0                  * interval, in months\n"},
      {table(510, 17.0, monthly), init::Sampling::of_rate(44100.0), control::UnitMode::Hertz,
       "Sampling rate/interval = 44100.0              * rate, samples per second\n"},
      {table(510, 17.0, monthly), init::Sampling::of_interval(0.000208333, "seconds"), control::UnitMode::Time,
       "Sampling rate/interval = 0.000208333          * interval, in seconds\n"},
  };
  for (const auto& c : cases) {
    init::InitRequest r = init::request_for(c.table, "x.csv");
    if (c.sampling) r.sampling = *c.sampling;
    const init::Result<init::Suggestion> s = init::suggest(r);
    ASSERT_TRUE(s.ok()) << s.error->text;
    EXPECT_EQ(s.value->settings.mode, c.mode);
    EXPECT_NE(s.value->control_text.find("Sampling unit =" + s.value->settings.unit_text + " "), std::string::npos);
    EXPECT_NE(s.value->control_text.find(c.line), std::string::npos) << s.value->control_text;
    expect_plans(r, "");
  }
  EXPECT_EQ(init::suggest(init::request_for(cases[0].table, "x.csv")).value->reasons[1],
            "unit mode: Hz, from the time column (stamps 0.0005 seconds apart, 2000 samples per second)");
  // The two-line layout: its line 2 gives the rate, the control file none.
  init::InitRequest two_line = init::request_for(cases[2].table, "x.dat");
  two_line.keep_sampling = false;
  two_line.sampling = init::Sampling::of_rate(12.0);
  const init::Result<init::Suggestion> s = init::suggest(two_line);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.value->control_text.find("rate/interval"), std::string::npos);
  expect_plans(two_line, "");
}

TEST(InitErrors, SaysWhyNoControlFileCanBeWritten) {
  const csv::Table t = table(34, 5.0, monthly);
  EXPECT_EQ(init::suggest(init::request_for(t, "x.csv")).error->text,
            "x.csv holds 34 data, too few for the calendar's frame (monthly data: 12 months, one year): "
            "No. frames 2 < 3 lb 12: 34 samples make 2 whole frames of 12, and the analysis needs 3; a "
            "shorter frame would not hold the cycle: give more data, or --frame L");
  const csv::Table ok = table(120, 5.0, monthly);
  EXPECT_EQ(init::suggest(init::request_for(ok, "my data.csv")).error->text,
            "the data file name \"my data.csv\" cannot stand in the control file: it needs a '.', at most 50 "
            "characters and no blank, tab, '*' or '#'; rename the file");
  init::InitRequest r = init::request_for(ok, "x.csv");
  r.sampling = init::Sampling::of_interval(1.0, "freq");
  EXPECT_EQ(init::suggest(r).error->text,
            "the time unit \"freq\" cannot be written in the control file: give one word of at most 10 letters "
            "without \"req\" (seconds, days, months, ...)");
  r.sampling = init::Sampling::of_rate(0.0);
  EXPECT_EQ(init::suggest(r).error->text, "the sampling rate 0 Hz is not a positive number");
}

TEST(InitControlText, MonthlyTableWithNamesReadsBackAsChosen) {
  std::string csv = "date,kms,games\n";
  for (int i = 0; i < 240; ++i)
    csv += monthly(i) + "-01," + std::to_string(1000 + (i * 37) % 101) + "," + std::to_string(i % 12) + "\n";
  const csv::Result<csv::Table> t = csv::read_table(csv, {});
  ASSERT_TRUE(t.ok());
  // A file name with a keyword of the global block in it ("ames") still reads as itself.
  const init::Result<init::Suggestion> s = init::suggest(init::request_for(*t.value, "games.csv"));
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(s.value->control_text,
            "No. of runs = 1   No. of data/file = 2        * one run, 2 series\n"
            "Coherence probability = 0.99                  * threshold P for 5 bins\n"
            "No. of frames = 1   No. of lags = 1           * forecast 1 frame, from 1 lag\n"
            "Sampling unit =months                         * no \"req\": time mode\n"
            "Sampling rate/interval = 1.0                  * interval, in months\n"
            "Data file name =games.csv                     * no blank after the =\n"
            "# end of the global block\n"
            "Longest period = 12.0   Shortest period = 2.4 * band: bins 1 to 5\n"
            "Resolution bandwidth = 12.0                   * frame of 12 samples\n"
            "% taper = 0.0                                 * no taper\n"
            "Data start = 1   Data end = 0                 * the whole sample\n"
            "* written by tramel init; why each setting:\n"
            "* series: 2 columns of games.csv, 240 data; the data file games.csv\n"
            "* unit mode: time mode in months, from the time column (stamps 1 month apart)\n"
            "* frame length: 12 samples (12 months), from the calendar, monthly data: 12\n"
            "*   months, one year\n"
            "* band: bins 1 to 5, from the first bin to the last below the Nyquist frequency\n"
            "*   (periods 12.0 to 2.4 months)\n"
            "* coherence probability P = 0.99: 0.05 of the band's 5 bins pass it by chance\n"
            "*   alone (P = 1 - 0.05 / bins, rounded up, at least 0.99); 1 lag, 1 frame\n"
            "*   ahead, the whole sample (data 1 to 240)\n"
            "# end of run 1\n");
  expect_plans(init::request_for(*t.value, "games.csv"), csv);
}

}  // namespace

namespace {

// `count` rows of `channels` channels: a cycle of `cycle` samples with its 2nd and 3rd
// harmonics and a tone the cycle does not lock (amplitude `amplitude`), and noise; noise alone
// for amplitude 0 (a tone alone is near whole in some frame: 6 of its cycles are 61.0 samples).
std::vector<float> recording(std::int64_t count, int channels, double cycle, double amplitude) {
  std::mt19937 random(23);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<float> v;
  for (std::int64_t i = 0; i < count; ++i)
    for (int c = 0; c < channels; ++c) {
      const double turn = 2.0 * std::acos(-1.0) * static_cast<double>(i) / cycle;
      const double x = amplitude * (std::sin(turn + c) + 0.5 * std::sin(2 * turn) + 0.3 * std::sin(3 * turn + 1)) +
                       0.4 * amplitude * std::sin(0.6180339 * static_cast<double>(i)) + noise(random);
      v.push_back(static_cast<float>(x));
    }
  return v;
}

// The search finds the cycle, not a multiple of it (which scores as high), within the range it
// is given; with nothing locked in the data no candidate stands out.
TEST(InitFrameSearch, FindsTheCycleNotItsMultiples) {
  const struct {
    const char* what;
    std::int64_t count;
    int channels;
    double cycle, amplitude;
    init::FrameRange range;
    std::optional<int> chosen;
  } cases[] = {
      {"80 samples", 12000, 1, 80.0, 1.0, {5, 1500}, 80},
      {"37 samples, two channels", 8000, 2, 37.0, 0.8, {5, 1000}, 37},
      {"a range above the cycle: its shortest multiple there", 12000, 1, 120.0, 1.0, {200, 1000}, 240},
      {"noise alone", 6000, 1, 50.0, 0.0, {5, 750}, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<float> v = recording(c.count, c.channels, c.cycle, c.amplitude);
    const init::FrameSearch s = init::search_frame(init::SeriesRows{v, c.channels, c.count}, c.range);
    EXPECT_EQ(s.chosen, c.chosen);
    ASSERT_FALSE(s.scored.empty());
    if (c.chosen) {
      // A multiple scores about as high as the cycle: the choice is the shortest near the best.
      EXPECT_GE(s.scored.front().coherent_share, s.scored.back().coherent_share);
      EXPECT_EQ(*c.chosen % static_cast<int>(c.cycle), 0);
    }
  }
}

// init says what the search found, in the data's units, and falls back to the autocorrelation
// when nothing stands out, saying so.
TEST(InitFrameSearch, SaysTheCycleOrTheFallback) {
  const auto reasons = [](const std::vector<float>& v) {
    csv::Table t;
    t.columns = 1;
    t.rows = static_cast<std::int64_t>(v.size());
    t.values = v;
    init::InitRequest r = init::request_for(t, "x.csv");
    r.sampling = init::Sampling::of_rate(2000.0);
    const init::Result<init::Suggestion> s = init::suggest(r);
    EXPECT_TRUE(s.ok());
    return s.ok() ? s.value->reasons : std::vector<std::string>{};
  };
  const std::vector<std::string> found = reasons(recording(12000, 1, 80.0, 1.0));
  ASSERT_GE(found.size(), 4u);
  EXPECT_NE(found[2].find("a cycle of 80 samples = 25.000 Hz"), std::string::npos) << found[2];
  EXPECT_EQ(found[3].rfind("frame search: lengths 5 to 1500 screened", 0), 0u) << found[3];
  const std::vector<std::string> noise = reasons(recording(6000, 1, 50.0, 0.0));
  ASSERT_GE(noise.size(), 3u);
  EXPECT_NE(noise[2].find("no candidate of the frame search stands out"), std::string::npos) << noise[2];
}

}  // namespace
