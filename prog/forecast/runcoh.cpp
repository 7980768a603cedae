// The forecast run of one series and its report: the VAR block, the forecast file after the
// last series, and the eigenvalue block.
#include <algorithm>
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
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

// One table row: pairs first..first+count-1 (0-based) of probability and bin, then the
// empty line.
void pair_row(textio::Sink& report, std::span<const float> sp, std::span<const std::int32_t> ik,
              int first, int count) {
  textio::Item items[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int k = 0; k < count; ++k) {
    items[2 * k] = textio::Item(sp[first + k]);
    items[2 * k + 1] = textio::Item(ik[first + k]);
  }
  textio::write(report, fmt().pairs, std::span<const textio::Item>(items, 2 * count));
  textio::list(report);
}

// The significant bins, four pairs to a row.
void pair_table(textio::Sink& report, std::span<const float> sp, std::span<const std::int32_t> ik,
                int m) {
  if (m <= 4) {
    pair_row(report, sp, ik, 0, m);
    return;
  }
  for (int g = 0; g < m / 4; ++g) pair_row(report, sp, ik, 4 * g, 4);
  textio::list(report);
  if (m % 4 != 0) pair_row(report, sp, ik, 4 * (m / 4), m % 4);
}

}  // namespace

void write_var_block(textio::Sink& report, std::span<const float> sp,
                     std::span<const std::int32_t> ik, int m, int nahead, int p,
                     std::span<const double> c, std::span<const float> s, float rsq) {
  const Formats& F = fmt();
  textio::write(report, F.significant, m);
  textio::write(report, F.table_head);
  textio::write(report, F.table_rule);
  pair_table(report, sp, ik, m);
  textio::write(report, F.settings_rule);
  textio::write(report, F.settings, nahead, p);
  textio::write(report, F.coef_rule);
  textio::write(report, F.coef_head);
  // Equation by equation, lag by lag, variable by variable.
  const int nv = 2 * m;
  const int nr = nv * p;
  for (int i = 1; i <= nv; ++i) {
    const std::size_t row = static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nr);
    for (int u = 1; u <= nr; ++u) {
      const auto b = static_cast<float>(c[row + u - 1]);
      const float se = s[row + u - 1];
      textio::write(report, F.coef, i, u, b, se, b / se);
    }
  }
  textio::write(report, F.rsq, rsq);
  textio::write(report, F.end);
}

void write_eigenvalues(textio::Sink& report, std::span<const float> wr, std::span<const float> wi,
                       int nr, int iunit, std::string_view unit) {
  const Formats& F = fmt();
  switch (iunit) {
    case 1:
      textio::write(report, F.eigen_khz);
      break;
    case 2:
      textio::write(report, F.eigen_hz);
      break;
    default:
      textio::write(report, F.eigen_time, unit);
      break;
  }
  for (int i = 0; i < nr; ++i) {
    // Real eigenvalues, and the member of a complex pair with a negative angle, have no
    // positive period.
    if (wi[i] > 1.0e-7f)
      textio::write(report, F.eigen, i + 1, wr[i], wi[i]);
    else
      textio::write(report, F.eigen_zero, i + 1, wr[i]);
  }
  textio::list(report);
}

void runcoh(const SeriesInput& in, std::span<float> forecast_matrix, std::span<double> c,
            std::span<float> s, textio::Sink& report, textio::Sink& forecast_file) {
  const int nv = 2 * in.m;
  const int nr = nv * in.p;
  const auto unr = static_cast<std::size_t>(nr);
  const auto nc = static_cast<std::size_t>(nv) * unr;
  const auto rows = static_cast<std::size_t>(in.nahead) * static_cast<std::size_t>(in.lb);

  // Work of the series: residuals then forecasts, the state vector, one frame's transform.
  std::vector<float> work(static_cast<std::size_t>(std::max(in.nf, in.nahead)) *
                          static_cast<std::size_t>(nv));
  std::vector<float> state(unr);
  std::vector<Complex> f(static_cast<std::size_t>(in.lb));
  float rsq = 0.0f;
  cohpred(in.y, forecast_matrix.subspan(static_cast<std::size_t>(in.series - 1) * rows, rows), f,
          in.g, in.v, c, work, s, rsq, in.ik, in.sd, state, in.nf, in.lb, in.m, in.p, in.nahead,
          report);

  write_var_block(report, in.sp, in.ik, in.m, in.nahead, in.p, c, s, rsq);

  if (in.series == in.M) wrtpred(forecast_file, forecast_matrix, in.lb, in.nahead, in.M);

  // The coefficients in single precision; the companion matrix and the eigenvalues have
  // storage of their own, whatever nr*nr is beside the size of the series.
  std::vector<float> b(nc);
  for (std::size_t g = 0; g < nc; ++g) b[g] = static_cast<float>(c[g]);
  std::vector<float> a(unr * unr);
  std::vector<float> wr(unr), wi(unr);
  sysev(b, a, wr, wi, nv, nr, report);
  write_eigenvalues(report, wr, wi, nr, in.iunit, in.unit);
}

}  // namespace tramel::forecast
