// Every thread count gives the same bytes: every reference case and example at 1, 2, 3 and 8
// threads, a stop in a middle series, and a series whose coherence takes the incomplete gamma
// function's result carried from the series before it.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace tramel::testing {
namespace {

namespace fs = std::filesystem;
const fs::path kRoot = TRAMEL_SOURCE_DIR;

// Everything an invocation leaves behind, the run lines masked.
struct Result {
  int status = -1;
  std::string out, err, diagnostics, report, forecast, json;
  bool operator==(const Result&) const = default;
};

Result run_in(const TempFolder& f, int threads, std::vector<std::string> arguments = {}) {
  for (const auto& e : fs::directory_iterator(f.path()))
    if (is_output(e.path().filename().string())) fs::remove(e.path());
  for (const std::string& a : {std::string("--json"), std::string("--threads"), std::to_string(threads)})
    arguments.push_back(a);
  const Outcome o = run_program(f.path(), 0, arguments);
  Result r;
  r.status = o.status;
  r.out = mask_run_lines(o.out);
  r.err = o.err;
  r.diagnostics = o.diagnostics;
  r.report = mask_run_lines(o.report);
  for (const auto& e : fs::directory_iterator(f.path()))
    if (e.path().extension() == ".forec" || e.path().filename().string().ends_with(".forecast.csv"))
      r.forecast += read_file(e.path());
  r.json = f.read("tramel.json");
  return r;
}

// The inputs of a reference case or an example in a folder of their own.
void copy_inputs(const fs::path& from, const TempFolder& to) {
  for (const auto& e : fs::directory_iterator(from)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && !is_output(name) && e.path().extension() != ".md")
      fs::copy_file(e.path(), to.path() / name);
  }
}

void expect_same_for_every_count(const TempFolder& f, const std::vector<std::string>& arguments = {}) {
  const Result one = run_in(f, 1, arguments);
  for (const int threads : {2, 3, 8}) {
    SCOPED_TRACE(threads);
    const Result r = run_in(f, threads, arguments);
    EXPECT_EQ(r.status, one.status);
    EXPECT_EQ(r.out, one.out);
    EXPECT_EQ(r.err, one.err);
    EXPECT_EQ(r.diagnostics, one.diagnostics);
    EXPECT_EQ(r.report, one.report);
    EXPECT_EQ(r.forecast, one.forecast);
    EXPECT_EQ(r.json, one.json);
  }
}

TEST(Threads, ReferenceCasesAndExamples) {
  std::vector<fs::path> inputs;
  for (const std::string& c : run_folders(kRoot / "tests" / "cases", "input"))
    inputs.push_back(kRoot / "tests" / "cases" / c / "input");
  for (const std::string& e : run_folders(kRoot / "examples", "."))
    inputs.push_back(kRoot / "examples" / e);
  ASSERT_GE(inputs.size(), 20u);
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.string());
    TempFolder f;
    copy_inputs(input, f);
    expect_same_for_every_count(f, arguments_of(input));
  }
}

// The models that follow the level, their intervals and the backtest, on every example: the
// same bytes at every thread count too.
TEST(Threads, ModelsOnEveryExample) {
  for (const std::string& e : run_folders(kRoot / "examples", ".")) {
    SCOPED_TRACE(e);
    TempFolder f;
    copy_inputs(kRoot / "examples" / e, f);
    expect_same_for_every_count(f, {"--model", "auto", "--intervals", "80,95", "--backtest", "4"});
  }
}

// Three series of a 12-month cycle with noise; `noise_only` of them (1-based, 0: none) has no
// cycle at all, and `nan_at` (0: none) puts a value that is not a number into series 2.
std::string three_series(int noise_only, int nan_at = 0) {
  std::string text = "Three series\n1200 1.0 (3f10.4)\n";
  unsigned seed = 12345;
  const auto noise = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<double>((seed >> 8) & 0xffff) / 65536.0 - 0.5;
  };
  for (int i = 0; i < 1200; ++i) {
    for (int s = 1; s <= 3; ++s) {
      const double cycle = s == noise_only ? 0.0 : std::sin(2 * 3.141592653589793 * i / 12.0 + s);
      char field[16];
      if (s == 2 && i + 1 == nan_at)
        std::snprintf(field, sizeof field, "%10s", "NaN");
      else
        std::snprintf(field, sizeof field, "%10.4f", cycle + noise());
      text += field;
    }
    text += '\n';
  }
  return text;
}

const std::string kThreeSeries =
    global_block({.columns = "3", .prob = "0.999"}) + run_block({.bw = "Resolution bandwidth = 12.0"});

TEST(Threads, StopInAMiddleSeriesWritesNothingAfterIt) {
  TempFolder f;
  f.write("tramel.cnl", kThreeSeries);
  f.write("err.dat", three_series(/*noise_only=*/2));
  const Result one = run_in(f, 1);
  ASSERT_EQ(one.status, 1);
  EXPECT_NE(one.report.find("| Series No.   2  |"), std::string::npos);
  EXPECT_NE(one.report.find("No frequencies have significant"), std::string::npos);
  EXPECT_EQ(one.report.find("| Series No.   3  |"), std::string::npos);
  EXPECT_EQ(one.forecast, "");
  expect_same_for_every_count(f);
}

TEST(Threads, CarriedChiSquareResultReachesTheNextSeries) {
  // A value that is not a number spoils every bin of series 2: each probability is the last
  // one the chi-square routine computed, that of series 1's last bin.
  TempFolder f;
  f.write("tramel.cnl", kThreeSeries);
  f.write("err.dat", three_series(/*noise_only=*/0, /*nan_at=*/100));
  const Result one = run_in(f, 1);
  EXPECT_NE(one.report.find("too large, ITMAX too small in gcf"), std::string::npos);
  EXPECT_NE(one.diagnostics.find("could not be computed"), std::string::npos) << one.diagnostics;
  expect_same_for_every_count(f);
}

}  // namespace
}  // namespace tramel::testing
