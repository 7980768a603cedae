// Runs the built program the way a user does: in a folder of its own, no arguments, standard
// input empty; collects the report, the console streams and the exit status.
#pragma once

#include <filesystem>
#include <string>

namespace tramel::control::testing {

// A fresh empty folder under the temporary directory, removed with the object.
class Folder {
 public:
  Folder();
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  void write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;  // "<absent>" when there is no such file

 private:
  std::filesystem::path path_;
};

struct Outcome {
  int status = -1;     // exit status, -1 when the program did not exit normally
  std::string out;     // standard output
  std::string err;     // standard error
  std::string report;  // tramel.out, "<absent>" when not written
};

Outcome run_in(const Folder& folder);

// The date and elapsed-time lines, which differ from run to run, replaced by fixed text.
std::string masked(const std::string& text);

}  // namespace tramel::control::testing
