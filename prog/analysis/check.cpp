// The settings of a run against every rule, in the order the control file checks them.
#include "analysis/analysis.hpp"

namespace tramel::analysis {

rules::Verdict check(const Settings& s, const rules::DataExtent& extent) {
  const std::int64_t samples = extent.sample_size();
  const rules::Verdict verdicts[] = {
      rules::threshold(s.threshold),
      rules::frames_ahead(s.frames_ahead),
      rules::lags(s.lags),
      rules::taper(s.taper_percent),
      rules::data_start(extent),
      rules::data_end(extent),
      rules::data_present(extent),
      rules::sample_size(samples),
      rules::frame_length(s.frame_length, s.model),
      rules::whole_frames(samples, s.frame_length, s.model),
      rules::band(s.first_bin, s.last_bin, s.frame_length),
      rules::model_options(
          {s.model, s.interval_levels, s.backtest, s.backtest_origins, s.transform.has_value(), s.fdr_level}),
  };
  for (const rules::Verdict& v : verdicts)
    if (v) return v;
  if (s.backtest)
    return rules::backtest_origins(s.backtest_origins, samples / s.frame_length, s.model);
  return {};
}

}  // namespace tramel::analysis
