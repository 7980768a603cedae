// Every folder of examples/ run as the README tells a user to run it: the folder's files copied
// into an empty folder, the program started there. The report and the forecast file it leaves
// must be the ones shipped beside the example, so the examples never go stale.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace fs = std::filesystem;
using namespace tramel::testing;

namespace {

fs::path examples_root() { return fs::path(TRAMEL_SOURCE_DIR) / "examples"; }

std::vector<std::string> example_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(examples_root()))
    if (entry.is_directory() && fs::exists(entry.path() / "tramel.cnl"))
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// What the program writes: the report and the forecast file (named after the data file).
bool is_output(const fs::path& file) {
  return file.filename() == "tramel.out" || file.extension() == ".forec";
}

std::vector<std::string> forecast_files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& f : fs::directory_iterator(dir))
    if (f.path().extension() == ".forec") names.push_back(f.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Examples, EveryKindIsShipped) {
  // One example per unit mode at least, and each with its own README.
  const std::vector<std::string> names = example_names();
  EXPECT_GE(names.size(), 5u);
  for (const std::string& name : names) {
    EXPECT_TRUE(fs::exists(examples_root() / name / "README.md")) << name;
    EXPECT_TRUE(fs::exists(examples_root() / name / "tramel.out")) << name;
    EXPECT_EQ(forecast_files(examples_root() / name).size(), 1u) << name;
  }
}

class Example : public ::testing::TestWithParam<std::string> {};

TEST_P(Example, ProducesTheShippedReportAndForecast) {
  const fs::path dir = examples_root() / GetParam();
  TempFolder work;
  for (const auto& f : fs::directory_iterator(dir))
    if (f.is_regular_file() && !is_output(f.path()))
      fs::copy_file(f.path(), work.path() / f.path().filename());

  const Outcome got = run_program(work.path());

  EXPECT_EQ(got.status, 0) << got.out << got.err;
  EXPECT_EQ(got.err, "");
  EXPECT_EQ(mask_run_lines(read_file(work.path() / "tramel.out")),
            mask_run_lines(read_file(dir / "tramel.out")));
  const std::vector<std::string> shipped = forecast_files(dir);
  EXPECT_EQ(forecast_files(work.path()), shipped);
  for (const std::string& name : shipped)
    EXPECT_EQ(read_file(work.path() / name), read_file(dir / name)) << name;
}

INSTANTIATE_TEST_SUITE_P(Examples, Example, ::testing::ValuesIn(example_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
