// The end-to-end case split into its stages, run in the case folder: the program's own steps,
// in the program's order, with a clock around each piece:
//   reading   the head of the data file and the sample (data::RecordFile);
//   analysis  each series analysed (analysis::analyse_series: statistics, coherence, significant
//             bins, frame coefficients, VAR fit, forecast, eigenvalues);
//   writing   each series' report blocks and the forecast file, and handing them to the files.
// The run is planned from the case's control file as the program plans it. The series go one
// after another on one thread; the program may share them and the work inside them among
// threads, with the same results, so its wall time can be below the total here. The report
// blocks and the forecast go to stages.out and stages.forec, beside the program's own files.
#include <chrono>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "analysis/analysis.hpp"
#include "control/control.hpp"
#include "data/data.hpp"
#include "invocation/invocation.hpp"
#include "numeric/numeric.hpp"
#include "report/report.hpp"
#include "textio/textio.hpp"

namespace {

using namespace tramel;
using Clock = std::chrono::steady_clock;

// A step failed, or a series stopped: the case cannot be timed.
struct Failed {};

struct Split {
  double reading = 0, analysis = 0, writing = 0;
};

// work(), its time added to `into`.
template <class Work>
auto timed(double& into, Work&& work) {
  struct Clocked {
    double& into;
    Clock::time_point t0 = Clock::now();
    ~Clocked() { into += std::chrono::duration<double>(Clock::now() - t0).count(); }
  } clocked{into};
  return work();
}

// A step's value; its messages go to standard error.
template <class T>
T value_of(diagnostics::Outcome<T> outcome) {
  for (const diagnostics::Note& note : outcome.notes) {
    if (const auto* m = std::get_if<diagnostics::Message>(&note)) std::fputs(m->text.c_str(), stderr);
    if (const auto* w = std::get_if<diagnostics::Warning>(&note))
      std::fprintf(stderr, "warning: %s\n", w->text.c_str());
  }
  if (outcome.stop) std::fputs(outcome.stop->message.text.c_str(), stderr);
  if (outcome.failed()) throw Failed{};
  return std::move(*outcome.value);
}

template <class File>
void open(File& file, const std::string& path) {
  if (file.open(path) != 0) {
    std::perror(path.c_str());
    throw Failed{};
  }
}

Split run_case() {
  Split split;
  // The global settings, the head of the data file and the plan of the run.
  control::ControlFile control_file;
  open(control_file, "tramel.cnl");
  control::KeywordReader reader;
  const control::GlobalBlock global = value_of(control::read_global_block(control_file));
  const control::FileSettings files = value_of(control::read_file_settings(global, reader, "."));
  data::RecordFile data_file(files.data_path());
  open(data_file, files.data_path());
  const data::DataHead head =
      timed(split.reading, [&] { return value_of(data_file.read_head().head); });
  const control::AnalysisSettings analysis =
      value_of(control::read_analysis_settings(global, reader));
  const control::RunPlan plan = value_of(control::plan_run(
      control_file, 1, files, analysis, control::DataExtent{head.count, head.rate}, reader));
  textio::Sink report, forecast_file;
  open(report, "stages.out");
  open(forecast_file, "stages.forec");

  // The sample, with the run's stores taken from the work space as the program takes them.
  const analysis::Settings settings = invocation::series_settings(plan, invocation::Options{}, head);
  analysis::WorkSpace work_space(0);
  work_space.take(analysis::WorkSpace::run_bytes(settings, {plan.sample_size, plan.series_count}));
  const data::SampleRequest request{plan.first_datum, plan.last_datum, plan.series_count};
  data::ReadWork read_work;
  read_work.store = work_space.store();
  const data::Sample sample =
      timed(split.reading, [&] { return value_of(data_file.read_sample(request, read_work)); });

  // Each series analysed, then its results written; the forecast file after the last one.
  const numeric::FftPlan fft(plan.frame_length);
  const analysis::Context context{fft, &work_space, {}};
  numeric::ProbabilityFallback gamma;
  std::vector<std::vector<float>> forecasts(static_cast<std::size_t>(plan.series_count));
  for (int j = 0; j < plan.series_count; ++j) {
    analysis::SeriesResult r = timed(split.analysis, [&] {
      return analysis::analyse_series(j + 1, sample.series(j, work_space.store()), settings,
                                      context, gamma);
    });
    gamma = r.fallback;
    if (!r.completed()) {
      std::fprintf(stderr, "series %d stopped before its forecast\n", j + 1);
      throw Failed{};
    }
    timed(split.writing, [&] {
      if (plan.series_count > 1) report::write_series_box(report, j + 1);
      report::write_description(report, r.statistics, head.format_text);
      report::write_coherence_notes(report, r.coherence);
      report::write_var_block(report,
                              report::VarReport{r.significant, plan.analysis.frames_ahead, *r.fit});
      forecasts[j] = std::move(r.forecast);
      if (j + 1 == plan.series_count)
        report::write_forecast_file(forecast_file, forecasts, plan.frame_length);
      report::write_eigenvalues(report, r.eigenvalues, plan.analysis);
    });
    std::printf("series %d: %zu significant bins, %zu coefficients\n", j + 1,
                r.significant.size(), r.fit->coefficients.size());
  }
  timed(split.writing, [&] {
    report.close();
    forecast_file.close();
  });
  return split;
}

}  // namespace

int main() {
  try {
    const Split s = run_case();
    const double total = s.reading + s.analysis + s.writing;
    std::printf("reading  %.3f s\nanalysis %.3f s\nwriting  %.3f s\ntotal    %.3f s\n", s.reading,
                s.analysis, s.writing, total);
  } catch (const Failed&) {
    std::fprintf(stderr, "the case stopped early\n");
    return 1;
  }
  return 0;
}
