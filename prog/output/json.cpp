// tramel.json: the results of the invocation, every number as the program holds it.
#include <charconv>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "output/output.hpp"

namespace tramel::output {

namespace {

// A single-precision value as its shortest round-trip decimal (0.1f is written 0.1, not
// 0.10000000149011612); a value that is not finite as null.
Json number(float v) {
  if (!std::isfinite(v)) return nullptr;
  char text[32];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
  double shortest = v;
  std::from_chars(text, end, shortest);
  return shortest;
}
Json number(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }
Json numbers(const std::vector<double>& values) {
  Json list = Json::array();
  for (const double v : values) list.push_back(number(v));
  return list;
}

std::string unit_mode(control::UnitMode mode) {
  switch (mode) {
    case control::UnitMode::Kilohertz:
      return "kHz";
    case control::UnitMode::Hertz:
      return "Hz";
    case control::UnitMode::Time:
      break;
  }
  return "time";
}

std::string trimmed(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

Json statistics(const analysis::Statistics& s) {
  return Json{{"mean", number(s.mean)},         {"std_dev", number(s.std_dev)},
              {"skewness", number(s.skewness)}, {"kurtosis", number(s.kurtosis)},
              {"c6", number(s.c6)},             {"max", number(s.max)},
              {"min", number(s.min)},           {"zero_variance", s.zero_variance}};
}

Json bins(const control::RunPlan& plan, const results::SeriesResult& s) {
  const bool time = plan.analysis.unit_mode == control::UnitMode::Time;
  const coherence::Coherence& c = s.coherence;
  Json list = Json::array();
  std::size_t next = 0;  // the next significant bin
  for (std::size_t i = 0; i < c.probabilities.size(); ++i) {
    const int bin = plan.first_bin + static_cast<int>(i);
    const bool significant = next < s.significant.size() && s.significant[next].bin == bin;
    if (significant) ++next;
    Json b{{"bin", bin},
           {time ? "period" : "frequency", number(control::bin_in_report_units(plan, bin))},
           {"probability", number(c.probabilities[i])},
           {"significant", significant}};
    b["waveform_power"] = number(c.waveform_power[i]);
    b["noise"] = number(c.noise[i]);
    list.push_back(std::move(b));
  }
  return list;
}

// The coefficients in rows per equation, each with its standard error and t value, as the
// report prints them; with `used`, whether the forecast's t rule keeps each.
template <class Fit, class Entry>
Json coefficient_table(const Fit& fit, Json r_square, Entry entry) {
  Json rows = Json::array();
  for (int i = 0; i < fit.variables; ++i) {
    Json row = Json::array();
    for (int u = 0; u < fit.regressors(); ++u)
      row.push_back(entry(static_cast<std::size_t>(i) * static_cast<std::size_t>(fit.regressors()) +
                          static_cast<std::size_t>(u)));
    rows.push_back(std::move(row));
  }
  return Json{{"variables", fit.variables},
              {"regressors", fit.regressors()},
              {"lags", fit.lags},
              {"r_square", std::move(r_square)},
              {"coefficients", std::move(rows)}};
}

Json var(const forecast::VarFit& fit) {
  return coefficient_table(fit, number(fit.r_square), [&fit](std::size_t g) {
    return Json{{"value", number(fit.coefficients[g])},
                {"std_error", number(fit.std_errors[g])},
                {"t", number(fit.t_value(g))}};
  });
}

// A model's coefficients in the shape of the specified VAR's.
Json model_var(const forecast::ModelFit& fit) {
  return coefficient_table(fit, number(fit.r_square), [&fit](std::size_t g) {
    return Json{{"value", number(fit.coefficients[g])},
                {"std_error", number(fit.std_errors[g])},
                {"t", number(fit.coefficients[g] / fit.std_errors[g])},
                {"used", fit.effective[g] != 0.0}};
  });
}

Json eigenvalues(const forecast::Eigenvalues& e) {
  Json list = Json::array();
  for (const forecast::Eigenvalue& v : e.values)
    list.push_back(Json{{"real", number(v.real)},
                        {"imag", number(v.imag)},
                        {"magnitude", number(v.magnitude)},
                        {"period", number(v.period)}});
  return list;
}

Json frames(const std::vector<float>& samples, int frame_length) {
  Json list = Json::array();
  for (std::size_t first = 0; first + frame_length <= samples.size(); first += frame_length) {
    Json frame = Json::array();
    for (int j = 0; j < frame_length; ++j) frame.push_back(number(samples[first + j]));
    list.push_back(std::move(frame));
  }
  return list;
}

// A model's fit beyond its coefficients: the bins it keeps and leaves out, the lags, its
// degrees of freedom, the mean or drift of each variable and the residual covariance.
Json model_fit(const forecast::ModelRun& run) {
  Json j{{"kept_bins", run.choice.kept}, {"left_out_bins", run.choice.left_out},
         {"lags", run.choice.lags}};
  if (!run.fit) return j;
  const forecast::ModelFit& fit = *run.fit;
  Json covariance = Json::array();
  for (int i = 0; i < fit.variables; ++i) {
    Json row = Json::array();
    for (int k = 0; k < fit.variables; ++k)
      row.push_back(number(fit.residual_covariance[static_cast<std::size_t>(k) * fit.variables + i]));
    covariance.push_back(std::move(row));
  }
  j["variables"] = fit.variables;
  j["degrees_of_freedom"] = fit.degrees_of_freedom;
  j[fit.kind == forecast::ModelKind::Levels ? "mean" : "drift"] = numbers(fit.mean);
  if (fit.kind == forecast::ModelKind::Changes && run.forecast) {
    // The drift the forecast carried: how, and its value per variable before any damping.
    j["drift_rule"] = forecast::drift_name(run.forecast->drift_rule);
    j["drift_used"] = numbers(run.forecast->drift);
  }
  j["residual_covariance"] = std::move(covariance);
  return j;
}

Json intervals(const std::vector<forecast::ForecastInterval>& list, int frame_length) {
  Json j = Json::array();
  for (const forecast::ForecastInterval& i : list)
    j.push_back(Json{{"level", number(i.level)},
                     {"lower", frames(i.lower, frame_length)},
                     {"upper", frames(i.upper, frame_length)}});
  return j;
}

// A value per interval level, {"level": L, key: V}, for the levels that have one.
Json by_level(std::span<const float> levels, const std::vector<double>& values, const char* key) {
  Json list = Json::array();
  for (std::size_t l = 0; l < values.size() && l < levels.size(); ++l)
    list.push_back(Json{{"level", number(levels[l])}, {key, number(values[l])}});
  return list;
}

Json scores(const std::vector<backtest::StepScores>& steps, std::span<const float> levels) {
  Json list = Json::array();
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const backtest::StepScores& s = steps[k];
    Json j{{"step", static_cast<int>(k) + 1}, {"forecasts", s.forecasts}, {"missed", s.missed},
           {"mase", number(s.mase)}, {"rmse", number(s.rmse)}};
    if (!s.coverage.empty()) j["coverage"] = by_level(levels, s.coverage, "coverage");
    list.push_back(std::move(j));
  }
  return list;
}

// A method's key: its name with underscores ("seasonal_naive", "smooth_log").
std::string method_key(backtest::Method m) {
  std::string key;
  for (const char c : backtest::method_name(m)) {
    if (c == '(' || c == ')') continue;
    key += c == ' ' || c == '-' ? '_' : c;
  }
  return key;
}

Json backtest_scores(const results::SeriesResult& s) {
  const backtest::SeriesBacktest& b = *s.backtest;
  // The model in use: the VAR model, smooth in the form it took, or the first method of auto's
  // choice.
  backtest::Method used = s.model == analysis::Model::Levels ? backtest::Method::Levels : backtest::Method::Changes;
  if (s.smooth) used = s.smooth->method;
  if (s.choice && !s.choice->methods.empty()) used = s.choice->methods.front();
  Json j{{"origins", b.origins},
         {"first_origin", b.first_origin},
         {"frames_ahead", b.frames_ahead},
         {"model", scores(b.of(used), b.levels)}};
  for (int m = 0; m < backtest::kMethods; ++m) {
    const auto method = static_cast<backtest::Method>(m);
    if (b.scored[static_cast<std::size_t>(m)]) j[method_key(method)] = scores(b.of(method), b.levels);
  }
  return j;
}

Json choice(const results::SeriesResult& s) {
  const backtest::Choice& c = *s.choice;
  Json methods = Json::array(), ranked = Json::object();
  for (const backtest::Method m : c.methods) methods.push_back(std::string(backtest::method_name(m)));
  for (int m = 0; m < backtest::kMethods; ++m)
    if (!std::isnan(c.ranked[static_cast<std::size_t>(m)]))
      ranked[method_key(static_cast<backtest::Method>(m))] = number(c.ranked[static_cast<std::size_t>(m)]);
  return Json{{"methods", std::move(methods)},
              {"weights", numbers(c.weights)},
              {"mase", number(c.mase)},
              {"first_origin", c.first_origin},
              {"origins", c.origins},
              {"candidates_mase", std::move(ranked)},
              {"reason", analysis::choice_reason(s)}};
}

Json smooth(const analysis::SeriesResult::Smooth& fit) {
  const smoothing::Model& m = fit.model;
  const smoothing::WaveformWeights& w = m.weights.waveform;
  const smoothing::LevelWeights& l = m.weights.level;
  const char* bins = w.bins == smoothing::WaveformBins::All                   ? "all"
                     : w.bins == smoothing::WaveformBins::SignificantSmoothed ? "significant, others at the mean"
                                                                              : "significant only";
  const char* trend = l.trend == smoothing::Trend::Damped ? "damped" : l.trend == smoothing::Trend::Linear ? "linear" : "none";
  return Json{{"form", std::string(backtest::method_name(fit.method))},
              {"transform", m.transform == smoothing::Transform::Log ? "log" : "none"},
              {"frame_length", m.frame_length},
              {"gamma", number(w.gamma)},
              {"waveform_bins", bins},
              {"cycle", w.cycle},
              {"trend", trend},
              {"alpha", number(l.alpha)},
              {"beta", number(l.beta)},
              {"phi", number(l.phi)},
              {"description", analysis::smooth_text(m)}};
}

Json calibration(const backtest::Calibration& c, std::span<const float> levels) {
  Json steps = Json::array();
  for (std::size_t h = 0; h < c.factors.size(); ++h) {
    steps.push_back(Json{{"step", static_cast<int>(h) + 1},
                         {"origins", c.origins[h]},
                         {"factors", by_level(levels, c.factors[h], "factor")}});
  }
  return steps;
}

// The drift variants of `changes` as its backtest scored them, and the one chosen.
Json drift_choice(const backtest::DriftChoice& choice) {
  Json variants = Json::array();
  for (const backtest::DriftScores& v : choice.variants)
    variants.push_back(Json{{"drift", forecast::drift_name(v.drift)}, {"mean_mase", number(backtest::mean_mase(v.steps))}});
  return Json{{"drift", forecast::drift_name(choice.drift)}, {"origins", choice.origins}, {"variants", std::move(variants)}};
}

}  // namespace

Json series_json(const control::RunPlan& plan, const results::SeriesResult& s, const std::string& name) {
  Json j{{"series", s.series}, {"completed", s.completed()}, {"statistics", statistics(s.statistics)}};
  j["name"] = name;
  j["model"] = std::string(analysis::model_name(s.model));
  if (s.coherence.probabilities.empty()) return j;
  j["waveform_std_dev"] = number(s.coherence.waveform_std_dev);
  j["bins"] = bins(plan, s);
  if (!s.model_run) j["var_size"] = s.var_size;
  if (s.model_run) j["model_fit"] = model_fit(*s.model_run);
  if (s.backtest) j["backtest"] = backtest_scores(s);
  if (s.drift) j["drift_choice"] = drift_choice(*s.drift);
  if (s.model != analysis::Model::AsSpecified || s.choice) j["forecast_by"] = analysis::forecast_name(s);
  if (s.choice) j["choice"] = choice(s);
  if (s.smooth) j["smooth"] = smooth(*s.smooth);
  if (!s.completed() || !(s.fit || s.model_run || s.smooth || s.choice)) return j;
  if (s.fit) j["var"] = var(*s.fit);
  if (s.model_run && s.model_run->fit) j["var"] = model_var(*s.model_run->fit);
  j["eigenvalues"] = eigenvalues(s.eigenvalues);
  j["eigenvalues_converged"] = s.eigenvalues.converged;
  j["forecast"] = frames(s.forecast, plan.frame_length);
  if (!s.intervals.empty()) j["intervals"] = intervals(s.intervals, plan.frame_length);
  if (s.calibration && !s.intervals.empty())
    j["intervals_calibration"] = calibration(*s.calibration, s.backtest->levels);
  j["last_frames"] = frames(s.last_frames, plan.frame_length);
  return j;
}

namespace {

// Series j's name (from 1): the data's, or "series1" ...
std::string series_name(const results::InvocationResult& result, int j) {
  const auto i = static_cast<std::size_t>(j - 1);
  return i < result.series_names.size() && !result.series_names[i].empty()
             ? result.series_names[i]
             : "series" + std::to_string(j);
}

Json run(const results::RunResult& r, const results::InvocationResult& result) {
  const control::RunPlan& p = r.plan;
  Json j{{"run", p.run},
         {"first_datum", p.first_datum},
         {"last_datum", p.last_datum},
         {"sample_size", p.sample_size},
         {"frame_length", p.frame_length},
         {"frames", p.frames},
         {"first_bin", p.first_bin},
         {"last_bin", p.last_bin},
         {"taper_percent", number(p.taper_percent)},
         {"threshold", number(p.analysis.threshold)},
         // The band's bins expected over the threshold by chance alone: bins x (1 - P).
         {"chance_bins", number(static_cast<float>(rules::chance_bins(p.bin_count(), p.analysis.threshold)))},
         {"lags", p.analysis.lags},
         {"frames_ahead", p.analysis.frames_ahead},
         {"unit", trimmed(p.analysis.unit_text)},
         {"unit_mode", unit_mode(p.analysis.unit_mode)},
         {"sample_interval", number(control::sample_interval(p))},
         // The first forecast sample follows the last whole frame.
         {"forecast_first_datum", control::forecast_first_datum(p)}};
  Json list = Json::array();
  for (const results::SeriesResult& s : r.series)
    list.push_back(series_json(p, s, series_name(result, s.series)));
  j["series"] = std::move(list);
  return j;
}

}  // namespace

std::string json_text(const results::InvocationResult& result, const char* version) {
  Json doc{{"program", "tramel"},
           {"version", version},
           {"data_file", trimmed(result.data_file)},
           {"title", trimmed(result.title)},
           {"status", result.stopped ? "stopped" : "completed"}};
  if (result.stopped) {
    std::string message;
    for (const std::string& line : result.stop_lines) message += (message.empty() ? "" : "\n") + line;
    doc["message"] = message;
  } else {
    doc["message"] = nullptr;
  }
  doc["standard_errors"] = result.least_squares_errors ? "least squares" : "as specified";
  if (result.fdr_level) doc["fdr_level"] = number(*result.fdr_level);
  const auto texts = [](const std::vector<diagnostics::Warning>& warnings) {
    Json list = Json::array();
    for (const diagnostics::Warning& w : warnings) list.push_back(w.text);
    return list;
  };
  doc["warnings"] = texts(result.warnings);
  if (!result.notes.empty()) doc["notes"] = texts(result.notes);
  Json runs = Json::array();
  for (const results::RunResult& r : result.runs) runs.push_back(run(r, result));
  doc["runs"] = std::move(runs);
  // Text that is not UTF-8 (a title in another encoding) is written with replacements.
  return doc.dump(1, ' ', false, Json::error_handler_t::replace) + '\n';
}

std::string write_json(const std::filesystem::path& file, const results::InvocationResult& result,
                       const char* version) {
  std::ofstream out(file, std::ios::binary);
  out << json_text(result, version);
  out.close();
  if (!out) return "cannot write " + file.string();
  return {};
}

}  // namespace tramel::output
