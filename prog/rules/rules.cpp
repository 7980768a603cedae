// The rules of a run's settings and of the models' sizes, with their words.
#include "rules/rules.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tramel::rules {

namespace {

std::string text(std::int64_t v) { return std::to_string(v); }

Verdict broken(Rule rule, std::string words) { return Broken{rule, std::move(words)}; }

Verdict no_origins(std::int64_t origins) {
  return broken(Rule::BacktestOrigins, "the backtest needs 1 origin or more, not " + text(origins));
}

}  // namespace

std::string number_text(float value) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, r.ptr);
}

Verdict threshold(float p) {
  if (p >= 0.0f && p < 1.0f) return {};
  return broken(Rule::Threshold, "Coherence threshold " + number_text(p) +
                                     " is out in unit interval: it must be at least 0 and below 1");
}

Verdict frames_ahead(std::int64_t frames) {
  if (frames >= 1 && frames <= kMostFramesAhead) return {};
  return broken(Rule::FramesAhead, "No. of frames ahead for forecasting " + text(frames) +
                                       " is out of bounds: 1 to " + text(kMostFramesAhead));
}

Verdict lags(std::int64_t lags) {
  if (lags >= 1) return {};
  return broken(Rule::Lags, "No. of lags " + text(lags) + " < 1: the VAR needs 1 lag or more");
}

Verdict taper(float percent) {
  if (percent >= 0.0f && percent <= kMostTaperPercent) return {};
  return broken(Rule::Taper, "Taper % not in range (0,25) " + number_text(percent) +
                                 ": the taper is 0 to 25 percent of a frame");
}

Verdict data_start(const DataExtent& e) {
  if (e.first >= 1) return {};
  return broken(Rule::DataStart,
                "Data start = " + text(e.first) + " < 1: the data are counted from 1");
}

Verdict data_end(const DataExtent& e) {
  if (e.last == 0 || e.last >= e.first) return {};
  return broken(Rule::DataEnd, "Data end = " + text(e.last) + " < Data start = " + text(e.first) +
                                   ": the last datum is 0 (the last there is) or the first or after");
}

Verdict data_present(const DataExtent& e) {
  if (e.last <= e.count) return {};
  return broken(Rule::DataPresent, "Data end = " + text(e.last) + " > " + text(e.count) +
                                       ": the data hold " + text(e.count) + " data");
}

Verdict sample_size(std::int64_t samples) {
  constexpr std::int64_t kMost = std::numeric_limits<std::int32_t>::max();
  if (samples <= kMost) return {};
  return broken(Rule::SampleSize, "a sample of " + text(samples) + " samples is longer than the " +
                                      text(kMost) + " the program reads");
}

int minimum_frame_length(Model model) {
  return model == Model::AsSpecified ? kMinimumFrameLength : kModelMinimumFrameLength;
}

Verdict frame_length(std::int64_t length, Model model) {
  const int least = minimum_frame_length(model);
  if (length >= least) return {};
  return broken(Rule::FrameLength, "Frame length = " + text(length) + " < " + text(least) +
                                       ": a frame needs " + text(least) + " samples or more");
}

int minimum_frames(Model model) { return model == Model::AsSpecified ? 7 : 3; }

Model default_model(bool delimited_data) { return delimited_data ? Model::Auto : Model::AsSpecified; }

Verdict whole_frames(std::int64_t samples, std::int64_t frame_length, Model model) {
  const std::int64_t frames = frame_length > 0 ? samples / frame_length : 0;
  const int least = minimum_frames(model);
  if (frames >= least) return {};
  return broken(Rule::WholeFrames, "No. frames " + text(frames) + " < " + text(least) + " lb " +
                                       text(frame_length) + ": " + text(samples) + " samples make " +
                                       text(frames) + " whole frames of " + text(frame_length) +
                                       ", and the analysis needs " + text(least));
}

Verdict band(std::int64_t first_bin, std::int64_t last_bin, std::int64_t frame_length) {
  if (first_bin >= 1 && first_bin < last_bin && last_bin <= frame_length / 2) return {};
  return broken(Rule::Band, "the band " + text(first_bin) + " to " + text(last_bin) +
                                " is not inside the bins 1 to " + text(frame_length / 2) +
                                " (frame / 2) with its first bin below its last");
}

std::int64_t default_last_bin(std::int64_t frame_length) {
  const std::int64_t below_nyquist = (frame_length - 1) / 2;
  return below_nyquist > 1 ? below_nyquist : frame_length / 2;
}

int frames_per_week(double step_seconds, std::int64_t frame_length) {
  constexpr double kDay = 86400.0, kHour = 3600.0;
  if (!(step_seconds > 0.0) || step_seconds > kHour * (1.0 + 1e-9)) return 0;
  const double frame_seconds = step_seconds * static_cast<double>(frame_length);
  return std::fabs(frame_seconds - kDay) <= 1e-6 * kDay ? kDaysPerWeek : 0;
}

bool weighs_week(int frames_per_week, std::int64_t frames) {
  return frames_per_week > 1 && frames >= std::int64_t{kWeeksForWeekdays} * frames_per_week;
}

Verdict model_options(const ModelOptions& o) {
  if (o.model == Model::AsSpecified && !o.interval_levels.empty())
    return broken(Rule::IntervalsNeedModel,
                  "intervals need a model with intervals: changes, levels, smooth or auto");
  if (o.model == Model::AsSpecified && o.backtest)
    return broken(Rule::BacktestNeedsModel,
                  "the backtest needs the model changes, levels, smooth or auto (it scores "
                  "as-specified beside them)");
  for (const float level : o.interval_levels)
    if (!(level > 0.0f && level < 100.0f))
      return broken(Rule::IntervalLevel,
                    "each interval level is a percentage above 0 and below 100, not " +
                        number_text(level));
  if (o.backtest && o.backtest_origins < 1) return no_origins(o.backtest_origins);
  if (o.transform && o.model != Model::Smooth && o.model != Model::Auto)
    return broken(Rule::TransformNeedsModel, "a transform needs the model smooth or auto");
  if (o.fdr_level && o.model == Model::AsSpecified)
    return broken(Rule::FdrNeedsModel,
                  "the false discovery rate chooses the bins of the models changes, levels or "
                  "auto; as-specified keeps the threshold P");
  if (o.fdr_level && !(*o.fdr_level > 0.0f && *o.fdr_level < 1.0f))
    return broken(Rule::FdrLevel, "the false discovery rate Q is above 0 and below 1, not " +
                                      number_text(*o.fdr_level));
  return {};
}

float band_threshold(std::int64_t bins) {
  if (bins < 1) return kLeastBandThreshold;
  // Millionths of chance, rounded down, so that P rounds up.
  const auto millionths = static_cast<std::int64_t>(std::floor(1.0e6 * kChanceBinsOverBand / static_cast<double>(bins)));
  const double p = static_cast<double>(1000000 - millionths) / 1.0e6;
  return std::clamp(static_cast<float>(p), kLeastBandThreshold, kMostBandThreshold);
}

double chance_bins(std::int64_t bins, float threshold) {
  return static_cast<double>(bins) * (1.0 - static_cast<double>(threshold));
}

int backtest_minimum_frames(Model model) {
  return model == Model::Smooth || model == Model::Auto ? kSmoothBacktestMinimumFrames
                                                        : kBacktestMinimumFrames;
}

Verdict backtest_origins(std::int64_t origins, std::int64_t frames, Model model) {
  const int least = backtest_minimum_frames(model);
  if (origins >= 1 && origins <= frames - least) return {};
  if (origins < 1) return no_origins(origins);
  return broken(Rule::BacktestOrigins,
                "the backtest over " + text(origins) + " origins needs " + text(origins + least) +
                    " whole frames (" + text(least) + " before the first), and the sample has " +
                    text(frames));
}

std::int64_t var_size(std::int64_t bins, std::int64_t lags) {
  std::int64_t size = 0;
  if (bins < 0 || lags < 0 || __builtin_mul_overflow(bins, bins, &size) ||
      __builtin_mul_overflow(size, lags, &size) ||
      __builtin_mul_overflow(size, std::int64_t{4}, &size)) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return size;
}

bool var_fits(std::int64_t bins, std::int64_t lags, std::int64_t samples) {
  return var_size(bins, lags) <= samples / 10;
}

std::int64_t most_var_bins(std::int64_t lags, std::int64_t samples) {
  std::int64_t bins = 0;
  while (var_fits(bins + 1, std::max<std::int64_t>(lags, 1), samples)) ++bins;
  return bins;
}

}  // namespace tramel::rules
