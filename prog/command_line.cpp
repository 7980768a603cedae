// The command line, parsed with CLI11. Without arguments the program runs in the current
// folder exactly as it always has; every option is an addition.
#include "command_line.hpp"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <system_error>

#include "parallel/parallel.hpp"

namespace tramel {

namespace {

constexpr const char* kUsageHint = "Usage: tramel [OPTIONS] [FOLDER]; tramel --help lists the options.";

CommandLine wrong(const std::string& what) {
  CommandLine c;
  c.status = 2;
  c.err = "tramel: " + what + "\n" + kUsageHint + "\n";
  return c;
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv) {
  CLI::App app(
      "Forecasts sampled signals from what repeats in them frame after frame. Reads the control\n"
      "file tramel.cnl in FOLDER (the current folder by default), analyses the data file it names\n"
      "and writes the report tramel.out and the forecast file there.",
      "tramel");
  app.get_formatter()->column_width(24);
  Options o;
  std::string folder;
  int threads = 0;
  app.add_option("FOLDER", folder,
                 "Holds tramel.cnl and the data file, and gets every output\n"
                 "(default: the current folder)")
      ->type_name("");
  app.add_flag("--json", o.json,
               "Also write tramel.json: every number at full precision,\n"
               "the coherence of the whole band, the forecasts");
  app.add_flag("--plot", o.plot,
               "Also write tramel-run<R>-series<S>.svg per run and series:\n"
               "the coherence over the band, the series and its forecast");
  app.add_option("--threads", threads,
                 "Threads to use (default: every core the process may use);\n"
                 "the results are the same for every count")
      ->type_name("N")
      ->check(CLI::Range(1, 4096));
  app.add_flag("--strict", o.strict, "Exit with status 3 when a completed run has warnings");
  app.add_flag("--ols-errors", o.least_squares_errors,
               "Ordinary least-squares standard errors, so that the forecast\n"
               "keeps the coefficients the fit supports (recommended for new\n"
               "analyses); without it the traditional errors, sqrt(frames)\n"
               "times larger, as earlier versions printed them");
  std::string model = "as-specified";
  app.add_option("--model", model,
                 "How every series is forecast: as-specified (the default:\n"
                 "the report's form), changes, levels, or auto (per series\n"
                 "the better of changes and levels by a backtest); see the\n"
                 "README's section on choosing a model")
      ->type_name("NAME")
      ->check(CLI::IsMember({"as-specified", "changes", "levels", "auto"}));
  app.add_option("--intervals", o.interval_levels,
                 "Forecast intervals at these levels in percent, e.g. 80,95\n"
                 "(with --model changes, levels or auto): in tramel.json, the\n"
                 "plots and NAME.forecast.csv")
      ->type_name("LEVELS")
      ->delimiter(',')
      ->check(CLI::Range(0.0f, 100.0f).description(""));
  app.add_option("--backtest", o.backtest_origins,
                 "A rolling-origin backtest over the last K whole frames of\n"
                 "each run (auto chooses by half the frames, at most 10): MASE,\n"
                 "RMSE and interval coverage of the model, of as-specified and\n"
                 "of seasonal naive, on standard output and in tramel.json\n"
                 "(with --model changes, levels or auto)")
      ->type_name("K")
      ->check(CLI::Range(1, 1000));
  app.add_flag("--csv", o.csv,
               "Also write NAME.forecast.csv: the forecast (and its intervals)\n"
               "with a header row, full single precision");
  app.set_version_flag("--version", std::string("tramel ") + version());
  app.footer(
      "Exit status: 0 completed; 1 stopped by a failed check (the report and\n"
      "standard error say why); 2 wrong command line; 3 completed with\n"
      "warnings under --strict.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    CommandLine c;
    c.out = app.help();
    if (c.out.empty() || c.out.back() != '\n') c.out += '\n';
    return c;
  } catch (const CLI::CallForVersion&) {
    CommandLine c;
    c.out = std::string("tramel ") + version() + "\n";
    return c;
  } catch (const CLI::ParseError& e) {
    return wrong(e.what());
  }

  if (!folder.empty()) {
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec))
      return wrong("the folder " + folder + " does not exist");
    if (!std::filesystem::is_directory(folder, ec))
      return wrong(folder + " is not a folder");
    o.folder = folder;
  }
  o.model = *analysis::model_named(model);
  if (o.model == analysis::Model::AsSpecified) {
    if (!o.interval_levels.empty())
      return wrong("--intervals needs a model with intervals: --model changes, levels or auto");
    if (app.count("--backtest") > 0)
      return wrong("--backtest needs --model changes, levels or auto (it scores as-specified "
                   "beside them)");
  }
  for (const float level : o.interval_levels)
    if (!(level > 0.0f && level < 100.0f))
      return wrong("--intervals: each level is a percentage above 0 and below 100, not " +
                   std::to_string(level));
  if (!o.interval_levels.empty()) o.csv = true;
  o.threads = threads > 0 ? threads : parallel::available_threads();
  CommandLine c;
  c.options = o;
  return c;
}

}  // namespace tramel
