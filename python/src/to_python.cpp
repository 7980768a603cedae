// The library's results as Python values. Single-precision values stay float32 and the
// double-precision ones float64, so that nothing is rounded on the way.
#include "to_python.hpp"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <string>

namespace tramel::python {

namespace py = pybind11;

namespace {

template <class T>
py::array_t<T> array(const std::vector<T>& v) {
  return py::array_t<T>(static_cast<py::ssize_t>(v.size()), v.data());
}

// rows x cols values, row after row.
template <class T>
py::array_t<T> matrix(const std::vector<T>& v, int rows, int cols) {
  py::array_t<T> a({static_cast<py::ssize_t>(rows), static_cast<py::ssize_t>(cols)});
  if (!v.empty()) std::copy(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(rows) * cols, a.mutable_data());
  return a;
}

py::dict statistics(const analysis::Statistics& s) {
  py::dict d;
  d["mean"] = s.mean;
  d["std_dev"] = s.std_dev;
  d["skewness"] = s.skewness;
  d["kurtosis"] = s.kurtosis;
  d["c6"] = s.c6;
  d["max"] = s.max;
  d["min"] = s.min;
  d["zero_variance"] = s.zero_variance;
  return d;
}

py::list intervals(const std::vector<forecast::ForecastInterval>& list) {
  py::list out;
  for (const forecast::ForecastInterval& i : list)
    out.append(py::make_tuple(i.level, array(i.lower), array(i.upper)));
  return out;
}

py::dict eigenvalues(const forecast::Eigenvalues& e) {
  std::vector<float> real, imag, magnitude, period;
  for (const forecast::Eigenvalue& v : e.values) {
    real.push_back(v.real);
    imag.push_back(v.imag);
    magnitude.push_back(v.magnitude);
    period.push_back(v.period);
  }
  py::dict d;
  d["real"] = array(real);
  d["imag"] = array(imag);
  d["magnitude"] = array(magnitude);
  d["period"] = array(period);
  d["converged"] = e.converged;
  return d;
}

// The coefficients (variables x regressors), their standard errors and t values as the
// forecast tests them, and the fit's summary.
py::dict var_fit(const forecast::VarFit& fit) {
  std::vector<float> t(fit.coefficients.size());
  for (std::size_t g = 0; g < t.size(); ++g) t[g] = fit.t_value(g);
  py::dict d;
  d["variables"] = fit.variables;
  d["lags"] = fit.lags;
  d["coefficients"] = matrix(fit.coefficients, fit.variables, fit.regressors());
  d["standard_errors"] = matrix(fit.std_errors, fit.variables, fit.regressors());
  d["t"] = matrix(t, fit.variables, fit.regressors());
  d["r_square"] = fit.r_square;
  d["residual_degrees_of_freedom"] = fit.residual_degrees_of_freedom;
  return d;
}

py::dict model_fit(const forecast::ModelRun& run) {
  py::dict d;
  d["kept_bins"] = run.choice.kept;
  d["left_out_bins"] = run.choice.left_out;
  d["lags"] = run.choice.lags;
  if (!run.fit) return d;
  const forecast::ModelFit& fit = *run.fit;
  std::vector<double> t(fit.coefficients.size());
  for (std::size_t g = 0; g < t.size(); ++g) t[g] = fit.coefficients[g] / fit.std_errors[g];
  std::vector<double> covariance(fit.residual_covariance.size());
  const auto v = static_cast<std::size_t>(fit.variables);
  for (std::size_t i = 0; i < v; ++i)
    for (std::size_t k = 0; k < v; ++k) covariance[i * v + k] = fit.residual_covariance[k * v + i];
  d["variables"] = fit.variables;
  d["observations"] = fit.observations;
  d["degrees_of_freedom"] = fit.degrees_of_freedom;
  d["coefficients"] = matrix(fit.coefficients, fit.variables, fit.regressors());
  d["standard_errors"] = matrix(fit.std_errors, fit.variables, fit.regressors());
  d["t"] = matrix(t, fit.variables, fit.regressors());
  d["effective"] = matrix(fit.effective, fit.variables, fit.regressors());
  d[fit.kind == forecast::ModelKind::Levels ? "mean" : "drift"] = array(fit.mean);
  d["residual_covariance"] = matrix(covariance, fit.variables, fit.variables);
  d["r_square"] = fit.r_square;
  return d;
}

py::dict backtest_scores(const backtest::SeriesBacktest& b) {
  static constexpr const char* kNames[backtest::kMethods] = {"as-specified", "changes", "levels",
                                                             "seasonal naive"};
  py::dict scores;
  for (int m = 0; m < backtest::kMethods; ++m) {
    py::list steps;
    for (const backtest::StepScores& s : b.steps[static_cast<std::size_t>(m)]) {
      py::dict step;
      step["forecasts"] = s.forecasts;
      step["missed"] = s.missed;
      step["mase"] = s.mase;
      step["rmse"] = s.rmse;
      step["coverage"] = s.coverage;
      steps.append(step);
    }
    scores[kNames[m]] = steps;
  }
  py::dict d;
  d["origins"] = b.origins;
  d["first_origin"] = b.first_origin;
  d["frames_ahead"] = b.frames_ahead;
  d["levels"] = b.levels;
  d["scores"] = scores;
  return d;
}

}  // namespace

py::dict series_to_python(const analysis::SeriesResult& r, const analysis::Settings& settings,
                          std::int64_t samples) {
  py::dict d;
  d["series"] = r.series;
  d["statistics"] = statistics(r.statistics);
  d["probabilities"] = array(r.coherence.probabilities);
  d["waveform_power"] = array(r.coherence.waveform_power);
  d["noise"] = array(r.coherence.noise);
  d["waveform_std_dev"] = r.coherence.waveform_std_dev;
  std::vector<int> significant;
  for (const coherence::SignificantBin& s : r.significant) significant.push_back(s.bin);
  d["significant"] = significant;
  d["model"] = std::string(analysis::model_name(r.model));
  d["var_size"] = r.var_size;
  d["var"] = r.fit ? py::object(var_fit(*r.fit)) : py::none();
  d["model_fit"] = r.model_run ? py::object(model_fit(*r.model_run)) : py::none();
  d["forecast"] = array(r.forecast);
  d["last_frames"] = array(r.last_frames);
  d["intervals"] = intervals(r.intervals);
  d["eigenvalues"] = eigenvalues(r.eigenvalues);
  d["backtest"] = r.backtest ? py::object(backtest_scores(*r.backtest)) : py::none();
  py::list warnings;
  for (const diagnostics::Warning& w : analysis::series_warnings(r, settings, diagnostics::Place{}))
    warnings.append(w.text);
  d["warnings"] = warnings;
  d["stop"] = r.completed() ? py::object(py::none()) : py::object(py::str(stop_text(r, settings, samples)));
  return d;
}

py::list origins_to_python(const std::vector<OriginForecasts>& origins) {
  py::list out;
  const auto frames = [](const forecast::ModelRun& run) {
    return run.forecast ? py::object(array(run.forecast->frames)) : py::object(py::none());
  };
  for (const OriginForecasts& o : origins) {
    py::dict d;
    d["origin"] = o.origin;
    d["as-specified"] = o.as_specified.empty() ? py::object(py::none()) : py::object(array(o.as_specified));
    d["changes"] = frames(o.changes);
    d["levels"] = frames(o.levels);
    d["changes_intervals"] = intervals(o.changes_intervals);
    d["levels_intervals"] = intervals(o.levels_intervals);
    out.append(d);
  }
  return out;
}

}  // namespace tramel::python
