// tramel init: the settings a first run of a data file would use, chosen from the data, each
// with the reason for it, the complete, commented control file that holds them, and the command
// that reads the data file and writes that control file.
//
// What it chooses, for the model the run of the data uses by default (rules::default_model:
// auto for CSV data, as-specified for the two-line layout):
// - the unit mode: time mode in the unit of the time column or of a given sampling interval;
//   Hz mode when only a sampling rate is known, or when the time column's step is no whole
//   number of seconds;
// - the frame length: the one asked for; else the calendar's (a year of months or quarters,
//   a day of hours or minutes, a week of days) when the sample holds the whole frames the
//   model needs, a stop when it does not (a shorter frame could not hold the cycle); else the
//   frame search (search_frame); else, when no candidate stands out, the lag of the highest
//   peak of the autocorrelation;
// - the band from bin 1 to the last bin below the Nyquist frequency;
// - P = rules::band_threshold of the band's bins, one lag, one frame ahead, the whole sample.
// For CSV data the control file keeps the sampling rate or interval (Sampling rate/interval),
// which data without a time column do not carry. The control file is planned with the
// program's own control reader before it is given: the settings it holds are those chosen, and
// it reads without a warning.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "control/control.hpp"
#include "csv/csv.hpp"
#include "rules/rules.hpp"

namespace tramel::init {

using csv::Error;
using csv::Result;

// How far apart the samples are, as far as it is known.
struct Sampling {
  enum class Kind : std::uint8_t {
    TimeAxis,  // a time column: its unit and interval
    Rate,      // only a sampling rate, in Hz
    Interval,  // a sampling interval in a named time unit
  };
  Kind kind = Kind::Rate;
  std::optional<csv::TimeAxis> axis;  // TimeAxis
  double rate_hz = 0.0;                     // Rate
  double interval = 0.0;                    // Interval: in `unit`
  std::string unit;                         // Interval: "days", "seconds", ...

  static Sampling of_axis(const csv::TimeAxis& axis);
  static Sampling of_rate(double hz);
  static Sampling of_interval(double interval, std::string unit);
};

// The frame lengths the frame search scores, low to high samples.
struct FrameRange {
  int low = 0;
  int high = 0;
};

struct InitRequest {
  std::string data_file;  // the name the control file gives the data file
  int series_count = 0;
  std::int64_t count = 0;          // N, the number of data
  std::span<const float> values;   // count x series_count, row after row
  Sampling sampling;
  int frame_length = 0;  // asked for (--frame); 0: chosen
  std::optional<FrameRange> frame_range;  // --frame-range; none: 5 to N / 8
  // The control file keeps the rate or interval (CSV data; the two-line layout has its own on
  // line 2).
  bool keep_sampling = false;
  // The model the settings are chosen for: the one the run uses by default.
  rules::Model model = rules::Model::AsSpecified;
};

// The request for a table read from delimited text.
InitRequest request_for(const csv::Table& table, std::string data_file);

// The settings of the control file.
struct Settings {
  control::UnitMode mode = control::UnitMode::Time;
  std::string unit_text;  // "months", "Freq+H"
  float rate = 0.0f;      // the sampling interval (time mode) or rate in Hz: the data's rate
  std::int32_t frame_length = 0;
  std::int32_t first_bin = 0;
  std::int32_t last_bin = 0;
  std::string bandwidth;   // the resolution bandwidth as written: Hz, or the frame's duration
  std::string band_low;    // the band's edges as written: the longest and shortest period
  std::string band_high;   // (time mode) or the lower and upper frequency (Hz)
  float threshold = 0.99f;
  std::int32_t lags = 1;
  std::int32_t frames_ahead = 1;
  std::int32_t first_datum = 1;
  std::int32_t last_datum = 0;  // 0: the last datum of the file
};

struct Suggestion {
  Settings settings;
  std::vector<std::string> reasons;  // what was chosen and why, one line each
  std::string control_text;          // the whole tramel.cnl
};

Result<Suggestion> suggest(const InitRequest& request);

// ---- The command ---------------------------------------------------------------------------------

// What `tramel init DATA [FOLDER]` is asked for: a control file for a data file.
struct InitOptions {
  std::filesystem::path data;           // the data file
  std::filesystem::path folder = ".";   // where tramel.cnl goes: the data file's folder by default
  int frame_length = 0;                 // --frame; 0: chosen
  std::optional<FrameRange> frame_range;  // --frame-range
  std::optional<double> sampling;       // --sampling: a rate in Hz, or with --unit an interval
  std::string unit;                     // --unit: the time unit of the interval
  int series_count = 1;                 // --series: the series in a two-line data file
  std::optional<csv::NumberUnit> time_unit;  // --time-unit: of a CSV time column of numbers
  bool force = false;                   // --force: overwrite tramel.cnl
  std::string program = "tramel";       // how the command was invoked, for the command to run next
  bool plots = true;                    // the build draws plots: the command to run asks for them
};

// What init says and its exit status: 0 with tramel.cnl written, 1 when the data or the folder
// do not allow one (nothing is written), 2 for a wrong command line.
struct InitOutcome {
  int status = 0;
  std::string out;  // the settings chosen and why, one line each
  std::string err;
};

// Reads the data file as the program reads it, chooses its settings, writes tramel.cnl into
// the folder and says the command that runs it (with the options the run needs as well:
// --time-unit, or --sampling when it replaced the data's own rate, of line 2 or a time column).
InitOutcome initialise(const InitOptions& options);

// ---- The frame search -------------------------------------------------------------------------

// The series of a request as the search reads them: `count` rows of `series_count` values.
struct SeriesRows {
  std::span<const float> values;  // row after row
  int series_count = 0;
  std::int64_t count = 0;
};

// A candidate frame length and its score by the coherence analysis (coherence::find_coherence
// on the first frames of every series, the band from bin 1 to below Nyquist, P =
// rules::band_threshold): the share of each series' power that the mean waveform holds at its
// significant bins, averaged over the series.
struct FrameScore {
  int frame_length = 0;
  double coherent_share = 0.0;
  // A bin passes the threshold of every bin of every length screened, in 32 frames or more.
  bool stands_out = false;
};

// The search over the frame lengths of `range` (each holding at least kSearchMinimumFrames
// whole frames of the screened samples, below). Every length is screened first by the power
// of its folded waveform (the mean over its frames, from the autocorrelation of the first
// differences of the first kScreenedSamples samples, against what noise alone folds into it);
// the kScoredCandidates best are scored by the coherence analysis, each on its first frames
// (about kScoredSamples samples; fewer for a length whose transform is slow, none for one that
// cannot be scored in reason). The chosen frame is the shortest candidate that stands out and
// whose share is within kShortestWithin of the best share of those that stand out (a multiple
// of the cycle scores as high); none when no candidate stands out.
inline constexpr std::int64_t kScreenedSamples = std::int64_t{1} << 19;
inline constexpr std::int64_t kScoredSamples = std::int64_t{1} << 18;
inline constexpr int kScoredCandidates = 10;
inline constexpr int kSearchMinimumFrames = 4;
inline constexpr double kShortestWithin = 0.05;
struct FrameSearch {
  FrameRange range;                 // the lengths screened
  std::vector<FrameScore> scored;   // the candidates scored, best share first
  std::optional<int> chosen;
  int unscored = 0;                 // candidates whose transform was too slow to score
};
FrameSearch search_frame(const SeriesRows& rows, FrameRange range);

// The calendar's frame of a time axis for a model, in samples (12 for monthly data, 7 for
// daily, ...; 0 when the calendar gives none): init keeps it and never a shorter one.
int calendar_frame_length(const csv::TimeAxis& axis, rules::Model model);

// The lag in [min_lag, max_lag] of the highest local peak of the autocorrelation of the
// series (each without its mean, the autocorrelations averaged, over the first
// kScreenedSamples rows), or 0 when there is none.
int autocorrelation_peak(std::span<const float> values, int series_count, std::int64_t count,
                         int min_lag, int max_lag);

}  // namespace tramel::init
