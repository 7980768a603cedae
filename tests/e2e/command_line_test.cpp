// The command line as a user meets it: help and version, a working folder given as an
// argument, and every kind of wrong command line refused with exit status 2 before any file is
// created or changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace tramel::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> files_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CommandLine, HelpAndVersion) {
  TempFolder f;
  const Outcome help = run_program(f.path(), 0, {"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--json", "--plot", "--threads", "--strict", "--ols-errors",
                             "--version", "--help", "FOLDER", "Exit status"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  const Outcome version = run_program(f.path(), 0, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("tramel ")) << version.out;
  EXPECT_EQ(version.out.find_first_not_of("0123456789.", 7), version.out.size() - 1);
  EXPECT_TRUE(files_in(f.path()).empty());
}

// Every option that takes a value says, in one wording, what it needs and what it was given.
TEST(CommandLine, RefusedValuesSayWhatIsNeeded) {
  const struct {
    std::vector<std::string> arguments;
    const char* says;
  } cases[] = {
      {{"--threads", "two"}, "tramel: --threads: a whole number from 1 to 4096 is needed, not \"two\"\n"},
      {{"--threads", "1.5"}, "tramel: --threads: a whole number from 1 to 4096 is needed, not \"1.5\"\n"},
      {{"--sampling", "zero"}, "tramel: --sampling: a number above 0 is needed, not \"zero\"\n"},
      {{"--model", "ets"},
       "tramel: --model: one of as-specified, changes, levels, smooth, auto is needed, not \"ets\"\n"},
      {{"--model", "auto", "--intervals", "80,x"},
       "tramel: --intervals: levels in percent above 0 and below 100, as in 80,95, are needed, "
       "not \"x\"\n"},
      {{"init", "nottem.dat", "--frame", "4.5"},
       "tramel: --frame: a whole number from 1 to 9999999 is needed, not \"4.5\"\n"},
      {{"init", "."}, "tramel: init: the data file . is a folder\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.says);
    TempFolder f;
    copy_nottem(f);
    const Outcome o = run_program(f.path(), 0, c.arguments);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.diagnostics, c.says);
  }
}

TEST(CommandLine, WrongCommandLinesChangeNothing) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--bogus"},            // an unknown option
      {"--threads"},          // a value missing
      {"--threads", "0"},     // a value out of range
      {"--threads", "many"},  // a value that is not a number
      {".", "."},             // a second folder
      {"-j"},                 // an unknown short option
  };
  for (const auto& args : wrong) {
    SCOPED_TRACE(args.front());
    TempFolder f;
    copy_nottem(f);
    const std::vector<std::string> before = files_in(f.path());
    const Outcome o = run_program(f.path(), 0, args);
    EXPECT_EQ(o.status, 2);
    EXPECT_EQ(o.out, "");
    // One line saying what is wrong, and the usage hint.
    EXPECT_TRUE(o.diagnostics.starts_with("tramel: ")) << o.diagnostics;
    EXPECT_EQ(std::count(o.diagnostics.begin(), o.diagnostics.end(), '\n'), 1) << o.diagnostics;
    EXPECT_NE(o.err.find("tramel --help"), std::string::npos) << o.err;
    EXPECT_EQ(files_in(f.path()), before);
  }
}

TEST(CommandLine, FolderArgument) {
  TempFolder work, elsewhere;
  copy_nottem(work);
  // Run from another folder: every output goes to the one named.
  const Outcome o = run_program(elsewhere.path(), 0, {work.path().string()});
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(files_in(elsewhere.path()).empty());
  EXPECT_EQ(mask_run_lines(work.read("tramel.out")),
            mask_run_lines(read_file(kExamples / "nottem" / "tramel.out")));
  EXPECT_EQ(work.read("nottem.forec"), read_file(kExamples / "nottem" / "nottem.forec"));

  const Outcome missing = run_program(elsewhere.path(), 0, {(work.path() / "nowhere").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.diagnostics.find("nowhere does not exist"), std::string::npos)
      << missing.diagnostics;
  const Outcome file = run_program(elsewhere.path(), 0, {(work.path() / "nottem.dat").string()});
  EXPECT_EQ(file.status, 2);
  EXPECT_NE(file.diagnostics.find("is not a folder"), std::string::npos) << file.diagnostics;
}

}  // namespace
}  // namespace tramel::testing
