#include "run_program.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "data/data.hpp"
#include "tramel.hpp"

namespace tramel::testing {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("tramel-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void TempFolder::write(const std::string& name, const std::string& text) const {
  write_file(path_ / name, text);
}

std::string TempFolder::read(const std::string& name) const {
  if (!fs::is_regular_file(path_ / name)) return "<absent>";
  return read_file(path_ / name);
}

Outcome run_program(const fs::path& folder, std::uint64_t memory_limit,
                    const std::vector<std::string>& arguments) {
  if (memory_limit != 0 && !arguments.empty())
    throw std::invalid_argument("the in-process run takes no arguments");
  // The console goes to files beside the folder, not in it, so the folder holds only what
  // the program writes.
  const fs::path out_file = folder.string() + ".stdout";
  const fs::path err_file = folder.string() + ".stderr";
  std::vector<const char*> argv{"tramel"};  // built before the fork: the child only execs
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(folder.c_str()) != 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (memory_limit == 0) {
      execv(TRAMEL_BINARY, const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    const int status = program(Options{.folder = ".", .memory_limit = memory_limit});
    std::fflush(nullptr);
    _exit(status);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  Outcome o;
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  o.out = read_file(out_file);
  // The program's own diagnostics apart from the lines standard error has by definition.
  std::istringstream err(read_file(err_file));
  for (std::string line; std::getline(err, line);)
    (line.starts_with("tramel: ") ? o.diagnostics : o.err) += line + "\n";
  fs::remove(out_file);
  fs::remove(err_file);
  o.report = fs::is_regular_file(folder / "tramel.out") ? read_file(folder / "tramel.out")
                                                          : "<absent>";
  return o;
}

std::filesystem::path program_path() { return TRAMEL_BINARY; }

void copy_nottem(const TempFolder& to) {
  for (const char* name : {"tramel.cnl", "nottem.dat"})
    fs::copy_file(kExamples / "nottem" / name, to.path() / name);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream s(text);
  for (std::string l; std::getline(s, l);) out.push_back(l);
  return out;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string read_file(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
}

std::string mask_run_lines(const std::string& text, bool error_number) {
  std::string result;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with(" Date & Time ")) line = " Date & Time <masked>";
    if (line.starts_with(" Elapsed time = ")) line = " Elapsed time = <masked>";
    if (error_number && line.starts_with(" ** Error in read of data file "))
      line = " ** Error in read of data file <number>";
    result += line;
    result += '\n';
  }
  if (!text.empty() && text.back() != '\n' && !result.empty()) result.pop_back();
  return result;
}

std::vector<std::string> run_folders(const fs::path& root, const char* sub, const char* file) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(root))
    if (entry.is_directory() && fs::exists(entry.path() / sub / file))
      names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

// The forecast files: NAME.forec, and NAME.forecast.csv when asked for.
std::vector<std::string> forecast_files(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& f : fs::directory_iterator(dir))
    if (f.path().extension() == ".forec" || f.path().filename().string().ends_with(".forecast.csv"))
      names.push_back(f.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool is_output(const std::string& name) {
  return name == "tramel.out" || name == "tramel.json" || name.ends_with(".forec") ||
         name.ends_with(".forecast.csv") || name.ends_with(".svg");
}

std::vector<std::string> arguments_of(const fs::path& folder) {
  std::vector<std::string> arguments;
  std::istringstream words(read_file(folder / "arguments"));
  for (std::string word; words >> word;) arguments.push_back(word);
  return arguments;
}

Outcome run_and_compare(const fs::path& input, const fs::path& expected,
                        const std::vector<std::string>& arguments) {
  TempFolder work;
  for (const auto& f : fs::directory_iterator(input))
    if (f.is_regular_file() && !is_output(f.path().filename().string()))
      fs::copy_file(f.path(), work.path() / f.path().filename());
  const Outcome got = run_program(work.path(), 0, arguments);
  for (const std::string* text : {&got.out, &got.err, &got.diagnostics, &got.report})
    EXPECT_EQ(text->find('\0'), std::string::npos) << "a NUL character in an output";
  EXPECT_EQ(mask_run_lines(got.report), mask_run_lines(read_file(expected / "tramel.out")));
  const std::vector<std::string> names = forecast_files(expected);
  EXPECT_EQ(forecast_files(work.path()), names);
  for (const std::string& name : names)
    EXPECT_EQ(read_file(work.path() / name), read_file(expected / name)) << name;
  return got;
}

std::string global_block(const Global& g) {
  return "No. of runs = " + g.runs + "   No. of data/file = " + g.columns + "   * runs, columns\n" +
         "Data file name " + g.name + "   * data file\n" +
         "Coherence probability = " + g.prob + "   * threshold\n" +
         "No. of frames = " + g.frames + "   No. of lags = " + g.lags + "   * horizon, lags\n" +
         "Sampling unit " + g.unit + "   * unit\n" + "######## end of global block\n";
}

std::string run_block(const RunLines& r) {
  std::string text;
  for (const std::string* line : {&r.band, &r.bw, &r.taper, &r.range}) text += *line + "   * run\n";
  return text + "######## end of run block\n";
}

std::string title_line(const std::string& title) {
  std::string line(80, ' ');
  line.replace(1, std::min<std::size_t>(title.size(), 79), title, 0, 79);
  return line + "\n";
}

std::string read_error(int number, std::string fmt) {
  fmt.resize(50, ' ');
  char line[64];
  std::snprintf(line, sizeof line, " ** Error in read of data file  %11d\n", number);
  return line + (" Check format" + fmt + "\n");
}

void check(const Case& c, const std::string& usual_data) {
  SCOPED_TRACE(c.name);
  TempFolder folder;
  folder.write("tramel.cnl", c.cnl);
  folder.write("err.dat", c.data.value_or(usual_data));
  if (c.setup) c.setup(folder);
  const Outcome o = run_program(folder.path(), c.memory_limit, c.arguments);
  EXPECT_EQ(o.status, c.status);
  EXPECT_EQ(mask_run_lines(o.out), c.out);
  EXPECT_EQ(o.err, c.err);
  if (c.diagnostics) {
    // "<folder>" stands for the folder the case runs in.
    std::string expected = *c.diagnostics;
    std::string folder_name = fs::absolute(folder.path()).lexically_normal().string();
    if (folder_name.size() > 1 && folder_name.back() == '/') folder_name.pop_back();
    for (std::size_t at = expected.find("<folder>"); at != std::string::npos;
         at = expected.find("<folder>", at + folder_name.size()))
      expected.replace(at, 8, folder_name);
    EXPECT_EQ(o.diagnostics, expected);
  } else if (c.status == 1 && c.out.empty() && c.err.empty()) {
    EXPECT_FALSE(o.diagnostics.empty()) << "a stop said nowhere but in the report";
  }
  for (const std::string* text : {&o.out, &o.err, &o.diagnostics, &o.report})
    EXPECT_EQ(text->find('\0'), std::string::npos) << "a NUL character in an output";
  EXPECT_EQ(folder.read("err.forec").find('\0'), std::string::npos);
  const std::string report = mask_run_lines(o.report, false);
  if (c.status == 0 || c.status == 3) {
    EXPECT_EQ(report.substr(0, c.report.size()), c.report);
    EXPECT_TRUE(report.ends_with(kClosing)) << report;
  } else {
    EXPECT_EQ(report, c.report);
  }
  if (c.forecast != "<any>") {
    EXPECT_EQ(folder.read("err.forec"), c.forecast);
  }
}

}  // namespace tramel::testing
