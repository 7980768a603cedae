// The outputs of an invocation, completed in an order that loses nothing: the report and the
// forecast file, then tramel.json, then the plots.
#include <cstring>
#include <utility>

#include "invocation/invocation.hpp"
#include "output/output.hpp"

namespace tramel::invocation {

const char* version() { return TRAMEL_VERSION; }

Outputs::Outputs(const Options& options, Console console)
    : options_(options),
      folder_(options.folder),
      out_(console == Console::Memory ? nullptr : stdout, false, true),
      err_(console == Console::Memory ? nullptr : stderr, false, true) {}

textio::Sink* Outputs::forecast_csv(const std::string& name, bool& opened) {
  opened = false;
  if (csv_failed_) return nullptr;
  if (!csv_name_.empty()) return &csv_;
  csv_name_ = name;
  opened = true;
  if (const int e = csv_.open(path_of(name)); e != 0) {
    err_.line("tramel: cannot write " + name + ": " + std::strerror(e));
    csv_failed_ = true;
    return nullptr;
  }
  return &csv_;
}

bool Outputs::finish(const results::InvocationResult& results) {
  bool written = !csv_failed_;
  // A report or forecast file that could not be written whole (a full disk) is no success.
  report_.close();
  forecast_.close();
  csv_.close();
  const std::string csv_name = "the forecast file " + csv_name_;
  for (const auto& [sink, name] : {std::pair<const textio::Sink*, const char*>{&report_, "tramel.out"},
                                   {&forecast_, "the forecast file"},
                                   {&csv_, csv_name.c_str()}}) {
    if (sink->error() != 0) {
      err_.line(std::string("tramel: cannot write ") + name + ": " + std::strerror(sink->error()));
      written = false;
    }
  }
  if (report_open_ && options_.json) {
    const std::string error = output::write_json(folder_ / "tramel.json", results, version());
    if (!error.empty()) {
      err_.line("tramel: " + error);
      written = false;
    }
  }
  out_.flush();
  err_.flush();
  if (report_open_ && options_.plot) {
    for (const std::string& error : output::write_plots(folder_, results)) {
      err_.line("tramel: " + error);
      written = false;
    }
  }
  out_.flush();
  err_.flush();
  return written;
}

}  // namespace tramel::invocation
