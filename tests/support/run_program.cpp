#include "run_program.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

Outcome run_program(const fs::path& folder) {
  // The console goes to files beside the folder, not in it, so the folder holds only what
  // the program writes.
  const fs::path out_file = folder.string() + ".stdout";
  const fs::path err_file = folder.string() + ".stderr";
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
    execl(TRAMEL_BINARY, "tramel", static_cast<char*>(nullptr));
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  Outcome o;
  o.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  o.out = read_file(out_file);
  o.err = read_file(err_file);
  fs::remove(out_file);
  fs::remove(err_file);
  o.report = fs::is_regular_file(folder / "tramel.out") ? read_file(folder / "tramel.out")
                                                          : "<absent>";
  return o;
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

std::string mask_run_lines(const std::string& text) {
  std::string result;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(" Date & Time ", 0) == 0) line = " Date & Time <masked>";
    if (line.rfind(" Elapsed time = ", 0) == 0) line = " Elapsed time = <masked>";
    if (line.rfind(" ** Error in read of data file ", 0) == 0)
      line = " ** Error in read of data file <number>";
    result += line;
    result += '\n';
  }
  if (!text.empty() && text.back() != '\n' && !result.empty()) result.pop_back();
  return result;
}

}  // namespace tramel::testing
