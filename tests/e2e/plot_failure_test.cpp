// A plot that cannot be written loses nothing else: with a folder in the plot's place, or a
// plot whose writes fail (a full disk), the program says which plot and why in one line, ends
// with exit status 1, and leaves the report, the forecast file and tramel.json exactly as a run
// without --plot leaves them.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "run_program.hpp"

namespace tramel::testing {
namespace {

namespace fs = std::filesystem;

TEST(PlotFailure, TheOtherOutputsStayWhole) {
#ifdef TRAMEL_NO_PLOTS
  GTEST_SKIP() << "a build without plots";
#endif
  TempFolder without;
  copy_nottem(without);
  ASSERT_EQ(run_program(without.path(), 0, {"--json"}).status, 0);

  const struct {
    const char* name;
    std::function<void(const fs::path&)> spoil;  // makes the plot's file unwritable
    const char* reason;
  } cases[] = {
      {"a folder in the plot's place",
       [](const fs::path& plot) { fs::create_directory(plot); }, "Is a directory"},
      {"a plot whose writes fail",
       [](const fs::path& plot) { fs::create_symlink("/dev/full", plot); }, "No space left on device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder f;
    copy_nottem(f);
    const fs::path plot = f.path() / "tramel-run1-series1.svg";
    c.spoil(plot);
    const Outcome o = run_program(f.path(), 0, {"--json", "--plot"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.diagnostics,
              std::string("tramel: cannot write the plot tramel-run1-series1.svg: ") + c.reason + "\n");
    EXPECT_EQ(mask_run_lines(o.report), mask_run_lines(without.read("tramel.out")));
    EXPECT_EQ(f.read("nottem.forec"), without.read("nottem.forec"));
    EXPECT_EQ(f.read("tramel.json"), without.read("tramel.json"));
  }
}

}  // namespace
}  // namespace tramel::testing
