// The plots: one SVG per run and series, drawn with PLplot's svg driver. The upper panel is
// the coherence probability over the band with the threshold and the significant bins; the
// lower one the last observed frames of the series and the forecast frames after them.
#include <plplot/plplot.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "output/output.hpp"

namespace tramel::output {

namespace {

// Colour map 0 entries set for the plots.
enum Colour : PLINT { kWhite = 0, kBlack = 1, kBlue = 2, kRed = 3, kGrey = 4, kGreen = 5 };

std::string trimmed(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

// The ranges of a panel, widened a little so that no curve runs along a frame edge.
struct Range {
  double low = 0.0;
  double high = 1.0;
  void cover(double v) {
    if (!std::isfinite(v)) return;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  void pad(double share) {
    double span = high - low;
    if (!(span > 0.0)) span = std::max(1.0, std::fabs(high));
    low -= share * span;
    high += share * span;
  }
};

std::string time_unit(const control::RunPlan& plan) {
  switch (plan.analysis.unit_mode) {
    case control::UnitMode::Kilohertz:
      return "ms";
    case control::UnitMode::Hertz:
      return "s";
    case control::UnitMode::Time:
      break;
  }
  return trimmed(plan.analysis.unit_text);
}

std::string band_axis(const control::RunPlan& plan) {
  switch (plan.analysis.unit_mode) {
    case control::UnitMode::Kilohertz:
      return "frequency (kHz)";
    case control::UnitMode::Hertz:
      return "frequency (Hz)";
    case control::UnitMode::Time:
      break;
  }
  return "period (" + time_unit(plan) + ")";
}

void draw_coherence(const control::RunPlan& plan, const results::SeriesResult& s,
                    const std::string& title) {
  const std::vector<float>& p = s.coherence.probabilities;
  std::vector<PLFLT> x(p.size()), y(p.size());
  Range xr{1e300, -1e300};
  for (std::size_t i = 0; i < p.size(); ++i) {
    x[i] = control::bin_in_report_units(plan, plan.first_bin + static_cast<int>(i));
    y[i] = p[i];
    xr.cover(x[i]);
  }
  if (xr.low > xr.high) xr = Range{};
  xr.pad(0.02);

  plvpor(0.07, 0.97, 0.59, 0.91);
  plwind(xr.low, xr.high, 0.0, 1.05);
  plcol0(kBlack);
  plbox("bcnst", 0.0, 0, "bcnstv", 0.0, 0);
  pllab(band_axis(plan).c_str(), "coherence probability", "");
  plmtex("t", 2.2, 0.5, 0.5, title.c_str());

  plcol0(kBlue);
  plwidth(2.0);
  plline(static_cast<PLINT>(x.size()), x.data(), y.data());
  plwidth(1.0);

  // The threshold, dashed.
  const PLINT mark = 1500, space = 1500;
  plcol0(kRed);
  plstyl(1, &mark, &space);
  pljoin(xr.low, plan.analysis.threshold, xr.high, plan.analysis.threshold);
  plstyl(0, nullptr, nullptr);

  // The significant bins, marked.
  std::vector<PLFLT> sx, sy;
  for (const coherence::SignificantBin& b : s.significant) {
    sx.push_back(control::bin_in_report_units(plan, b.bin));
    sy.push_back(b.probability);
  }
  plcol0(kRed);
  plssym(0.0, 1.2);
  if (!sx.empty()) plpoin(static_cast<PLINT>(sx.size()), sx.data(), sy.data(), 4);
  plcol0(kBlack);
  const std::string legend = std::to_string(s.significant.size()) +
                             " significant bins (circles); dashed: the threshold " +
                             std::to_string(plan.analysis.threshold).substr(0, 6);
  plmtex("t", 0.5, 1.0, 1.0, legend.c_str());
}

void draw_forecast(const control::RunPlan& plan, const results::SeriesResult& s) {
  const double interval = control::sample_interval(plan);
  // Datum d (from 1) is at time (d - 1) * interval; the forecast starts right after the last
  // whole frame.
  const std::int64_t first_forecast =
      static_cast<std::int64_t>(plan.first_datum) + static_cast<std::int64_t>(plan.frames) * plan.frame_length;
  const auto observed = static_cast<std::int64_t>(s.last_frames.size());
  std::vector<PLFLT> ox(observed), oy(observed), fx(s.forecast.size()), fy(s.forecast.size());
  Range xr{1e300, -1e300}, yr{1e300, -1e300};
  for (std::int64_t i = 0; i < observed; ++i) {
    ox[i] = static_cast<double>(first_forecast - observed + i - 1) * interval;
    oy[i] = s.last_frames[i];
    xr.cover(ox[i]);
    yr.cover(oy[i]);
  }
  for (std::size_t i = 0; i < s.forecast.size(); ++i) {
    fx[i] = static_cast<double>(first_forecast + static_cast<std::int64_t>(i) - 1) * interval;
    fy[i] = s.forecast[i];
    xr.cover(fx[i]);
    yr.cover(fy[i]);
  }
  if (xr.low > xr.high) xr = Range{};
  if (yr.low > yr.high) yr = Range{};
  yr.pad(0.05);

  plvpor(0.07, 0.97, 0.09, 0.41);
  plwind(xr.low, xr.high, yr.low, yr.high);
  plcol0(kBlack);
  plbox("bcnst", 0.0, 0, "bcnstv", 0.0, 0);
  pllab(("time (" + time_unit(plan) + ")").c_str(), "series value", "");
  plmtex("t", 2.2, 0.5, 0.5, "The last observed frames and the forecast");

  plwidth(2.0);
  plcol0(kGrey);
  if (observed > 1) plline(static_cast<PLINT>(observed), ox.data(), oy.data());
  plcol0(kGreen);
  if (fx.size() > 1) plline(static_cast<PLINT>(fx.size()), fx.data(), fy.data());
  plwidth(1.0);

  // Where the forecast starts.
  const double start = static_cast<double>(first_forecast - 1) * interval;
  const PLINT mark = 600, space = 600;
  plcol0(kBlack);
  plstyl(1, &mark, &space);
  pljoin(start, yr.low, start, yr.high);
  plstyl(0, nullptr, nullptr);
  plmtex("t", 0.5, 1.0, 1.0,
         ("grey: observed; green: forecast from datum " + std::to_string(first_forecast) +
          " (after the last whole frame)")
             .c_str());
}

}  // namespace

std::string plot_name(int run, int series) {
  return "tramel-run" + std::to_string(run) + "-series" + std::to_string(series) + ".svg";
}

std::vector<std::string> write_plots(const std::filesystem::path& folder,
                                     const results::InvocationResult& result) {
  std::vector<std::string> errors;
  for (const results::RunResult& r : result.runs) {
    for (const results::SeriesResult& s : r.series) {
      if (!s.completed()) continue;
      const std::filesystem::path file = folder / plot_name(r.plan.run, s.series);
      const std::string title = trimmed(result.data_file) + ": run " + std::to_string(r.plan.run) +
                                ", series " + std::to_string(s.series) + ": coherence over the band";
      plsdev("svg");
      plsfnam(file.string().c_str());
      plspage(0.0, 0.0, 1600, 900, 0, 0);
      plscmap0n(16);
      plscol0(kWhite, 255, 255, 255);
      plscol0(kBlack, 0, 0, 0);
      plscol0(kBlue, 31, 119, 180);
      plscol0(kRed, 214, 39, 40);
      plscol0(kGrey, 110, 110, 110);
      plscol0(kGreen, 44, 160, 44);
      plinit();
      pladv(0);
      plschr(0.0, 0.75);
      draw_coherence(r.plan, s, title);
      draw_forecast(r.plan, s);
      plend();
      std::error_code ec;
      if (!std::filesystem::is_regular_file(file, ec)) errors.push_back("cannot write " + file.string());
    }
  }
  return errors;
}

}  // namespace tramel::output
