// The VAR block of a series and its eigenvalue block.
#include "report/report.hpp"

namespace tramel::report {
namespace {

using textio::Format;

// The report lines of the VAR and eigenvalue blocks, compiled on first use.
struct Formats {
  Format significant{"(/,2x,'Number of Significant Frequencies used in the VAR Fit = ',i2,/)"};
  Format table_head{"(5x,'Signal Coherence Probabilites & Their Frequency Bins')"};
  Format table_rule{"(5x,47('='))"};
  Format pairs{"(4(f7.4,' - ',i3,1x))"};
  Format settings_rule{"(2x,47('='))"};
  Format settings{"(5x,i2,' Frames Forecasted',2x,'Number of Lags = ',i2)"};
  Format coef_rule{"(2x,47('-'))"};
  Format coef_head{"(3x,'VAR Coefficients',7x,'Std Error',5x,'t Value',/)"};
  Format coef{"(2x,'b(',i2,',',i2,') = ',f9.3,3x,f9.3,3x,f9.3)"};
  Format rsq{"(/,7x,'R Square = ',f7.3,/)"};
  Format end{"(/,2x,37('*'))"};
  Format eigen_khz{"(3x,'Magnitudes',4x,'Periods - System Eigenvalues in units of milseconds',/)"};
  Format eigen_hz{"(3x,'Magnitudes',4x,'Periods - System Eigenvalues in units of seconds',/)"};
  Format eigen_time{"(3x,'Magnitudes',4x,'Periods - System Eigenvalues in units of ',a7,/)"};
  Format eigen{"(1x,i2,2x,f8.4,6x,f6.2)"};
  Format eigen_zero{"(1x,i2,2x,f8.4,6x,'Zero Frequency')"};
};

const Formats& fmt() {
  static const Formats formats;
  return formats;
}

using Bins = std::span<const coherence::SignificantBin>;

// One table row: pairs first..first+count-1 (0-based) of probability and bin, then the
// empty line.
void pair_row(Sink& report, Bins bins, int first, int count) {
  textio::Item items[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < count; ++k) {
    items[2 * k] = textio::Item(bins[first + k].probability);
    items[2 * k + 1] = textio::Item(static_cast<std::int32_t>(bins[first + k].bin));
  }
  textio::write(report, fmt().pairs, std::span<const textio::Item>(items, 2 * count));
  textio::list(report);
}

// The significant bins, four pairs to a row.
void pair_table(Sink& report, Bins bins) {
  const int m = static_cast<int>(bins.size());
  if (m <= 4) {
    pair_row(report, bins, 0, m);
    return;
  }
  for (int g = 0; g < m / 4; ++g) pair_row(report, bins, 4 * g, 4);
  textio::list(report);
  if (m % 4 != 0) pair_row(report, bins, 4 * (m / 4), m % 4);
}

}  // namespace

void write_var_block(Sink& report, const VarReport& var) {
  const Formats& F = fmt();
  const forecast::VarFit& fit = var.fit;
  textio::write(report, F.significant, static_cast<std::int32_t>(var.bins.size()));
  textio::write(report, F.table_head);
  textio::write(report, F.table_rule);
  pair_table(report, var.bins);
  textio::write(report, F.settings_rule);
  textio::write(report, F.settings, var.frames_ahead, fit.lags);
  textio::write(report, F.coef_rule);
  textio::write(report, F.coef_head);
  // Equation by equation, lag by lag, variable by variable.
  for (int i = 0; i < fit.variables; ++i) {
    for (int u = 0; u < fit.regressors(); ++u) {
      const std::size_t g = fit.index(i, u);
      textio::write(report, F.coef, i + 1, u + 1, static_cast<float>(fit.coefficients[g]),
                    fit.std_errors[g], fit.t_value(g));
    }
  }
  textio::write(report, F.rsq, fit.r_square);
  textio::write(report, F.end);
}

void write_model_block(Sink& report, const ModelReport& model) {
  static const Format kModel("(5x,'Forecast model: ',a)");
  static const Format kLeftOut("(5x,'Significant bins left out by the size rule:',20(1x,i3))");
  static const Format kFewerLags("(5x,'Lags kept by the size rule: ',i2,' of ',i2)");
  static const Format kLevelsHead("(/,3x,'Mean of each variable')");
  static const Format kChangesHead("(/,3x,'Drift: the mean change of each variable')");
  static const Format kMean("(2x,'c(',i2,') = ',f9.3)");
  const Formats& F = fmt();
  const forecast::ModelRun& run = model.run;
  const forecast::ModelFit& fit = *run.fit;
  const bool levels = model.model == analysis::Model::Levels;
  static const Format kCounts(
      "(/,2x,'Number of Significant Frequencies = ',i3,',',i3,' of them in the model',/)");
  textio::write(report, kCounts, static_cast<std::int32_t>(model.bins.size()),
                static_cast<std::int32_t>(run.choice.kept.size()));
  textio::write(report, F.table_head);
  textio::write(report, F.table_rule);
  if (!model.bins.empty()) pair_table(report, model.bins);
  textio::write(report, F.settings_rule);
  textio::write(report, F.settings, model.frames_ahead, fit.lags);
  if (fit.lags < model.lags_asked) textio::write(report, kFewerLags, fit.lags, model.lags_asked);
  textio::write(report, kModel, levels ? "levels (bin 0, the frame's level, and the bins above)"
                                       : "changes (bin 0, the frame's level, and the bins above)");
  if (!run.choice.left_out.empty()) {
    std::vector<textio::Item> bins;
    for (const int b : run.choice.left_out) bins.emplace_back(static_cast<std::int32_t>(b));
    textio::write(report, kLeftOut, std::span<const textio::Item>(bins));
  }
  textio::write(report, F.coef_rule);
  textio::write(report, F.coef_head);
  for (int i = 0; i < fit.variables; ++i) {
    for (int u = 0; u < fit.regressors(); ++u) {
      const std::size_t g = static_cast<std::size_t>(i) * static_cast<std::size_t>(fit.regressors()) +
                            static_cast<std::size_t>(u);
      const auto b = static_cast<float>(fit.coefficients[g]);
      const auto se = static_cast<float>(fit.std_errors[g]);
      textio::write(report, F.coef, i + 1, u + 1, b, se, b / se);
    }
  }
  textio::write(report, levels ? kLevelsHead : kChangesHead);
  for (int i = 0; i < fit.variables; ++i)
    textio::write(report, kMean, i + 1, static_cast<float>(fit.mean[static_cast<std::size_t>(i)]));
  textio::write(report, F.rsq, static_cast<float>(fit.r_square));
  textio::write(report, F.end);
}

void write_model_fit_failure(Sink& report) {
  static const Format kFailure(
      "(' The least-squares fit of the forecast model failed:',/,' its variables are linearly dependent')");
  textio::write(report, kFailure);
}

void write_eigenvalues(Sink& report, const forecast::Eigenvalues& eigenvalues,
                       const control::AnalysisSettings& settings) {
  const Formats& F = fmt();
  if (!eigenvalues.converged) textio::list(report, "Too many iterations in hqr");
  switch (settings.unit_mode) {
    case control::UnitMode::Kilohertz:
      textio::write(report, F.eigen_khz);
      break;
    case control::UnitMode::Hertz:
      textio::write(report, F.eigen_hz);
      break;
    case control::UnitMode::Time:
      textio::write(report, F.eigen_time, settings.unit_text);
      break;
  }
  int i = 0;
  for (const forecast::Eigenvalue& e : eigenvalues.values) {
    ++i;
    // Real eigenvalues, and the member of a complex pair with a negative angle, have no
    // positive period.
    if (e.period > 1.0e-7f)
      textio::write(report, F.eigen, i, e.magnitude, e.period);
    else
      textio::write(report, F.eigen_zero, i, e.magnitude);
  }
  textio::list(report);
}

}  // namespace tramel::report
