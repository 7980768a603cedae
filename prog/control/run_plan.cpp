// The plan of one run: its block of the control file, the band, resolution, taper and sample
// range read from it and checked, and the frame geometry and pass band derived from them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "control/console_text.hpp"
#include "control/control.hpp"

namespace tramel::control {

using namespace textio::literals;

namespace {

using textio::list_text;

// The run being planned: what its block says, what is derived, and the messages so far. A
// step that fails a check says so and returns false.
struct Planner {
  Planner(const AnalysisSettings& settings, const DataExtent& extent, KeywordReader& readers)
      : analysis(settings), data(extent), reader(readers) {}

  const AnalysisSettings& analysis;
  const DataExtent& data;
  KeywordReader& reader;
  RunPlan plan;
  ParameterText block;
  std::vector<int> tab_lines;  // the block's lines with a tab before the comment marker
  Outcome<RunPlan> outcome;

  float lower = 0.0f;     // band edges: kHz or Hz, or reciprocal periods in time mode
  float upper = 0.0f;     // 0 or less: up to the highest bin
  float longest = 0.0f;   // time mode: the period band
  float shortest = 0.0f;
  double lower_normalised = 0.0;  // cycles per sample
  double upper_normalised = 0.0;
  std::string upper_line;  // where the upper edge is set, for the console
  std::string bandwidth_line;  // where the resolution bandwidth, the taper and the data's
  std::string taper_line;      // start and end are set
  std::string start_line;
  std::string end_line;
  const Keyword* bandwidth_keyword = &keywords::kBandwidth;  // the one the bandwidth was read by

  UnitMode mode() const { return analysis.unit_mode; }
  // A failed check: its lines for the report, how the console words them (empty: the same
  // lines), and the settings it checks, whose causes it names when they are not as written.
  bool fail(std::string text, std::string console, const std::vector<const Keyword*>& checked = {}) {
    diagnostics::Stop stop =
        diagnostics::stop_at(diagnostics::Destination::Report, std::move(text), std::move(console));
    stop.place = diagnostics::Place::in_run(plan.run);
    for (const Keyword* k : checked) {
      std::string cause = plan.causes.of(*k);
      if (cause.empty()) cause = analysis.causes.of(*k);
      if (cause.empty()) continue;
      if (!stop.cause.empty()) stop.cause += "; ";
      stop.cause += cause;
    }
    // Advice that follows the first line tells to change a setting: it cannot help when the
    // value checked is not the one written.
    stop.advice = stop.cause.empty();
    outcome.fail(std::move(stop));
    return false;
  }
  bool fail(std::string text, const std::vector<const Keyword*>& checked = {}) {
    return fail(std::move(text), {}, checked);
  }
  // A broken rule: the report's lines, and the rule's words on the console after `where`.
  bool fail(std::string text, const std::string& where, const rules::Broken& broken,
            const std::vector<const Keyword*>& checked) {
    return fail(std::move(text), where + ": " + broken.words + "\n", checked);
  }
  std::string block_lines() const { return block.lines_text(0, false); }
  // The settings of the band edges in this unit mode.
  std::vector<const Keyword*> band_keywords() const {
    if (mode() == UnitMode::Time) return {&keywords::kLongestPeriod, &keywords::kShortestPeriod};
    return {&keywords::kLowerFrequency, &keywords::kUpperFrequency};
  }
  // The warning for a setting that could not be read, when the run goes on with it, and the
  // cause of a value that is not as written.
  template <class T>
  void warn(const Keyword& keyword, const KeywordValue<T>& v) {
    const std::string name = "run " + std::to_string(plan.run);
    if (std::string w = keyword_warning(keyword, v, block, name); !w.empty())
      outcome.warn(std::move(w), [&] { diagnostics::Place p = diagnostics::Place::in_file("tramel.cnl"); p.run = plan.run; return p; }());
    plan.causes.add(keyword, setting_cause(keyword, v, block, tab_lines));
  }
  // "tramel.cnl line 12" for the keyword's line, or the block's lines when it is not there.
  template <class T>
  std::string lines_of(const KeywordValue<T>& v) const {
    return block.lines_text(v.position, v.error != ReadError::KeywordAbsent);
  }
  // The readers' own over-long-number messages go to the report too.
  template <class T>
  KeywordValue<T> said(KeywordValue<T> v) {
    if (!v.message.empty()) outcome.say(diagnostics::Destination::Report, v.message);
    return v;
  }
  KeywordValue<float> real(const Keyword& keyword) { return said(reader.real(keyword, block.text)); }
  KeywordValue<std::int32_t> integer(const Keyword& keyword) {
    return said(reader.integer(keyword, block.text));
  }

  bool read_band_edges();
  bool read_bandwidth();
  bool order_band();
  bool check_taper();
  bool read_sample_range();
  void derive_frame_length();
  bool check_sample_and_frames();
  bool normalise_band();
  bool derive_pass_band();

  // The hint that follows the band-order and upper-edge messages: `words` and the unit.
  std::string unit_hint(const char* words) const {
    if (mode() == UnitMode::Kilohertz) return list_text(words, "kHz");
    if (mode() == UnitMode::Hertz) return list_text(words, "Hz");
    return list_text(words, analysis.unit_text);
  }
};

bool Planner::read_band_edges() {
  constexpr auto kNoLongest =
      "(/,' Type longest period rather than lower freq in  setting the band in pelorn.cnl')"_format;
  constexpr auto kNoShortest =
      "(/,' Type shortest period rather than upper freq in setting the band in pelorn.cnl')"_format;
  if (mode() != UnitMode::Time) {
    // Not stopped on: an absent or malformed edge takes the reader's saved result.
    const KeywordValue<float> l = real(keywords::kLowerFrequency);
    warn(keywords::kLowerFrequency, l);
    lower = l.value;
    const KeywordValue<float> u = real(keywords::kUpperFrequency);
    warn(keywords::kUpperFrequency, u);
    upper = u.value;
    upper_line = lines_of(u);
    return true;
  }
  // A period edge, which the block must hold: `absent` is the stop without it.
  const auto period = [this](const Keyword& keyword, float& edge, const std::string& absent) {
    const KeywordValue<float> v = real(keyword);
    edge = v.value;
    if (v.error == ReadError::KeywordAbsent)
      return fail(absent, naming_lines(absent, "pelorn.cnl", lines_of(v)));
    warn(keyword, v);
    upper_line = lines_of(v);  // the shortest period's line, once it is read
    return true;
  };
  return period(keywords::kLongestPeriod, longest, textio::format_text(kNoLongest)) &&
         period(keywords::kShortestPeriod, shortest, textio::format_text(kNoShortest));
}

bool Planner::read_bandwidth() {
  KeywordValue<float> bw = real(keywords::kBandwidth);
  if (bw.error != ReadError::None && bw.error != ReadError::NoPoint) {
    bw = real(keywords::kBandwidthCapital);
    bandwidth_keyword = &keywords::kBandwidthCapital;
  }
  plan.bandwidth = bw.value;
  bandwidth_line = lines_of(bw);
  if (bw.error == ReadError::NoPoint) {
    // Shows the setting from the second character after "idth": the `=` and what follows.
    const std::string_view text = block.text;
    const std::size_t start = std::min(text.find("idth") + 5, text.size());
    return fail(list_text("Place a period in the resolution bandwidth value") +
                    list_text(text.substr(start, 11)),
                "Place a period in the resolution bandwidth value (" + lines_of(bw) + ")\n");
  }
  warn(*bandwidth_keyword, bw);
  if (plan.bandwidth <= 0.0f) {
    return fail(list_text("Resolution bandwidth < 0"), {bandwidth_keyword});
  }
  return true;
}

bool Planner::order_band() {
  if (mode() == UnitMode::Time) {
    if (longest <= 0.0f) longest = 1000000.0f;
    lower = 1.0f / longest;
    // A shortest period of 0 or less keeps its value: the band reaches the highest bin.
    upper = shortest > 0.0f ? 1.0f / shortest : shortest;
  }
  if (upper > 0.0f && lower > upper) {
    const std::string text = list_text("Upper bw on line 8 of CNL ", upper, " < lower bw ", lower) +
                             unit_hint("Check to see the (fl,fu) units are ");
    return fail(text, naming_lines(text, "line 8 of CNL", upper_line), band_keywords());
  }
  return true;
}

bool Planner::check_taper() {
  if (const rules::Verdict broken = rules::taper(plan.taper_percent)) {
    return fail(list_text("Taper % not in range (0,25) ", plan.taper_percent, " run - ", plan.run),
                taper_line, *broken, {&keywords::kTaper});
  }
  return true;
}

bool Planner::read_sample_range() {
  // The keywords as the 20-character items of the messages.
  constexpr std::string_view kStartItem = "start               ";
  constexpr std::string_view kEndItem = "end                 ";
  // A datum of the range: its value and line, or the stop of a value that could not be read.
  const auto datum = [this](const Keyword& keyword, std::int32_t& value, std::string& line,
                            const char* which, std::string_view item) {
    const KeywordValue<std::int32_t> v = integer(keyword);
    value = v.value;
    if (!v.ok()) return fail(list_text("Error ", error_number(v.error), which, item));
    plan.causes.add(keyword, setting_cause(keyword, v, block, tab_lines));
    line = lines_of(v);
    return true;
  };
  if (!datum(keywords::kStart, plan.first_datum, start_line, " in read of start datum", kStartItem) ||
      !datum(keywords::kEnd, plan.last_datum, end_line, " in read of end datum", kEndItem))
    return false;
  const rules::DataExtent extent{plan.first_datum, plan.last_datum, data.count};
  if (const rules::Verdict broken = rules::data_start(extent)) {
    return fail(list_text("IS in pelorn.cnl is < 1 ", plan.first_datum, " run ", plan.run),
                start_line, *broken, {&keywords::kStart});
  }
  if (const rules::Verdict broken = rules::data_end(extent)) {
    return fail(
        list_text("IE < IS in pelorn.cnl ", plan.first_datum, plan.last_datum, "run ", plan.run),
        end_line, *broken, {&keywords::kStart, &keywords::kEnd});
  }
  return true;
}

// The frame length from the rate and the resolution; Hz mode then goes on in kHz.
void Planner::derive_frame_length() {
  const double rate = data.rate;
  const double bw = plan.bandwidth;
  switch (mode()) {
    case UnitMode::Kilohertz:
      plan.frame_length = round_whole(1000.0 * rate / bw);
      plan.spacing = SampleSpacing::rate_khz(data.rate);
      break;
    case UnitMode::Hertz:
      plan.frame_length = round_whole(rate / bw);
      plan.spacing = SampleSpacing::rate_khz(data.rate * 0.001f);
      lower = lower * 0.001f;
      upper = upper * 0.001f;
      break;
    case UnitMode::Time:
      plan.frame_length = round_whole(bw / rate);
      plan.spacing = SampleSpacing::interval(data.rate);
      break;
  }
}

bool Planner::check_sample_and_frames() {
  if (const rules::Verdict broken =
          rules::data_present(rules::DataExtent{plan.first_datum, plan.last_datum, data.count})) {
    return fail(list_text("IE ", plan.last_datum, " > N in data file", data.count), end_line,
                *broken, {&keywords::kEnd});
  }
  if (plan.last_datum == 0) plan.last_datum = data.count;
  // Hostile values may leave the 32-bit range; the size wraps as the system prints it.
  plan.sample_size = static_cast<std::int32_t>(static_cast<std::uint32_t>(
      static_cast<std::int64_t>(plan.last_datum) - static_cast<std::int64_t>(plan.first_datum) + 1));
  if (const rules::Verdict broken = rules::frame_length(plan.frame_length, analysis.model)) {
    const std::string head = analysis.model == rules::Model::AsSpecified
                                 ? list_text("Frame length = ", plan.frame_length, " < 5 - run ", plan.run)
                                 : list_text("Frame length = ", plan.frame_length, " < ",
                                             rules::minimum_frame_length(analysis.model), " - run ", plan.run);
    return fail(
        head +
            (mode() != UnitMode::Time
                 ? list_text("Decrease resolution bandwidth = ", plan.bandwidth, " n = ", plan.sample_size)
                 : list_text("Increase resolution period = ", plan.bandwidth, " n = ", plan.sample_size)),
        bandwidth_line, *broken, {bandwidth_keyword});
  }
  plan.frames = plan.sample_size / plan.frame_length;
  if (const rules::Verdict broken =
          rules::whole_frames(plan.sample_size, plan.frame_length, analysis.model)) {
    const std::int32_t least = rules::minimum_frames(analysis.model);
    return fail(list_text("No. frames ", plan.frames, " < ", least, " lb ", plan.frame_length) +
                    list_text("run ", plan.run),
                block_lines(), *broken, {bandwidth_keyword, &keywords::kStart, &keywords::kEnd});
  }
  return true;
}

bool Planner::normalise_band() {
  if (mode() != UnitMode::Time) {
    const float rate = plan.spacing.rate_khz();
    lower_normalised = static_cast<double>(lower) / rate;
    upper_normalised = upper > 0.0f ? static_cast<double>(upper) / rate : 0.5;
  } else {
    const float interval = plan.spacing.interval();
    lower_normalised = static_cast<double>(lower) * interval;
    upper_normalised = static_cast<double>(upper) * interval;
  }
  if (upper_normalised > 0.5) {
    const auto mode_number = static_cast<std::int32_t>(
        mode() == UnitMode::Kilohertz ? 1 : mode() == UnitMode::Hertz ? 2 : 0);
    return fail(
        list_text("Normalized upper bw = ", static_cast<float>(upper_normalised), " > 0.5") +
            unit_hint("Check to see if the (fl,fu) units are ") +
            list_text(" Sampling unit ", analysis.unit_text, " Sampling rate/interval ", plan.spacing.value()) +
            list_text("iunit = ", mode_number),
        band_keywords());
  }
  return true;
}

bool Planner::derive_pass_band() {
  // Bin 0, the mean, never belongs to the band.
  plan.first_bin = round_whole(lower_normalised * plan.frame_length);
  if (plan.first_bin < 2) plan.first_bin = 1;
  plan.last_bin = upper_normalised > 0.0
                      ? std::min(round_whole(upper_normalised * plan.frame_length), plan.frame_length / 2)
                      : plan.frame_length / 2;
  if (const rules::Verdict broken = rules::band(plan.first_bin, plan.last_bin, plan.frame_length)) {
    const double upper_edge = upper_normalised > 0.0 ? upper_normalised : 0.5;
    return fail(list_text("fu-fl ", static_cast<float>(upper_edge - lower_normalised), " is too small") +
                    list_text("Increase passband fu-fl in run ", plan.run),
                block_lines(), *broken, {band_keywords()[0], band_keywords()[1], bandwidth_keyword});
  }
  return true;
}

}  // namespace

std::int32_t round_whole(double x) {
  const double v = std::round(static_cast<double>(static_cast<float>(x)));
  if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0)
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

float SampleSpacing::interval() const {
  if (!is_interval_) throw std::logic_error("a sampling rate taken for an interval");
  return value_;
}

float SampleSpacing::rate_khz() const {
  if (is_interval_) throw std::logic_error("a sampling interval taken for a rate");
  return value_;
}

double bin_in_report_units(const RunPlan& plan, int bin) {
  const double length = plan.frame_length;
  switch (plan.analysis.unit_mode) {
    case UnitMode::Kilohertz:
      return bin * static_cast<double>(plan.spacing.rate_khz()) / length;
    case UnitMode::Hertz:
      return 1000.0 * bin * static_cast<double>(plan.spacing.rate_khz()) / length;
    case UnitMode::Time:
      break;
  }
  return length * static_cast<double>(plan.spacing.interval()) / bin;
}

double sample_interval(const RunPlan& plan) {
  switch (plan.analysis.unit_mode) {
    case UnitMode::Kilohertz:
      return 1.0 / plan.spacing.rate_khz();  // kHz: samples per millisecond
    case UnitMode::Hertz:
      return 1.0 / (1000.0 * plan.spacing.rate_khz());
    case UnitMode::Time:
      break;
  }
  return plan.spacing.interval();
}

std::int64_t forecast_first_datum(const RunPlan& plan) {
  const std::int64_t framed = plan.analysis.model == rules::Model::AsSpecified
                                  ? static_cast<std::int64_t>(plan.frames) * plan.frame_length
                                  : plan.sample_size;
  return plan.first_datum + framed;
}

Outcome<RunPlan> plan_run(ControlFile& control, int run, const FileSettings& files,
                          const AnalysisSettings& analysis, const DataExtent& data,
                          KeywordReader& reader) {
  constexpr auto kLine70 = "(a70)"_format;
  Planner p(analysis, data, reader);
  p.plan.run = run;
  p.plan.series_count = files.series_count;
  p.plan.analysis = analysis;

  Block block = control.read_block(kRunBlockLines);
  for (diagnostics::Warning& w : tab_warnings(block)) p.outcome.notes.emplace_back(std::move(w));
  if (block.end == Block::End::MissingMarker) {
    const std::string text = list_text("Place comment marker * after parameters on ostrel.cnl") +
                             textio::format_text(kLine70, block.bad_line);
    p.fail(text, naming_lines(text, "ostrel.cnl",
                              "tramel.cnl line " + std::to_string(block.bad_line_number)));
    return std::move(p.outcome);
  }
  if (block.end == Block::End::EndOfFile) {
    p.fail(list_text("Control file ended inside the block of run ", run));
    return std::move(p.outcome);
  }
  p.block = std::move(block.parameters);
  p.tab_lines = std::move(block.lines_with_tabs);

  const auto planned = [&p] {
    if (!p.read_band_edges()) return false;
    const KeywordValue<float> taper = p.real(keywords::kTaper);
    p.warn(keywords::kTaper, taper);
    p.plan.taper_percent = taper.value;
    p.taper_line = p.lines_of(taper);
    if (!p.read_bandwidth() || !p.order_band() || !p.check_taper() || !p.read_sample_range())
      return false;
    p.derive_frame_length();
    return p.check_sample_and_frames() && p.normalise_band() && p.derive_pass_band();
  };
  if (planned()) p.outcome.value = p.plan;
  return std::move(p.outcome);
}

}  // namespace tramel::control
