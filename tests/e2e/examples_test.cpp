// Every folder of examples/ run as the README tells a user to run it: the folder's files copied
// into an empty folder, the program started there. The report and the forecast file it leaves
// must be the ones shipped beside the example, so the examples never go stale.
#include <gtest/gtest.h>

#include "run_program.hpp"

namespace {

using namespace tramel::testing;
const std::filesystem::path kExamples = std::filesystem::path(TRAMEL_SOURCE_DIR) / "examples";

TEST(Examples, OnePerUnitModeAtLeast) { EXPECT_GE(run_folders(kExamples, ".").size(), 5u); }

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

}  // namespace
