// Every folder of examples/ run as the README tells a user to run it: the folder's files copied
// into an empty folder, the program started there. The report and the forecast file it leaves
// must be the ones shipped beside the example, so the examples never go stale. An example with
// an ols-errors/ folder also ships the report and forecast file of a run with --ols-errors
// there, and is run that way too.
#include <gtest/gtest.h>

#include "run_program.hpp"

namespace {

using namespace tramel::testing;
const std::filesystem::path kExamples = std::filesystem::path(TRAMEL_SOURCE_DIR) / "examples";

std::vector<std::string> ols_error_examples() {
  return run_folders(kExamples, "ols-errors", "tramel.out");
}

TEST(Examples, OnePerUnitModeAtLeast) { EXPECT_GE(run_folders(kExamples, ".").size(), 5u); }

TEST(Examples, OneWithLeastSquaresErrorsAtLeast) { EXPECT_GE(ols_error_examples().size(), 1u); }

class Example : public ::testing::TestWithParam<std::string> {};

TEST_P(Example, ProducesTheShippedReportAndForecast) {
  const std::filesystem::path dir = kExamples / GetParam();
  EXPECT_TRUE(std::filesystem::exists(dir / "README.md"));
  const Outcome got = run_and_compare(dir, dir);
  EXPECT_EQ(got.status, 0) << got.out << got.err;
  EXPECT_EQ(got.err, "");
}

INSTANTIATE_TEST_SUITE_P(Examples, Example, ::testing::ValuesIn(run_folders(kExamples, ".")),
                         [](const auto& info) { return info.param; });

class ExampleWithOlsErrors : public ::testing::TestWithParam<std::string> {};

TEST_P(ExampleWithOlsErrors, ProducesTheShippedReportAndForecast) {
  const std::filesystem::path dir = kExamples / GetParam();
  const Outcome got = run_and_compare(dir, dir / "ols-errors", {"--ols-errors"});
  EXPECT_EQ(got.status, 0) << got.out << got.err;
  EXPECT_EQ(got.err, "");
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleWithOlsErrors, ::testing::ValuesIn(ols_error_examples()),
                         [](const auto& info) { return info.param; });

}  // namespace
