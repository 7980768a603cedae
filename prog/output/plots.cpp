// The plots: one SVG per run and series, drawn with PLplot's svg driver. The upper panel is
// the coherence over the band, on a scale that tells probabilities near 1 apart, with the
// threshold and the significant bins; the lower one the last observed frames of the series
// running into the forecast frames, with the forecast's intervals as shaded bands.
//
// PLplot ends the process on a fatal error of its own (a file it cannot write, a driver that
// fails), so each plot is drawn in a child process: a failure of the library ends only the
// child, and the program says which plot could not be written and why. The file is opened
// by the program before the drawing starts, the library draws into memory, and the program
// writes the bytes, so a file that cannot be opened or written (a full disk) is an error the
// program reports like any other. By the time the plots are drawn every other output is
// complete and closed.
#include <fcntl.h>
#include <plplot/plplot.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "output/output.hpp"

namespace tramel::output {

namespace {

// Colour map 0 entries set for the plots.
enum Colour : PLINT {
  kWhite = 0,
  kBlack = 1,
  kBlue = 2,
  kRed = 3,
  kGrey = 4,
  kGreen = 5,
  kBand95 = 6,
  kBand80 = 7,
};

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

// The coherence panel's axis: frequency in Hz or kHz mode; in time mode the period, or for a
// band of more than kMostPeriodBins bins (whose periods would crowd at one end) the frequency
// in cycles per frame.
constexpr int kMostPeriodBins = 30;
bool in_cycles_per_frame(const control::RunPlan& plan) {
  return plan.analysis.unit_mode == control::UnitMode::Time && plan.bin_count() > kMostPeriodBins;
}

double band_position(const control::RunPlan& plan, int bin) {
  return in_cycles_per_frame(plan) ? static_cast<double>(bin) : control::bin_in_report_units(plan, bin);
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
  if (in_cycles_per_frame(plan)) {
    char frame[64];
    std::snprintf(frame, sizeof frame, "%g", plan.frame_length * static_cast<double>(plan.spacing.interval()));
    return "frequency (cycles per frame of " + std::string(frame) + " " + time_unit(plan) + ")";
  }
  return "period (" + time_unit(plan) + ")";
}

// A probability on the coherence scale: -log10(1 - p), so that 0.9, 0.99 and 0.999 stand at 1,
// 2 and 3. A probability of 1 (in single precision) stands at the scale's top.
constexpr double kScaleTop = 7.0;
double coherence_scale(double p) {
  if (!(p < 1.0)) return kScaleTop;
  return std::min(kScaleTop, -std::log10(1.0 - std::max(p, 0.0)));
}

// The labels of the coherence scale: the probability at each whole step (0, 0.9, 0.99 ...).
void probability_label(PLINT axis, PLFLT value, char* label, PLINT length, PLPointer) {
  if (axis != PL_Y_AXIS) {
    std::snprintf(label, static_cast<std::size_t>(length), "%g", value);
    return;
  }
  const int nines = static_cast<int>(std::lround(value));
  if (std::fabs(value - nines) > 1e-6 || nines < 0) {
    label[0] = '\0';
  } else if (nines == 0) {
    std::snprintf(label, static_cast<std::size_t>(length), "0");
  } else {
    std::string text = "0.";
    text.append(static_cast<std::size_t>(nines), '9');
    std::snprintf(label, static_cast<std::size_t>(length), "%s", text.c_str());
  }
}

struct Titles {
  std::string coherence;  // the upper panel's
  std::string series;     // the series' name
};

void draw_coherence(const control::RunPlan& plan, const results::SeriesResult& s,
                    const Titles& titles) {
  const std::vector<float>& p = s.coherence.probabilities;
  std::vector<PLFLT> x(p.size()), y(p.size());
  Range xr{1e300, -1e300};
  for (std::size_t i = 0; i < p.size(); ++i) {
    x[i] = band_position(plan, plan.first_bin + static_cast<int>(i));
    y[i] = coherence_scale(p[i]);
    xr.cover(x[i]);
  }
  if (xr.low > xr.high) xr = Range{};
  xr.pad(0.02);

  plvpor(0.11, 0.97, 0.58, 0.86);
  plwind(xr.low, xr.high, 0.0, kScaleTop + 0.3);
  plcol0(kBlack);
  plslabelfunc(probability_label, nullptr);
  plbox("bcnst", 0.0, 0, "bcnstvo", 2.0, 2);
  plslabelfunc(nullptr, nullptr);
  pllab(band_axis(plan).c_str(), "", "");
  plmtex("l", 8.5, 0.5, 0.5, "coherence probability");
  plmtex("t", 3.2, 0.5, 0.5, titles.coherence.c_str());

  plcol0(kBlue);
  plwidth(2.0);
  plline(static_cast<PLINT>(x.size()), x.data(), y.data());
  plwidth(1.0);

  // The threshold, dashed.
  const double threshold = coherence_scale(plan.analysis.threshold);
  const PLINT mark = 1500, space = 1500;
  plcol0(kRed);
  plstyl(1, &mark, &space);
  pljoin(xr.low, threshold, xr.high, threshold);
  plstyl(0, nullptr, nullptr);

  // The significant bins, marked.
  std::vector<PLFLT> sx, sy;
  for (const coherence::SignificantBin& b : s.significant) {
    sx.push_back(band_position(plan, b.bin));
    sy.push_back(coherence_scale(b.probability));
  }
  plssym(0.0, 1.2);
  if (!sx.empty()) plpoin(static_cast<PLINT>(sx.size()), sx.data(), sy.data(), 4);
  plcol0(kBlack);
  char threshold_text[32];
  std::snprintf(threshold_text, sizeof threshold_text, "%g", static_cast<double>(plan.analysis.threshold));
  const std::string legend = std::to_string(s.significant.size()) +
                             " significant bins (circles); dashed: the threshold P = " + threshold_text +
                             "; a probability of 1 stands at the top";
  plmtex("t", 1.4, 1.0, 1.0, legend.c_str());
}

// The polygon between a lower and an upper curve over the same x, shaded.
void band(const std::vector<PLFLT>& x, const std::vector<float>& lower,
          const std::vector<float>& upper, std::size_t skip, PLINT colour) {
  std::vector<PLFLT> px, py;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    px.push_back(x[skip + i]);
    py.push_back(lower[i]);
  }
  for (std::size_t i = upper.size(); i-- > 0;) {
    px.push_back(x[skip + i]);
    py.push_back(upper[i]);
  }
  if (px.size() < 3) return;
  plcol0(colour);
  plfill(static_cast<PLINT>(px.size()), px.data(), py.data());
}

// Where datum d (from 1) stands on the time axis of the lower panel, and the axis' words:
// - without a time column, at d times the sampling interval, in the report's units;
// - with stamps of dates or whole seconds, at its row (d - 1), the ticks labelled with the
//   data's own stamps (stamp_ticks);
// - with stamps a fraction of a second apart, or a time column of numbers, at the seconds
//   from the first stamp.
struct TimeScale {
  enum class Kind : std::uint8_t { Interval, Stamps, Seconds };
  Kind kind = Kind::Interval;
  double per_datum = 1.0;
  std::string words;

  double at(std::int64_t datum) const {
    return kind == Kind::Interval ? static_cast<double>(datum) * per_datum : static_cast<double>(datum - 1) * per_datum;
  }
};

TimeScale time_scale(const control::RunPlan& plan, const std::optional<csv::TimeAxis>& time,
                     const std::string& time_name) {
  if (!time)
    return {TimeScale::Kind::Interval, control::sample_interval(plan),
            "time (" + time_unit(plan) + "; datum d at d times the sampling interval)"};
  if (time->form.kind != csv::StampForm::Kind::Number && time->whole_seconds())
    return {TimeScale::Kind::Stamps, 1.0, time_name.empty() ? "time" : time_name};
  return {TimeScale::Kind::Seconds, static_cast<double>(time->step_seconds()),
          "seconds from the first stamp, " + time->stamp(0)};
}

// The most ticks a time axis of stamps gets (fewer for the longer labels of a time of day), and
// the spacings of its ticks: in months for a calendar axis, else in seconds (a week's ticks on
// Mondays).
constexpr std::size_t kMostTicks = 8;
constexpr std::size_t kMostClockTicks = 6;
constexpr std::int64_t kMostWholeStampTicks = 4;
constexpr std::int64_t kTickMonths[] = {1, 2, 3, 6, 12, 24, 60, 120, 240, 600, 1200};
constexpr std::int64_t kTickSeconds[] = {1,     2,     5,     10,    15,     30,     60,      120,
                                         300,   600,   900,   1800,  3600,   7200,   10800,   21600,
                                         43200, 86400, 172800, 604800, 1209600, 2419200, 4838400, 9676800};
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 7 * kDay;

std::int64_t floor_mod(std::int64_t a, std::int64_t b) { return ((a % b) + b) % b; }

// The rows r0..r1 of a time axis of stamps whose stamps fall on a tick of the first spacing
// that gives few enough ticks, each with its label: the year, the month, the date or the time
// of day as the spacing needs; else every k-th row, labelled with its whole stamp.
std::vector<std::pair<std::int64_t, std::string>> stamp_ticks(const csv::TimeAxis& a, std::int64_t r0, std::int64_t r1) {
  std::vector<std::pair<std::int64_t, std::string>> ticks;
  if (r1 < r0) return ticks;
  std::vector<std::int64_t> rows;
  std::size_t cut = 0;  // the label: the stamp's first `cut` characters, or its time of day
  bool time_of_day = false;
  if (a.calendar) {
    const std::string first = a.stamp(0);
    const std::int64_t m0 = 12 * std::stoll(first.substr(0, 4)) + std::stoll(first.substr(5, 2)) - 1;
    for (const std::int64_t months : kTickMonths) {
      if (months % a.step != 0) continue;
      rows.clear();
      for (std::int64_t r = r0; r <= r1; ++r)
        if (floor_mod(m0 + r * a.step, months) == 0) rows.push_back(r);
      cut = months >= 12 ? 4 : 7;
      if (rows.size() <= kMostTicks) break;
    }
  } else {
    const std::int64_t per_second = 1000000000 / a.form.tick_nanoseconds();
    const std::int64_t local = a.first + static_cast<std::int64_t>(a.form.offset_minutes) * 60 * per_second;
    for (const std::int64_t seconds : kTickSeconds) {
      const std::int64_t spacing = seconds * per_second;
      if (spacing % a.step != 0) continue;
      // Weeks start on a Monday: 1970-01-01 was a Thursday.
      const std::int64_t shift = seconds % kWeek == 0 ? 3 * kDay * per_second : 0;
      rows.clear();
      for (std::int64_t r = r0; r <= r1; ++r)
        if (floor_mod(local + r * a.step + shift, spacing) == 0) rows.push_back(r);
      cut = 10;
      time_of_day = seconds < kDay;
      if (rows.size() <= (time_of_day ? kMostClockTicks : kMostTicks)) break;
    }
  }
  if (rows.size() < 2) {
    rows.clear();
    const std::int64_t every = std::max<std::int64_t>(1, (r1 - r0 + kMostWholeStampTicks - 1) / kMostWholeStampTicks);
    for (std::int64_t r = r0; r <= r1; r += every) rows.push_back(r);
    cut = 0;
  }
  for (const std::int64_t r : rows) {
    const std::string stamp = a.stamp(r);
    std::string label = cut > 0 ? stamp.substr(0, cut) : stamp;
    if (time_of_day && stamp.size() >= 16) {
      // The time of day, after the date when the ticks span more than one day.
      const std::string clock = stamp.substr(11, a.form.seconds ? 8 : 5);
      const bool one_day = a.stamp(rows.front()).substr(0, 10) == a.stamp(rows.back()).substr(0, 10);
      label = one_day ? clock : stamp.substr(5, 5) + " " + clock;
    }
    ticks.emplace_back(r, label);
  }
  return ticks;
}

void draw_forecast(const control::RunPlan& plan, const results::SeriesResult& s, const Titles& titles,
                   const TimeScale& scale, const std::optional<csv::TimeAxis>& time) {
  // The forecast starts right after the last whole frame.
  const std::int64_t first_forecast = control::forecast_first_datum(plan);
  const auto observed = static_cast<std::int64_t>(s.last_frames.size());
  std::vector<PLFLT> ox(observed), oy(observed);
  Range xr{1e300, -1e300}, yr{1e300, -1e300};
  for (std::int64_t i = 0; i < observed; ++i) {
    ox[i] = scale.at(first_forecast - observed + i);
    oy[i] = s.last_frames[i];
    xr.cover(ox[i]);
    yr.cover(oy[i]);
  }
  // The forecast joins the last observed sample, so that a jump of the level shows.
  std::vector<PLFLT> fx, fy;
  if (observed > 0) {
    fx.push_back(ox.back());
    fy.push_back(oy.back());
  }
  const std::size_t skip = fx.size();
  for (std::size_t i = 0; i < s.forecast.size(); ++i) {
    fx.push_back(scale.at(first_forecast + static_cast<std::int64_t>(i)));
    fy.push_back(s.forecast[i]);
    xr.cover(fx.back());
    yr.cover(fy.back());
  }
  for (const forecast::ForecastInterval& i : s.intervals) {
    for (const float v : i.lower) yr.cover(v);
    for (const float v : i.upper) yr.cover(v);
  }
  if (xr.low > xr.high) xr = Range{};
  if (yr.low > yr.high) yr = Range{};
  yr.pad(0.05);

  plvpor(0.11, 0.97, 0.09, 0.37);
  plwind(xr.low, xr.high, yr.low, yr.high);

  // The intervals first, the widest lightest, so that the curves stand on them.
  std::vector<const forecast::ForecastInterval*> widest_first;
  for (const forecast::ForecastInterval& i : s.intervals) widest_first.push_back(&i);
  std::sort(widest_first.begin(), widest_first.end(),
            [](const auto* a, const auto* b) { return a->level > b->level; });
  for (std::size_t k = 0; k < widest_first.size(); ++k)
    band(fx, widest_first[k]->lower, widest_first[k]->upper, skip,
         k + 1 == widest_first.size() && widest_first.size() > 1 ? kBand80 : kBand95);

  plcol0(kBlack);
  if (scale.kind == TimeScale::Kind::Stamps && time) {
    // Ticks at the rows whose stamps fall on a round date or time, labelled with them.
    plbox("bc", 0.0, 0, "bcnstv", 0.0, 0);
    const double tick = 0.025 * (yr.high - yr.low);
    for (const auto& [row, label] : stamp_ticks(*time, static_cast<std::int64_t>(std::ceil(xr.low)),
                                                static_cast<std::int64_t>(std::floor(xr.high)))) {
      const auto x = static_cast<double>(row);
      pljoin(x, yr.low, x, yr.low + tick);
      pljoin(x, yr.high, x, yr.high - tick);
      plmtex("b", 1.6, xr.high > xr.low ? (x - xr.low) / (xr.high - xr.low) : 0.5, 0.5, label.c_str());
    }
    plmtex("b", 3.2, 0.5, 0.5, scale.words.c_str());
  } else {
    plbox("bcnst", 0.0, 0, "bcnstv", 0.0, 0);
    pllab(scale.words.c_str(), "", "");
  }
  plmtex("l", 8.5, 0.5, 0.5, titles.series.c_str());
  plwidth(2.0);
  plcol0(kGrey);
  if (observed > 1) plline(static_cast<PLINT>(observed), ox.data(), oy.data());
  plcol0(kGreen);
  if (fx.size() > 1) plline(static_cast<PLINT>(fx.size()), fx.data(), fy.data());
  plwidth(1.0);

  // Where the forecast starts: at its first datum.
  const double start = scale.at(first_forecast);
  const PLINT mark = 600, space = 600;
  plcol0(kBlack);
  plstyl(1, &mark, &space);
  pljoin(start, yr.low, start, yr.high);
  plstyl(0, nullptr, nullptr);

  std::string bands;
  for (std::size_t k = widest_first.size(); k-- > 0;) {
    char level[32];
    std::snprintf(level, sizeof level, "%g", static_cast<double>(widest_first[k]->level));
    bands += (bands.empty() ? "" : " and ") + std::string(level) + " %";
  }
  std::string model(analysis::model_name(s.model));
  plmtex("t", 3.2, 0.5, 0.5,
         ("The last observed frames and the forecast (" + model + ")").c_str());
  plmtex("t", 1.4, 1.0, 1.0,
         ("grey: observed; green: forecast from datum " + std::to_string(first_forecast) +
          " (dotted)" + (bands.empty() ? std::string(", after the last whole frame")
                                       : "; shaded: the " + bands + " intervals"))
             .c_str());
}

// Draws the plot into memory and returns its bytes; PLplot closes the memory stream itself.
std::string draw(const control::RunPlan& plan, const results::SeriesResult& s, const Titles& titles,
                 const results::InvocationResult& result) {
  char* bytes = nullptr;
  std::size_t size = 0;
  std::FILE* memory = open_memstream(&bytes, &size);
  if (memory == nullptr) return {};
  // A fatal error of the library is said on standard error (the parent reads it) and ends the
  // drawing process.
  plsexit([](const char* message) {
    std::fprintf(stderr, "%s\n", message);
    return 1;
  });
  plsdev("svg");
  plsfile(memory);
  plspage(0.0, 0.0, 1600, 900, 0, 0);
  plscmap0n(16);
  plscol0(kWhite, 255, 255, 255);
  plscol0(kBlack, 0, 0, 0);
  plscol0(kBlue, 31, 119, 180);
  plscol0(kRed, 214, 39, 40);
  plscol0(kGrey, 110, 110, 110);
  plscol0(kGreen, 44, 160, 44);
  plscol0(kBand95, 214, 236, 214);
  plscol0(kBand80, 164, 214, 164);
  plinit();
  pladv(0);
  plschr(0.0, 0.75);
  draw_coherence(plan, s, titles);
  draw_forecast(plan, s, titles, time_scale(plan, result.time, result.time_name), result.time);
  plend();  // closes the memory stream: `bytes` and `size` now hold the plot
  std::string svg(bytes != nullptr ? bytes : "", size);
  std::free(bytes);
  return svg;
}

// The first line of what the drawing process said, or `fallback`.
std::string first_line(const std::string& said, const std::string& fallback) {
  std::size_t at = said.find_first_not_of(" \n*");
  if (at == std::string::npos) return fallback;
  std::string line = said.substr(at, said.find('\n', at) - at);
  while (!line.empty() && (line.back() == ' ' || line.back() == '*')) line.pop_back();
  return line.empty() ? fallback : line;
}

// Draws one plot in a child process that writes `file`; the error text, empty when written.
std::string write_plot(const std::filesystem::path& file, const control::RunPlan& plan,
                       const results::SeriesResult& s, const Titles& titles,
                       const results::InvocationResult& result) {
  const std::string name = file.string();
  const auto failure = [&name](const std::string& reason) {
    return "cannot write the plot " + name + ": " + reason;
  };
  errno = 0;
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return failure(std::strerror(errno));
  int said[2];
  if (::pipe(said) != 0) {
    ::close(fd);
    return failure(std::strerror(errno));
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = ::fork();
  if (child < 0) {
    const int e = errno;
    ::close(fd);
    ::close(said[0]);
    ::close(said[1]);
    return failure(std::strerror(e));
  }
  if (child == 0) {
    // The child: what it says goes to the parent; it draws, writes the file and ends.
    ::dup2(said[1], STDERR_FILENO);
    ::close(said[0]);
    const std::string svg = draw(plan, s, titles, result);
    if (svg.empty()) {
      std::fputs("the plotting library drew nothing\n", stderr);
      ::_exit(2);
    }
    for (std::size_t at = 0; at < svg.size();) {
      const ssize_t n = ::write(fd, svg.data() + at, svg.size() - at);
      if (n < 0) {
        if (errno == EINTR) continue;
        std::fprintf(stderr, "%s\n", std::strerror(errno));
        ::_exit(3);
      }
      at += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
      std::fprintf(stderr, "%s\n", std::strerror(errno));
      ::_exit(3);
    }
    ::_exit(0);
  }
  ::close(fd);
  ::close(said[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(said[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(said[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  return failure(first_line(text, WIFSIGNALED(status) ? "the plotting process ended by a signal"
                                                      : "the plotting library failed"));
}

// Series j's name (from 1): the data's, or "series j".
std::string series_name(const results::InvocationResult& result, int j) {
  const auto i = static_cast<std::size_t>(j - 1);
  return i < result.series_names.size() && !result.series_names[i].empty()
             ? result.series_names[i]
             : "series " + std::to_string(j);
}

}  // namespace

bool plots_available() { return true; }

std::vector<std::string> write_plots(const std::filesystem::path& folder,
                                     const results::InvocationResult& result) {
  std::vector<std::string> errors;
  for (const results::RunResult& r : result.runs) {
    for (const results::SeriesResult& s : r.series) {
      if (!s.completed()) continue;
      const std::string name = series_name(result, s.series);
      const Titles titles{trimmed(result.data_file) + ": run " + std::to_string(r.plan.run) + ", " +
                              name + ": coherence over the band",
                          name};
      const std::string error =
          write_plot((folder / plot_name(r.plan.run, s.series)).lexically_normal(), r.plan, s, titles, result);
      if (!error.empty()) errors.push_back(error);
    }
  }
  return errors;
}

}  // namespace tramel::output
