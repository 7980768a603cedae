// Runs the program in a folder, the way a user does: no arguments unless a test gives some,
// standard input empty, the folder as working directory; builds the control files the
// run-control tests vary, and checks a table of invocations against what they must leave
// behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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
  std::string err;     // standard error, without the program's own diagnostics
  std::string diagnostics;  // the lines of standard error that begin "tramel: "
  std::string report;  // tramel.out, "<absent>" when not written
};

// The built program in `folder`, given `arguments` on its command line; with a memory limit,
// the program in a child of the test process instead, its work arrays limited to that many
// bytes (no arguments then).
Outcome run_program(const std::filesystem::path& folder, std::uint64_t memory_limit = 0,
                    const std::vector<std::string>& arguments = {});

// The built program that run_program runs.
std::filesystem::path program_path();

// The shipped examples' folder.
inline const std::filesystem::path kExamples = std::filesystem::path(TRAMEL_SOURCE_DIR) / "examples";

// A folder holding the nottem example's control file and data.
void copy_nottem(const TempFolder& to);

// The lines of a text, without their line ends.
std::vector<std::string> lines(const std::string& text);
// `text` with the first `from` in it replaced by `to` (unchanged when there is none).
std::string replaced(std::string text, const std::string& from, const std::string& to);

std::string read_file(const std::filesystem::path& file);
void write_file(const std::filesystem::path& file, const std::string& text);

// The date and elapsed-time lines replaced by fixed markers, and (with `error_number`) the
// number after "** Error in read of data file".
std::string mask_run_lines(const std::string& text, bool error_number = true);

// ---- Reference runs ------------------------------------------------------------------------

// The names of the folders under `root` whose `sub` folder holds `file`, sorted.
std::vector<std::string> run_folders(const std::filesystem::path& root, const char* sub,
                                     const char* file = "tramel.cnl");

// Whether a file is one the program writes (a report, a forecast file, JSON, a plot) rather
// than an input.
bool is_output(const std::string& name);
// The command line an example is run with: the words of its file `arguments`, none without it.
std::vector<std::string> arguments_of(const std::filesystem::path& folder);

// Runs the program with `arguments` on the inputs in `input` (its files, not the outputs kept
// beside them) in an empty folder, and compares its report (masked) and forecast files (the
// .forec file, and NAME.forecast.csv when there is one) with those in `expected`.
Outcome run_and_compare(const std::filesystem::path& input, const std::filesystem::path& expected,
                        const std::vector<std::string>& arguments = {});

// ---- Control files ------------------------------------------------------------------------

// The global block; each field is the text after its keyword.
struct Global {
  std::string runs = "1", columns = "1", name = "=err.dat", prob = "0.95", frames = "1",
              lags = "1", unit = "=months";
};
std::string global_block(const Global& g = {});

// A run block of four lines, each ended by "   * run".
struct RunLines {
  std::string band = "Longest period = 12.0   Shortest period = 2.4";
  std::string bw = "Resolution bandwidth = 12.0";
  std::string taper = "% taper = 0.0";
  std::string range = "Data start = 1   Data end = 0";
};
std::string run_block(const RunLines& r = {});

inline const std::string kBanner = "           Quorvane\n            Release 1.00\n";
inline const std::string kClosing =  // the closing lines, masked
    " Version 10-14-2002\n Date & Time <masked>\n Elapsed time = <masked>\n";
std::string title_line(const std::string& title);  // the echo of the data file's title
// The sample line and run header of global_block() + run_block() on 600 data.
inline const std::string kTimeRunHeader =
    "\n  First datum used        1  Last datum used     600  Sample size =      600\n" +
    std::string(60, '=') + "\n Sampling interval =  1.00000     months \n\n"
    " Resolution Bandwidth =  12.00     months   No. Frames      50 . Frame Length     12\n\n"
    " Passband (    12.00       2.40 ) months \n\n"
    "       No. of frequencies in band      5\n\n"
    "       No. of frames forecasted =   1  VAR Lags =  1\n\n";
std::string read_error(int number, std::string fmt);  // the data reader's two stop lines

// ---- A table of invocations ---------------------------------------------------------------

struct Case {
  const char* name;
  std::string cnl;                       // tramel.cnl
  std::optional<std::string> data = {};  // err.dat; none: the table's usual one
  std::string report;  // masked, error numbers kept; "<absent>"; the start when status is 0
  std::string out = "";  // masked
  std::string err = "";
  int status = 1;
  std::string forecast = "<any>";  // err.forec, "<absent>", or "<any>": not checked
  std::uint64_t memory_limit = 0;
  std::function<void(const TempFolder&)> setup = nullptr;  // more files before the run
  // The lines of standard error that begin "tramel: ", when the case checks them ("<folder>"
  // stands for the case's folder); otherwise a stop that says nothing on the console by
  // definition must say something there all the same.
  std::optional<std::string> diagnostics = std::nullopt;
  std::vector<std::string> arguments = {};
};

// Runs the case in a fresh folder and checks its exit status, console, report and forecast
// file, and that no output holds a NUL character. A run that ends normally must end its
// report with the closing lines.
void check(const Case& c, const std::string& usual_data);

}  // namespace tramel::testing
