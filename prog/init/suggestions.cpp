// The settings chosen for a data file, each with its reason, checked by planning the control
// file that holds them as the program plans a run.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "analysis/analysis.hpp"
#include "init/control_text.hpp"
#include "init/init.hpp"

namespace tramel::init {
namespace {

using csv::TimeUnit;

Result<Suggestion> failure(std::string text) { return Result<Suggestion>::failure(Error{std::move(text), 0, 0}); }

std::string plural(std::int64_t n, std::string_view word) {
  return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
}

std::string data_text(std::int64_t n) { return n == 1 ? "1 datum" : std::to_string(n) + " data"; }

// A number for the reasons, to 6 significant digits.
std::string number_text(double v) {
  char buf[32];
  const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  return std::string(buf, r.ptr);
}

// The calendar frame of a time axis for a model: its length and the words for it, or 0.
struct CalendarFrame {
  int length = 0;
  std::string words;
};

CalendarFrame calendar_frame(const csv::TimeAxis& axis, rules::Model model) {
  const int shortest = rules::minimum_frame_length(model);
  const auto whole = [&](double per) { return axis.interval > 0 && std::fmod(per, axis.interval) == 0.0; };
  const auto samples = [&](double per) { return static_cast<int>(per / axis.interval); };
  switch (axis.unit) {
    case TimeUnit::Months:
      if (axis.interval == 1) return {12, "monthly data: 12 months, one year"};
      if (axis.interval == 2) return {6, "two-monthly data: 6 samples, one year"};
      break;
    case TimeUnit::Quarters:
      if (axis.interval != 1) break;
      if (shortest <= 4) return {4, "quarterly data: 4 quarters, one year"};
      return {8, "quarterly data: 8 quarters, two years (a year's 4 are below the " + std::to_string(shortest) +
                     " samples a frame needs)"};
    case TimeUnit::Days:
      if (axis.interval == 1) return {7, "daily data: 7 days, one week"};
      break;
    case TimeUnit::Hours:
      if (axis.interval == 1) return {24, "hourly data: 24 hours, one day"};
      if (whole(24) && samples(24) >= shortest)
        return {samples(24), number_text(axis.interval) + "-hourly data: " + std::to_string(samples(24)) + " samples, one day"};
      break;
    case TimeUnit::Minutes:
      if (axis.interval == 30) return {48, "half-hourly data: 48 half hours, one day"};
      if (whole(1440))
        return {samples(1440), number_text(axis.interval) + "-minute data: " + std::to_string(samples(1440)) + " samples, one day"};
      break;
    default:
      break;
  }
  return {};
}

// The data's cycle of `length` samples in the run's units: "25.000 Hz", "7 days".
std::string cycle_text(control::UnitMode mode, const std::string& unit, double rate, int length) {
  if (mode == control::UnitMode::Time) return number_text(rate * length) + " " + unit;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.3f Hz", rate / length);
  return buf;
}

// The frame the search or else the autocorrelation chooses, with its reason and the search's
// own line (its range and its best candidates).
struct SearchedFrame {
  int length = 0;
  std::string reason;
  std::string search_line;
};

SearchedFrame searched_frame(const InitRequest& request, const Settings& s, double rate, int longest_frame) {
  const int shortest = rules::minimum_frame_length(request.model);
  const int low = std::max(shortest, rules::kMinimumFrameLength);
  FrameRange range{low, static_cast<int>(std::min<std::int64_t>(request.count / 8, longest_frame))};
  std::string asked;
  if (request.frame_range) {
    range = FrameRange{std::max(request.frame_range->low, shortest), std::min(request.frame_range->high, longest_frame)};
    asked = " (--frame-range " + std::to_string(request.frame_range->low) + ":" +
            std::to_string(request.frame_range->high) + ")";
  }
  SearchedFrame out;
  const FrameSearch search = search_frame(SeriesRows{request.values, request.series_count, request.count}, range);
  std::string scores;
  for (std::size_t i = 0; i < search.scored.size() && i < 3; ++i) {
    char share[32];
    std::snprintf(share, sizeof share, "%.4f", search.scored[i].coherent_share);
    scores += (i == 0 ? "" : ", ") + std::to_string(search.scored[i].frame_length) + " samples " + share;
  }
  out.search_line = "frame search: lengths " + std::to_string(search.range.low) + " to " +
                    std::to_string(search.range.high) + asked + " screened by their folded power, the best " +
                    std::to_string(search.scored.size()) + " scored by the share of the power coherent at " +
                    "their significant bins: " + (scores.empty() ? "none" : scores);
  if (search.unscored > 0)
    out.search_line += "; " + plural(search.unscored, "candidate") + " with a slow transform not scored";
  if (search.chosen) {
    out.length = *search.chosen;
    out.reason = "the shortest candidate of the frame search within " +
                 std::to_string(static_cast<int>(kShortestWithin * 100.0 + 0.5)) +
                 " % of the best coherent share: a cycle of " + std::to_string(out.length) + " samples = " +
                 cycle_text(s.mode, s.unit_text, rate, out.length);
    return out;
  }
  const std::string none = "no candidate of the frame search stands out";
  const int peak = autocorrelation_peak(request.values, request.series_count, request.count, low, longest_frame);
  if (peak > 0) {
    out.length = peak;
    out.reason = none + ", so the lag of the autocorrelation's highest peak between lags " + std::to_string(low) +
                 " and " + std::to_string(longest_frame);
  } else {
    out.length = std::clamp(static_cast<int>(std::lround(std::sqrt(static_cast<double>(request.count)))), low,
                            longest_frame);
    out.reason = none + ", and the autocorrelation has no peak between lags " + std::to_string(low) + " and " +
                 std::to_string(longest_frame) + ", so about the square root of N";
  }
  return out;
}

// The unit mode, the unit text and the rate, with the reason.
struct Unit {
  control::UnitMode mode = control::UnitMode::Time;
  std::string text;
  double rate = 0.0;
  std::string reason;
};

std::optional<Unit> unit_of(const Sampling& s, std::string& problem) {
  Unit u;
  switch (s.kind) {
    case Sampling::Kind::TimeAxis:
      if (!s.axis->whole_seconds()) {
        // A fraction of a second: a rate reads better, and a control file's reals (6 digits
        // after the point) would not hold the interval.
        u.mode = control::UnitMode::Hertz;
        u.text = "Freq+H";
        u.rate = 1.0 / static_cast<double>(s.axis->step_seconds());
        u.reason = "unit mode: Hz, from the time column (stamps " + s.axis->spacing_text() + " apart, " +
                   number_text(u.rate) + " samples per second)";
        return u;
      }
      u.text = std::string(csv::unit_name(s.axis->unit));
      u.rate = s.axis->interval;
      u.reason = "unit mode: time mode in " + u.text + ", from the time column (stamps " +
                 s.axis->spacing_text() + " apart)";
      return u;
    case Sampling::Kind::Rate:
      if (!(s.rate_hz > 0.0) || !std::isfinite(s.rate_hz)) {
        problem = "the sampling rate " + number_text(s.rate_hz) + " Hz is not a positive number";
        return std::nullopt;
      }
      u.mode = control::UnitMode::Hertz;
      u.text = "Freq+H";
      u.rate = s.rate_hz;
      u.reason = "unit mode: Hz, from the sampling rate of " + number_text(s.rate_hz) +
                 " samples per second (the data have no time column)";
      return u;
    case Sampling::Kind::Interval:
      break;
  }
  if (!(s.interval > 0.0) || !std::isfinite(s.interval)) {
    problem = "the sampling interval " + number_text(s.interval) + " is not a positive number";
    return std::nullopt;
  }
  if (s.unit.empty() || s.unit.size() > 10 || s.unit.find_first_of(" \t*#=") != std::string::npos ||
      s.unit.find("req") != std::string::npos) {
    problem = "the time unit \"" + s.unit + "\" cannot be written in the control file: give one word of at "
              "most 10 letters without \"req\" (seconds, days, months, ...)";
    return std::nullopt;
  }
  u.text = s.unit;
  u.rate = s.interval;
  u.reason = "unit mode: time mode in " + u.text + ", from the sampling interval of " + number_text(s.interval) +
             " " + u.text;
  return u;
}

// The settings of the analysis the control file asks for.
analysis::Settings analysis_settings(const Settings& s, rules::Model model) {
  analysis::Settings a;
  a.frame_length = s.frame_length;
  a.first_bin = s.first_bin;
  a.last_bin = s.last_bin;
  a.threshold = s.threshold;
  a.lags = s.lags;
  a.frames_ahead = s.frames_ahead;
  a.model = model;
  return a;
}

}  // namespace

Sampling Sampling::of_axis(const csv::TimeAxis& axis) {
  Sampling s;
  s.kind = Kind::TimeAxis;
  s.axis = axis;
  return s;
}

Sampling Sampling::of_rate(double hz) {
  Sampling s;
  s.kind = Kind::Rate;
  s.rate_hz = hz;
  return s;
}

Sampling Sampling::of_interval(double interval, std::string unit) {
  Sampling s;
  s.kind = Kind::Interval;
  s.interval = interval;
  s.unit = std::move(unit);
  return s;
}

int calendar_frame_length(const csv::TimeAxis& axis, rules::Model model) {
  return calendar_frame(axis, model).length;
}

InitRequest request_for(const csv::Table& table, std::string data_file) {
  InitRequest r;
  r.data_file = std::move(data_file);
  r.series_count = table.columns;
  r.count = table.rows;
  r.values = table.values;
  if (table.time) r.sampling = Sampling::of_axis(*table.time);
  r.keep_sampling = true;
  r.model = rules::default_model(true);
  return r;
}

Result<Suggestion> suggest(const InitRequest& request) {
  const std::string& name = request.data_file;
  const rules::Model model = request.model;
  if (name.empty() || name.size() > 50 || name.find('.') == std::string::npos ||
      name.find_first_of(" \t*#") != std::string::npos)
    return failure("the data file name \"" + name + "\" cannot stand in the control file: it needs a '.', at "
                   "most 50 characters and no blank, tab, '*' or '#'; rename the file");
  if (request.series_count < 1) return failure(name + " has no series");
  const std::int64_t n = request.count;
  if (const rules::Verdict broken = rules::whole_frames(n, rules::minimum_frame_length(model), model))
    return failure(name + " holds " + data_text(n) + ", too few for the shortest frame: " + broken->words);
  if (n > 9999999)
    return failure(name + " holds " + std::to_string(n) + " data: a control file gives at most 9999999");
  if (request.sampling.kind == Sampling::Kind::TimeAxis && !request.sampling.axis)
    return failure(name + ": the time axis is missing");
  if (static_cast<std::int64_t>(request.values.size()) < n * request.series_count)
    return failure(name + ": fewer values than " + std::to_string(n) + " data of " +
                   plural(request.series_count, "series"));

  Suggestion out;
  Settings& s = out.settings;
  out.reasons.push_back("series: " + plural(request.series_count, "column") + " of " + name + ", " +
                        data_text(n) + "; the data file " + name);
  std::string problem;
  const std::optional<Unit> unit = unit_of(request.sampling, problem);
  if (!unit) return failure(problem);
  s.mode = unit->mode;
  s.unit_text = unit->text;
  s.rate = static_cast<float>(unit->rate);
  out.reasons.push_back(unit->reason);

  // The frame length: asked for, the calendar's, or the search's.
  const int longest_frame = static_cast<int>(n / rules::minimum_frames(model));
  std::string frame_reason;
  std::string search_line;
  if (request.frame_length > 0) {
    s.frame_length = request.frame_length;
    frame_reason = "as asked for";
  } else if (const CalendarFrame c = request.sampling.kind == Sampling::Kind::TimeAxis
                                         ? calendar_frame(*request.sampling.axis, model)
                                         : CalendarFrame{};
             c.length > 0) {
    // A shorter frame than the calendar's could not hold its cycle: too few data stop here.
    if (const rules::Verdict broken = rules::whole_frames(n, c.length, model))
      return failure(name + " holds " + data_text(n) + ", too few for the calendar's frame (" + c.words + "): " +
                     broken->words + "; a shorter frame would not hold the cycle: give more data, or --frame L");
    s.frame_length = c.length;
    frame_reason = "from the calendar, " + c.words;
    if (model != rules::Model::AsSpecified &&
        rules::whole_frames(n, c.length, rules::Model::AsSpecified))
      frame_reason += " (" + std::to_string(n / c.length) + " whole frames: the models run on them, as-specified, "
                      "which needs " + std::to_string(rules::minimum_frames(rules::Model::AsSpecified)) + ", does not)";
  } else {
    const SearchedFrame searched = searched_frame(request, s, unit->rate, longest_frame);
    s.frame_length = searched.length;
    frame_reason = searched.reason;
    search_line = searched.search_line;
  }
  // The band a run takes by default. The settings chosen are then checked as the analysis
  // checks a run's.
  s.first_bin = 1;
  s.last_bin = static_cast<int>(rules::default_last_bin(s.frame_length));
  const bool to_nyquist = 2 * s.last_bin == s.frame_length;
  if (const rules::Verdict broken = analysis::check(analysis_settings(s, model), rules::DataExtent{1, 0, n}))
    return failure((request.frame_length > 0 ? "--frame: " : "the frame length chosen: ") +
                   broken->words);
  const double duration = unit->rate * s.frame_length;
  const std::string frame_words = s.mode == control::UnitMode::Time
                                      ? number_text(duration) + " " + s.unit_text
                                      : number_text(s.frame_length / unit->rate) + " seconds";
  out.reasons.push_back("frame length: " + std::to_string(s.frame_length) + " samples (" + frame_words + "), " +
                        frame_reason);
  if (!search_line.empty()) out.reasons.push_back(search_line);

  const std::optional<BandText> band = band_text(s, unit->rate, problem);
  if (!band) return failure(problem);
  s.bandwidth = band->bandwidth;
  s.band_low = band->low;
  s.band_high = band->high;
  out.reasons.push_back("band: bins 1 to " + std::to_string(s.last_bin) + ", from the first bin to " +
                        (to_nyquist ? "the Nyquist frequency, the frame's one bin below it being too few (" : "the last below the Nyquist frequency (") +
                        (s.mode == control::UnitMode::Time ? "periods " + s.band_low + " to " + s.band_high + " " + s.unit_text
                                                           : s.band_low + " to " + s.band_high + " Hz") +
                        ")");
  const int bins = s.last_bin - s.first_bin + 1;
  s.threshold = rules::band_threshold(bins);
  out.reasons.push_back("coherence probability P = " + threshold_text(s.threshold) + ": " +
                        number_text(rules::chance_bins(bins, s.threshold)) + " of the band's " +
                        std::to_string(bins) + " bins pass it by chance alone (P = 1 - " +
                        number_text(rules::kChanceBinsOverBand) + " / bins, rounded up, at least " +
                        threshold_text(rules::kLeastBandThreshold) + "); 1 lag, 1 frame ahead, the whole sample (data 1 to " +
                        std::to_string(n) + ")");
  const std::int64_t most_bins = rules::most_var_bins(s.lags, n);
  if (model == rules::Model::AsSpecified && most_bins < bins)
    out.reasons.push_back("note: the fit takes at most " + plural(most_bins, "significant bin") + " of the " +
                          std::to_string(s.last_bin) + " in the band for " + std::to_string(n) +
                          " data; should more pass P, narrow the band or raise P");

  out.control_text = control_text(request, s, out.reasons);
  if (std::optional<std::string> wrong = check_plan(out.control_text, request, s))
    return failure("the control file for " + name + " does not plan its run as chosen: " + *wrong);
  return Result<Suggestion>{std::move(out), std::nullopt};
}

}  // namespace tramel::init
