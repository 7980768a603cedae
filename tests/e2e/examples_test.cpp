// Every folder of examples/ run as the README tells a user to run it: the folder's files copied
// into an empty folder, the program started there. The report and the forecast file it leaves
// must be the ones shipped beside the example, so the examples never go stale. An example with
// a file `arguments` is run with those options. An example with an ols-errors/ folder also
// ships the report and forecast file of a run with --ols-errors there, and is run that way
// too.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "run_program.hpp"

namespace {

using namespace tramel::testing;

std::vector<std::string> ols_error_examples() {
  return run_folders(kExamples, "ols-errors", "tramel.out");
}

TEST(Examples, OnePerUnitModeAtLeast) { EXPECT_GE(run_folders(kExamples, ".").size(), 5u); }

TEST(Examples, OneWithLeastSquaresErrorsAtLeast) { EXPECT_GE(ols_error_examples().size(), 1u); }

class Example : public ::testing::TestWithParam<std::string> {};

TEST_P(Example, ProducesTheShippedReportAndForecast) {
  const std::filesystem::path dir = kExamples / GetParam();
  EXPECT_TRUE(std::filesystem::exists(dir / "README.md"));
  const Outcome got = run_and_compare(dir, dir, arguments_of(dir));
  EXPECT_EQ(got.status, 0) << got.out << got.err;
  EXPECT_EQ(got.err, "");
}

// A test name of the folder name: letters, digits and underscores.
std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Examples, Example, ::testing::ValuesIn(run_folders(kExamples, ".")),
                         test_name);

class ExampleWithOlsErrors : public ::testing::TestWithParam<std::string> {};

TEST_P(ExampleWithOlsErrors, ProducesTheShippedReportAndForecast) {
  const std::filesystem::path dir = kExamples / GetParam();
  const Outcome got = run_and_compare(dir, dir / "ols-errors", {"--ols-errors"});
  EXPECT_EQ(got.status, 0) << got.out << got.err;
  EXPECT_EQ(got.err, "");
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleWithOlsErrors, ::testing::ValuesIn(ols_error_examples()),
                         test_name);

}  // namespace
