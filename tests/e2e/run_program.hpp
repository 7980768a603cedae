// Runs the built program in a folder, the way a user does: no arguments, standard input empty,
// the folder as working directory; collects its console output and exit status.
#pragma once

#include <filesystem>
#include <string>

namespace tramel::testing {

struct Outcome {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

Outcome run_program(const std::filesystem::path& folder);

// A fresh empty folder under the system's temporary directory, removed by the destructor.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string read_file(const std::filesystem::path& file);
void write_file(const std::filesystem::path& file, const std::string& text);

// The lines that differ from run to run (date, elapsed time) replaced by a fixed marker.
std::string mask_run_lines(const std::string& text);

}  // namespace tramel::testing
