// Results beyond the report: tramel.json, every number of the invocation at full precision for
// other programs, and a plot per run and series for people. Both are made from the result
// values once the invocation has ended (completed or stopped).
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "results/results.hpp"

namespace tramel::output {

using Json = nlohmann::ordered_json;

// One series of a run as tramel.json holds it; `name` names the series.
Json series_json(const control::RunPlan& plan, const results::SeriesResult& result,
                 const std::string& name);

// The text of tramel.json, ended by a line feed.
std::string json_text(const results::InvocationResult& result, const char* version);

// Writes `file` with that text; returns an error text, empty when written.
std::string write_json(const std::filesystem::path& file, const results::InvocationResult& result,
                       const char* version);

// Whether this build draws plots (it is built without PLplot otherwise).
bool plots_available();

// Writes tramel-run<R>-series<S>.svg into `folder` for every series whose forecast was made.
// Returns an error text for each plot that could not be written ("cannot write the plot PATH:
// REASON"); a plot that fails loses nothing else.
std::vector<std::string> write_plots(const std::filesystem::path& folder,
                                     const results::InvocationResult& result);

// The name of the plot of a run and series.
inline std::string plot_name(int run, int series) {
  return "tramel-run" + std::to_string(run) + "-series" + std::to_string(series) + ".svg";
}

}  // namespace tramel::output
