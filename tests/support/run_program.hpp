// Runs the built program in a folder, the way a user does: no arguments, standard input empty,
// the folder as working directory; collects its console output, report and exit status.
#pragma once

#include <filesystem>
#include <string>

namespace tramel::testing {

// A fresh empty folder under the system's temporary directory, removed by the destructor.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;  // "<absent>" when there is no such file

 private:
  std::filesystem::path path_;
};

struct Outcome {
  int status = -1;     // exit status, or -1 when the program did not exit normally
  std::string out;     // standard output
  std::string err;     // standard error
  std::string report;  // tramel.out, "<absent>" when not written
};

Outcome run_program(const std::filesystem::path& folder);

std::string read_file(const std::filesystem::path& file);
void write_file(const std::filesystem::path& file, const std::string& text);

// The lines that differ from run to run (date, elapsed time, the error number of a failed
// read) replaced by fixed markers.
std::string mask_run_lines(const std::string& text);

}  // namespace tramel::testing
