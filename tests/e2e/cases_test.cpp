// Every folder of tests/cases run as a user would run it, its output compared with the
// expected files.
#include <gtest/gtest.h>

#include "run_program.hpp"

namespace {

using namespace tramel::testing;
const std::filesystem::path kCases = std::filesystem::path(TRAMEL_SOURCE_DIR) / "tests" / "cases";

class Case : public ::testing::TestWithParam<std::string> {};

TEST_P(Case, MatchesExpectedOutput) {
  const std::filesystem::path expected = kCases / GetParam() / "expected";
  const Outcome got = run_and_compare(kCases / GetParam() / "input", expected);
  EXPECT_EQ(std::to_string(got.status) + "\n", read_file(expected / "exit-status.txt"));
  EXPECT_EQ(mask_run_lines(got.out), mask_run_lines(read_file(expected / "stdout.txt")));
  EXPECT_EQ(got.err, read_file(expected / "stderr.txt"));
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, ::testing::ValuesIn(run_folders(kCases, "input")),
                         [](const auto& info) { return info.param; });

}  // namespace
