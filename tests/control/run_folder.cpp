#include "run_folder.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tramel::control::testing {

namespace fs = std::filesystem;

Folder::Folder() {
  static std::atomic<int> counter{0};
  path_ = fs::temp_directory_path() /
          ("tramel-control-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

Folder::~Folder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void Folder::write(const std::string& name, const std::string& text) const {
  std::ofstream(path_ / name, std::ios::binary) << text;
}

std::string Folder::read(const std::string& name) const {
  if (!fs::is_regular_file(path_ / name)) return "<absent>";
  std::ifstream in(path_ / name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Outcome run_in(const Folder& folder) {
  const fs::path out_file = fs::temp_directory_path() / (folder.path().filename().string() + ".1");
  const fs::path err_file = fs::temp_directory_path() / (folder.path().filename().string() + ".2");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || chdir(folder.path().c_str()) != 0) _exit(126);
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
  const auto slurp = [](const fs::path& f) {
    std::ifstream in(f, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  o.out = slurp(out_file);
  o.err = slurp(err_file);
  fs::remove(out_file);
  fs::remove(err_file);
  o.report = folder.read("tramel.out");
  return o;
}

std::string masked(const std::string& text) {
  std::istringstream in(text);
  std::string result;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(" Date & Time ", 0) == 0) line = " Date & Time <masked>";
    if (line.rfind(" Elapsed time = ", 0) == 0) line = " Elapsed time = <masked>";
    if (line.rfind(" ** Error in read of data file ", 0) == 0)
      line = " ** Error in read of data file <number>";
    result += line + "\n";
  }
  return result;
}

}  // namespace tramel::control::testing
