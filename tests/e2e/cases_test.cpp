// Every folder of tests/cases run as a user would run it, its output compared with the
// expected files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace fs = std::filesystem;
using namespace tramel::testing;

namespace {

fs::path cases_root() { return fs::path(TRAMEL_SOURCE_DIR) / "tests" / "cases"; }

std::vector<std::string> case_names() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(cases_root()))
    if (entry.is_directory() && fs::exists(entry.path() / "input" / "tramel.cnl"))
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class Case : public ::testing::TestWithParam<std::string> {};

TEST_P(Case, MatchesExpectedOutput) {
  const fs::path dir = cases_root() / GetParam();
  TempFolder work;
  for (const auto& f : fs::directory_iterator(dir / "input"))
    fs::copy_file(f.path(), work.path() / f.path().filename());

  const Outcome got = run_program(work.path());
  const fs::path expected = dir / "expected";

  EXPECT_EQ(std::to_string(got.status) + "\n", read_file(expected / "exit-status.txt"));
  EXPECT_EQ(mask_run_lines(got.out), mask_run_lines(read_file(expected / "stdout.txt")));
  EXPECT_EQ(got.err, read_file(expected / "stderr.txt"));
  EXPECT_EQ(mask_run_lines(read_file(work.path() / "tramel.out")),
            mask_run_lines(read_file(expected / "tramel.out")));
  for (const auto& f : fs::directory_iterator(expected)) {
    if (f.path().extension() != ".forec") continue;
    ASSERT_TRUE(fs::exists(work.path() / f.path().filename())) << f.path().filename();
    EXPECT_EQ(read_file(work.path() / f.path().filename()), read_file(f.path()))
        << f.path().filename();
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, ::testing::ValuesIn(case_names()),
                         [](const auto& info) { return info.param; });

}  // namespace
