// The command line, parsed with CLI11. Without arguments the program runs in the current
// folder exactly as it always has; every option is an addition.
#include "command_line.hpp"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "csv/csv.hpp"
#include "output/output.hpp"
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

// Whether the whole of `text` is a number of type T, and that number.
template <class T>
bool read_whole(std::string_view text, T& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// What an option that takes a value refuses, in one wording for every option: what is
// needed, and what was given (CLI11 puts the option's name in front).
CLI::Validator whole_number(long low, long high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        long value = 0;
        if (read_whole(text, value) && value >= low && value <= high) return {};
        return "a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
               " is needed, not \"" + text + "\"";
      },
      "");
}

// A frame length: a whole number that meets the rule of the frame length.
CLI::Validator frame_length() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (std::string wrong = whole_number(1, 9999999)(text); !wrong.empty()) return wrong;
        const rules::Verdict broken = rules::frame_length(std::stol(text));
        return broken ? broken->words : std::string();
      },
      "");
}

CLI::Validator positive_number() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        double value = 0;
        if (read_whole(text, value) && value > 0 && std::isfinite(value)) return {};
        return "a number above 0 is needed, not \"" + text + "\"";
      },
      "");
}

CLI::Validator time_unit_name() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        if (csv::number_unit(text)) return {};
        return "a unit of time, " + std::string(csv::kNumberUnitNames) + ", is needed, not \"" + text + "\"";
      },
      "");
}

CLI::Validator one_of(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
  return CLI::Validator(
      [names, list](std::string& text) -> std::string {
        for (const std::string& n : names)
          if (n == text) return {};
        return "one of " + list + " is needed, not \"" + text + "\"";
      },
      "");
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
      ->check(whole_number(1, 4096));
  app.add_flag("--strict", o.strict, "Exit with status 3 when a completed run has warnings");
  app.add_flag("--ols-errors", o.least_squares_errors,
               "Ordinary least-squares standard errors, so that the forecast\n"
               "keeps the coefficients the fit supports (recommended for new\n"
               "analyses); without it the traditional errors, sqrt(frames)\n"
               "times larger, as earlier versions printed them");
  std::string model = "as-specified";
  app.add_option("--model", model,
                 "How every series is forecast: as-specified (the report's\n"
                 "form), changes, levels, smooth, or auto (per series the\n"
                 "best of them, or the best combined, by a backtest); the\n"
                 "default is auto for CSV data and as-specified for the\n"
                 "two-line layout; see the README's section on choosing a model")
      ->type_name("NAME")
      ->check(one_of({"as-specified", "changes", "levels", "smooth", "auto"}));
  std::string transform;
  app.add_option("--transform", transform,
                 "The scale of smooth (with --model smooth or auto): none,\n"
                 "log (for a swing that grows with the level), or auto (the\n"
                 "better of the two by the backtest; the default)")
      ->type_name("NAME")
      ->check(one_of({"none", "log", "auto"}));
  float fdr = 0.0f;
  app.add_option("--fdr", fdr,
                 "The models' significant bins: those a Benjamini-Hochberg\n"
                 "procedure selects at a false discovery rate Q (0 < Q < 1,\n"
                 "e.g. 0.05) over the band, instead of those above P")
      ->type_name("Q");
  std::string levels;
  app.add_option("--intervals", levels,
                 "Forecast intervals at these levels in percent, e.g. 80,95\n"
                 "(with --model changes, levels, smooth or auto): in\n"
                 "tramel.json, the plots and NAME.forecast.csv")
      ->type_name("LEVELS");
  app.add_option("--backtest", o.backtest_origins,
                 "A rolling-origin backtest over the last K whole frames of\n"
                 "each run (auto chooses by half the frames, at most 10): MASE,\n"
                 "RMSE and interval coverage of the model, of as-specified and\n"
                 "of seasonal naive, on standard output and in tramel.json\n"
                 "(with --model changes, levels, smooth or auto)")
      ->type_name("K");
  app.add_option("--sampling", o.sampling,
                 "The sampling interval (time mode, in the time unit) or rate\n"
                 "(Hz or kHz mode) of CSV data without a time column; it also\n"
                 "overrides a data file's own and the control file's\n"
                 "Sampling rate/interval")
      ->type_name("X")
      ->check(positive_number());
  std::string time_unit;
  app.add_option("--time-unit", time_unit,
                 "The unit of a CSV time column of numbers: ns, us, ms, s,\n"
                 "min, h or d (default: seconds, or the unit its name says:\n"
                 "time_ms); it makes the first column the time column")
      ->type_name("UNIT")
      ->check(time_unit_name());
  app.add_flag("--csv", o.csv,
               "Also write NAME.forecast.csv: the forecast (and its intervals)\n"
               "with a header row, full single precision");
  app.set_version_flag("--version", std::string("tramel ") + version());

  init::InitOptions init;
  std::string init_data, init_folder;
  CLI::App* init_command = app.add_subcommand(
      "init",
      "Write a complete, commented tramel.cnl for a data file (CSV or the two-line\n"
      "layout): the unit from its time column (or --sampling), the frame from the\n"
      "calendar or else the coherence of candidate frames, a band from bin 1 to below\n"
      "Nyquist, a threshold P that holds over the band (at least 0.99), one lag, one\n"
      "frame ahead, the whole sample. Then run the command it prints.");
  init_command->add_option("DATA", init_data, "The data file")->required()->type_name("");
  init_command->add_option("FOLDER", init_folder,
                           "Where tramel.cnl goes (default: the data file's folder); the data\n"
                           "file must be there too")
      ->type_name("");
  init_command->add_option("--frame", init.frame_length, "The frame length in samples")
      ->type_name("L")
      ->check(frame_length());
  std::string frame_range;
  init_command->add_option("--frame-range", frame_range,
                           "The frame lengths the search scores, A:B samples (default: 5\n"
                           "to an eighth of the sample)")
      ->type_name("A:B");
  init_command->add_option("--sampling", init.sampling,
                           "Data without a time column: the sampling rate in Hz, or with\n"
                           "--unit the interval in that unit (kept in tramel.cnl for CSV data)")
      ->type_name("X")
      ->check(positive_number());
  init_command->add_option("--unit", init.unit,
                           "The time unit of --sampling (or of line 2 of a two-line data file):\n"
                           "seconds, minutes, hours, days, weeks, months, quarters, years")
      ->type_name("UNIT");
  std::string init_time_unit;
  init_command->add_option("--time-unit", init_time_unit,
                           "The unit of a CSV time column of numbers, as for a run")
      ->type_name("UNIT")
      ->check(time_unit_name());
  init_command->add_option("--series", init.series_count,
                           "The series in each record of a two-line data file (default 1)")
      ->type_name("M")
      ->check(whole_number(1, 999));
  init_command->add_flag("--force", init.force, "Overwrite an existing tramel.cnl");
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

  if (o.plot && !output::plots_available())
    return wrong("--plot: plots are not available in this build (it was configured with "
                 "-DTRAMEL_PLOTS=OFF)");
  if (*init_command) {
    init.data = init_data;
    if (!frame_range.empty()) {
      const std::size_t colon = frame_range.find(':');
      int low = 0, high = 0;
      if (colon == std::string::npos || !read_whole(frame_range.substr(0, colon), low) ||
          !read_whole(frame_range.substr(colon + 1), high) || low > high)
        return wrong("--frame-range: two whole numbers A:B with A <= B are needed, not \"" + frame_range + "\"");
      if (const rules::Verdict broken = rules::frame_length(low)) return wrong("--frame-range: " + broken->words);
      init.frame_range = init::FrameRange{low, high};
    }
    if (!init_time_unit.empty()) init.time_unit = csv::number_unit(init_time_unit);
    init.program = argc > 0 && argv[0] != nullptr && *argv[0] != '\0' ? argv[0] : "tramel";
    init.plots = output::plots_available();
    std::error_code ec;
    if (std::filesystem::is_directory(init.data, ec))
      return wrong("init: the data file " + init_data + " is a folder");
    if (!std::filesystem::is_regular_file(init.data, ec))
      return wrong("init: the data file " + init_data + " does not exist");
    init.folder = init_folder.empty() ? init.data.parent_path() : std::filesystem::path(init_folder);
    if (init.folder.empty()) init.folder = ".";
    if (!std::filesystem::is_directory(init.folder, ec))
      return wrong("init: " + init.folder.string() + " is not a folder");
    CommandLine c;
    c.init = init;
    return c;
  }
  if (!folder.empty()) {
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec))
      return wrong("the folder " + folder + " does not exist");
    if (!std::filesystem::is_directory(folder, ec))
      return wrong(folder + " is not a folder");
    o.folder = folder;
  }
  // The levels, comma-separated numbers.
  for (std::size_t at = 0; !levels.empty() && at <= levels.size();) {
    std::size_t end = levels.find(',', at);
    if (end == std::string::npos) end = levels.size();
    const std::string text = levels.substr(at, end - at);
    float level = 0.0f;
    if (!read_whole(text, level))
      return wrong("--intervals: levels in percent above 0 and below 100, as in 80,95, are "
                   "needed, not \"" + text + "\"");
    o.interval_levels.push_back(level);
    at = end + 1;
  }
  if (!time_unit.empty()) o.time_unit = csv::number_unit(time_unit);
  o.model_by_default = app.count("--model") == 0;
  o.model = o.model_by_default ? invocation::default_model(o.folder) : *analysis::model_named(model);
  if (!transform.empty()) o.transform = analysis::transform_named(transform);
  if (app.count("--fdr") > 0) o.fdr_level = fdr;
  const bool backtest = app.count("--backtest") > 0;
  if (const rules::Verdict broken = rules::model_options(
          {o.model, o.interval_levels, backtest, o.backtest_origins, o.transform.has_value(), o.fdr_level})) {
    const rules::Rule r = broken->rule;
    const char* option = r == rules::Rule::TransformNeedsModel                                    ? "--transform: "
                         : r == rules::Rule::BacktestNeedsModel || r == rules::Rule::BacktestOrigins ? "--backtest: "
                         : r == rules::Rule::FdrNeedsModel || r == rules::Rule::FdrLevel             ? "--fdr: "
                                                                                                     : "--intervals: ";
    return wrong(option + broken->words);
  }
  if (!o.interval_levels.empty()) o.csv = true;
  o.threads = threads > 0 ? threads : parallel::available_threads();
  CommandLine c;
  c.options = o;
  return c;
}

}  // namespace tramel
