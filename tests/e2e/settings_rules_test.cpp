// The rules of a run's settings through the program's faces: every bad setting of the table in
// tests/settings_rules.json in the control file, on the command line and to tramel init says
// its rule in the same words, after the face's own framing, with the right exit status. (The Python module's
// faces read the same table: python/tests/test_settings_rules.py.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace tramel::testing {
namespace {

using Json = nlohmann::json;

Json table() {
  std::ifstream in(std::filesystem::path(TRAMEL_SOURCE_DIR) / "tests" / "settings_rules.json");
  return Json::parse(in);
}

// The table's control file with the row's changes, and its data, in `folder`.
void write_inputs(const TempFolder& folder, const Json& t, const Json& changes) {
  std::string text = t["control_file"];
  for (const auto& [field, usual] : t["usual"].items()) {
    const std::string value = changes.contains(field) ? changes[field] : usual;
    const std::string mark = "{" + field + "}";
    text.replace(text.find(mark), mark.size(), value);
  }
  folder.write("tramel.cnl", text);
  const int count = t["data"]["count"];
  std::string data = "Rules\n" + std::to_string(count) + " 1.0 (f8.3)\n";
  for (int i = 0; i < count; ++i) data += "   " + std::to_string(i % 12) + ".000\n";
  folder.write(t["data"]["file"], data);
}

// The program's own line for the stop: the last of its lines that is neither a warning nor a
// note.
std::string stop_line(const std::string& diagnostics) {
  std::string last;
  std::istringstream lines(diagnostics);
  for (std::string line; std::getline(lines, line);)
    if (!line.starts_with("tramel: warning: ") && !line.starts_with("tramel: note: ")) last = line;
  return last;
}

// The stop's line is the face's framing (a regular expression around "(.*)") and the words.
void expect_said(const Outcome& o, int status, const std::string& framing, const std::string& words) {
  EXPECT_EQ(o.status, status);
  std::smatch said;
  const std::string line = stop_line(o.diagnostics);
  ASSERT_TRUE(std::regex_match(line, said, std::regex(framing))) << o.diagnostics;
  EXPECT_EQ(said[1].str(), words);
}

TEST(SettingsRules, EveryFaceOfTheProgramSaysTheRulesWords) {
  const Json t = table();
  ASSERT_GE(t["rows"].size(), 12u);
  for (const Json& row : t["rows"]) {
    const std::string words = row["words"];
    SCOPED_TRACE(row["what"].get<std::string>());
    if (row.contains("control")) {
      // Framed by the control-file line or lines of the setting (with the row's command line,
      // such as the model whose rule it is).
      TempFolder folder;
      write_inputs(folder, t, row["control"]);
      const std::vector<std::string> arguments = row.value("arguments", std::vector<std::string>());
      expect_said(run_program(folder.path(), 0, arguments), 1, "tramel: tramel\\.cnl lines? [0-9-]+: (.*)",
                  words);
    }
    if (row.contains("command_line")) {
      // Framed by the option, refused before anything is written (2); or by the run whose
      // sample the option does not fit (1).
      TempFolder folder;
      write_inputs(folder, t, Json::object());
      const int status = row["status"];
      const Outcome o =
          run_program(folder.path(), 0, row["command_line"].get<std::vector<std::string>>());
      expect_said(o, status, status == 2 ? "tramel: --[a-z]+: (.*)" : "tramel: run 1: (.*)", words);
      if (status == 2) {
        EXPECT_EQ(o.report, "<absent>");
      }
    }
    if (row.contains("init")) {
      // tramel init on the data alone, framed by its option.
      TempFolder folder;
      write_inputs(folder, t, Json::object());
      std::filesystem::remove(folder.path() / "tramel.cnl");
      std::vector<std::string> arguments{"init", t["data"]["file"]};
      for (const Json& a : row["init"]) arguments.push_back(a);
      expect_said(run_program(folder.path(), 0, arguments), row["init_status"], "tramel: --frame: (.*)",
                  words);
      EXPECT_FALSE(std::filesystem::exists(folder.path() / "tramel.cnl"));
    }
  }
}

}  // namespace
}  // namespace tramel::testing
