// The main program: opens the files of the invocation, reads the global block of the control
// file and the head of the data file, checks the global settings, performs the runs and
// writes the closing lines.
#include "tramel.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "control/control.hpp"

namespace tramel {

namespace {

using control::kSeparator;
using textio::list;
using textio::Sink;
using textio::write;

[[noreturn]] void stop() { throw Stop{1}; }

// The files of one invocation, open from the start to the end of the program.
struct Invocation {
  Sink out{stdout, false, true};
  Sink err{stderr, false, true};
  Sink report;
  Sink forecast;
  textio::TextFile control;
  textio::TextFile data;
  textio::Files files{report, out, err, forecast, data};

  void flush_all() {
    report.flush();
    forecast.flush();
    out.flush();
    err.flush();
  }
};

// The global settings as they come from the control file and the data file's head.
struct Settings {
  control::Globals g;
  std::int32_t runs = 0;
  std::string name;  // the data file name, 80 characters
  std::size_t m = 0;  // 1-based position of the first `.` in the name
  std::string path;   // the name without its trailing blanks
};

void open_control_and_report(Invocation& inv) {
  if (const int e = inv.control.open("tramel.cnl"); e != 0) {
    list(inv.out, "**** Error on opening control file 1 ", e);
    stop();
  }
  if (const int e = inv.report.open("tramel.out"); e != 0) {
    list(inv.out, "**** Error on opening output file ", e);
    stop();
  }
}

void write_banner(Sink& report) {
  static const textio::Format kTitle("(11x,'Quorvane')");
  static const textio::Format kCredit("(12x,'Release 1.00')");
  write(report, kTitle);
  write(report, kCredit);
}

std::string read_global_block(Invocation& inv) {
  static const textio::Format kLine70("(a70)");
  std::string text;
  std::string bad_line;
  switch (control::read_block(inv.control, 7, text, bad_line)) {
    case control::BlockEnd::Complete:
      break;
    case control::BlockEnd::MissingMarker:
      list(inv.report, "Place comment marker * after parameters for top readon ostrel.cnl");
      write(inv.report, kLine70, bad_line);
      stop();
    case control::BlockEnd::EndOfFile:
      list(inv.report, "Control file ended inside the global block");
      stop();
  }
  return text;
}

// Number of runs, data columns and the data file name, which must have an extension.
void read_runs_columns_name(const std::string& text, Settings& s, Invocation& inv) {
  int pos = 0;
  int ier = 0;
  s.runs = control::numread("uns", text, kSeparator, pos, ier, inv.err);
  s.g.M = control::numread("ta/file", text, kSeparator, pos, ier, inv.err);
  if (s.g.M < 1) {
    list(inv.report, "No. of data columns ", s.g.M, " < 1");
    stop();
  }
  s.name = control::charead("ile name", text, kSeparator, pos, ier);
  s.name.resize(80, ' ');
  const std::size_t dot = s.name.find('.');
  if (dot == std::string::npos) {
    list(inv.report, "Data file ", s.name, "  has no extension");
    stop();
  }
  s.m = dot + 1;
}

void open_data_file(Settings& s, Invocation& inv) {
  s.path = s.name.substr(0, s.name.find_last_not_of(' ') + 1);
  const std::string& path = s.path;
  std::error_code ec;
  // A name holding a NUL character cannot name a file.
  const bool exists = path.find('\0') == std::string::npos && std::filesystem::exists(path, ec);
  if (!exists) {
    // The name up to its first `.` and the five characters after it.
    const std::string_view shown = std::string_view(s.name).substr(0, s.m + 5);
    list(inv.report, "Input file ", shown, " does not exist as named");
    stop();
  }
  if (const int e = inv.data.open(path); e != 0) {
    list(inv.out, "**** Error on opening data file ", e);
    stop();
  }
}

[[noreturn]] void unreadable_head(Sink& err) {
  list(err, "Cannot read the number of data and the sampling rate on line 2 of the data file");
  stop();
}

// Title, number of data and rate, format text and reading mode from the data file's head.
void read_data_head(Settings& s, Invocation& inv) {
  static const textio::Format kTitle("(1x,a79)");
  textio::TextFile& data = inv.data;
  data.rewind();
  std::string line;
  if (!data.read_line(line).ok()) unreadable_head(inv.err);
  write(inv.report, kTitle, line);

  // Line 2 must itself begin with the count and the rate: they are read from a copy of the
  // line alone, so that a short line cannot take its values from the data that follow.
  std::string_view record;
  if (!data.next_record(record)) unreadable_head(inv.err);
  textio::TextFile line2;
  line2.open_text(std::string(record));
  const textio::TextFile::ListTarget targets[] = {&s.g.N, &s.g.rate};
  if (!line2.read_list(targets).ok()) unreadable_head(inv.err);
  const float rate = s.g.rate;
  if (!(rate > 0.0f) || !std::isfinite(rate)) {
    list(inv.err, "Sampling rate/interval ", rate, " is not positive");
    stop();
  }

  data.backspace();
  if (!data.read_line(line).ok()) unreadable_head(inv.err);
  // The format text runs from the first `(` to the third `)` after it (or the last one if
  // there are fewer) and needs a blank after it within the 80 columns.
  const std::size_t a = line.find('(');
  std::size_t b = a == std::string::npos ? a : line.find(')', a);
  if (b != std::string::npos) {
    for (int i = 0; i < 2; ++i)
      if (const std::size_t c = line.find(')', b + 1); c != std::string::npos) b = c;
  }
  if (b == std::string::npos || line.find(' ', b + 1) == std::string::npos) {
    list(inv.err, "Format on second line of data file is incorrect");
    stop();
  }
  s.g.fmt = line.substr(a, std::min<std::size_t>(b - a + 1, 50));
  s.g.fmt.resize(50, ' ');
  s.g.mode = s.g.fmt.find('a') != std::string::npos ? 'm' : 'a';
}

void open_forecast_file(const Settings& s, Invocation& inv) {
  // series.dat gives series.forec; a.b.txt gives a.forec.
  const std::string path = s.name.substr(0, s.m) + "forec";
  // A data file that is itself the forecast file (x.forec, or a link to it) would be
  // emptied by the opening before its data are read: refused like a file that exists.
  std::error_code ec;
  if (std::filesystem::equivalent(path, s.path, ec)) {
    list(inv.out, "**** Error on opening forecast file ", std::int32_t{EEXIST});
    stop();
  }
  if (const int e = inv.forecast.open(path); e != 0) {
    list(inv.out, "**** Error on opening forecast file ", e);
    stop();
  }
}

void read_threshold_horizon_lags(const std::string& text, Settings& s, Invocation& inv) {
  int pos = 0;
  int ier = 0;
  s.g.P = control::rnumread("bility", text, kSeparator, pos, ier, inv.err);
  if (s.g.P < 0.0f || s.g.P >= 1.0f) {
    list(inv.err, "Coherence threshold ", s.g.P, " is out in unit interval");
    stop();
  }
  s.g.nahead = control::numread("ames", text, kSeparator, pos, ier, inv.err);
  if (s.g.nahead < 1 || s.g.nahead > 10) {
    list(inv.err, "No. of frames ahead for forecasting ", s.g.nahead, " is out of bounds");
    stop();
  }
  s.g.p = control::numread("ags", text, kSeparator, pos, ier, inv.err);
  if (s.g.p < 1) {
    list(inv.err, "No. of lags ", s.g.p, " < 1");
    stop();
  }
}

// The unit control parameter: time units, or frequencies in kHz or Hz.
void read_unit(const std::string& text, Settings& s, Invocation& inv) {
  static const textio::Format kNoMark(
      "(2x,'Unit control parameter ',a15,' is not followed by +K or +H')");
  static const textio::Format kNoMark2("(7x,'or +k or +h')");
  int pos = 0;
  int ier = 0;
  const std::string value = control::charead("unit", text, kSeparator, pos, ier);
  s.g.unit = value.substr(0, 10);
  const auto has = [&value](const char* part) { return value.find(part) != std::string::npos; };
  if (!has("req")) {
    s.g.iunit = 0;
  } else if (has("+K") || has("+k")) {
    s.g.iunit = 1;
  } else if (has("+H") || has("+h")) {
    s.g.iunit = 2;
  } else {
    write(inv.report, kNoMark, s.g.unit);
    write(inv.report, kNoMark2);
    stop();
  }
}

void drive(Invocation& inv) {
  static const textio::Format kThreshold("(7x,'Coherence threshold probability = ',f6.3)");
  static const textio::Format kColumns("(/,7x,'Number of Data Columns = ',i2,/)");

  open_control_and_report(inv);
  const float start = control::cpu_seconds();
  write_banner(inv.report);
  const std::string text = read_global_block(inv);
  Settings s;
  read_runs_columns_name(text, s, inv);
  open_data_file(s, inv);
  read_data_head(s, inv);
  open_forecast_file(s, inv);
  read_threshold_horizon_lags(text, s, inv);
  read_unit(text, s, inv);
  inv.report.flush();

  for (int run = 1; run <= s.runs; ++run) {
    control::reac(s.g, run, inv.control, inv.files);
    write(inv.report, kThreshold, s.g.P);
    if (s.g.M > 1) write(inv.report, kColumns, s.g.M);
  }
  control::head(10, 14, 2002, start, inv.report, inv.out);
}

}  // namespace

int program() {
  control::reset_readers();
  try {
    Invocation inv;
    int status = 0;
    try {
      drive(inv);
    } catch (const Stop& s) {
      status = s.status;
    } catch (...) {
      // Anything else (memory exhausted) ends the program like a failed check.
      status = 1;
    }
    inv.flush_all();
    return status;
  } catch (...) {
    return 1;
  }
}

}  // namespace tramel
