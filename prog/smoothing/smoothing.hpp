// The model `smooth`: seasonal exponential smoothing of a series' frames. The frame's waveform
// (each frame less its mean and less the ramp of its level's change) follows a local level
// from frame to frame, bin by bin, as the seasonal state of Holt-Winters does; the level is a
// damped local trend at sample resolution on the data less the waveform known before each
// frame. Both are fitted to the one-step errors of the sample; the forecast carries the
// standard deviation of its error from the same recursions.
//
// The frames are counted back from the last datum (the first samples of a sample that is not a
// whole number of frames are left out), so that the forecast continues the series. Every number
// is in double precision, and a fit is the same on every machine and for every thread count:
// the model runs on one thread.
//
// One pass of the filters with fixed weights gives the model at every frame boundary: for the
// same weights, the model fitted to the frames before a boundary is the state of the pass
// there. A backtest of the model is therefore one pass, whatever its origins.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::smoothing {

// ---- The series as the model sees it -----------------------------------------------------------

// The model's scale. Log fits the model to the logarithms of the values and forecasts the
// exponential of its forecast (the median, when the errors are normal on that scale): a swing
// that grows with the level becomes a constant one. It needs every value positive.
enum class Transform : std::uint8_t { None, Log };

// Whether the values can be taken to the model's scale: finite, and positive for Log.
bool transform_applies(std::span<const float> values, Transform transform);

// The whole frames of a sample counted back from its last datum.
struct EndFrames {
  int frame_length = 0;
  int frames = 0;
  std::int64_t first_sample = 0;  // samples left out at the start: samples mod frame_length
};
EndFrames frames_to_end(std::int64_t samples, int frame_length);

// The frames of a series on the model's scale, frame after frame: on the data's scale the
// values as read (single precision, as they came, and shared: the copies of a Series, and the
// caller that hands them over, hold the one store), else the values on the model's scale in
// double.
using SharedValues = std::shared_ptr<const std::vector<float>>;
struct Series {
  int frame_length = 0;
  int frames = 0;
  std::int64_t first_sample = 0;  // of the values given
  Transform transform = Transform::None;
  SharedValues read;              // frames x frame_length: the values as read, or null
  std::vector<double> scaled;     // frames x frame_length: the values on the model's scale, or empty
  std::vector<double> means;      // per frame

  // A frame's values on the model's scale, x[j] for j < frame_length.
  struct Frame {
    const float* read;
    const double* scaled;
    double operator[](std::size_t j) const { return read != nullptr ? read[j] : scaled[j]; }
  };
  Frame frame(int f) const {
    const std::size_t at = static_cast<std::size_t>(f) * static_cast<std::size_t>(frame_length);
    return read ? Frame{read->data() + at, nullptr} : Frame{nullptr, scaled.data() + at};
  }
};
Series model_series(std::span<const float> values, int frame_length, Transform transform);
// The same from values on the model's scale already.
Series model_series(std::span<const double> scaled, int frame_length, Transform transform);
// The same on the data's scale from whole frames the caller shares (none is copied).
Series model_series(SharedValues whole_frames, int frame_length);
// The first `samples` values of a series framed anew in frames of `frame_length`, counted back
// from the last of them (first_sample counts from the series' first value).
Series reframed(const Series& series, std::int64_t samples, int frame_length);

// ---- The weights ------------------------------------------------------------------------------

// Which bins of the waveform follow the frames at the gain gamma: all of them; the significant
// ones, the others kept at the mean waveform; or the significant ones, the others left out (a
// waveform of the significant bins alone).
enum class WaveformBins : std::uint8_t { All, SignificantSmoothed, SignificantOnly };

// The gains the waveform's gamma is chosen from. The state's gain at frame f (from 0) is
// max(gamma, 1 / (f + 1)): the first frames are averaged, so that 0 keeps the mean waveform
// and 1 the last frame's.
inline constexpr std::array<double, 8> kGammas = {0.0, 0.05, 0.1, 0.2, 0.35, 0.5, 0.75, 1.0};

// `cycle` waveforms that take turns: frame f follows waveform f mod cycle, each smoothed over
// its own frames (7 for frames of a day whose shape differs by the day of the week).
struct WaveformWeights {
  double gamma = 0.0;
  WaveformBins bins = WaveformBins::All;
  std::vector<int> significant;  // increasing, each 1 .. frame_length / 2: for the groups
  int cycle = 1;
};

// The level's trend: damped (0.8 <= phi <= 1), none (phi = 0: a local level), or linear (phi = 1).
enum class Trend : std::uint8_t { Damped, None, Linear };

// The level's recursion, one sample at a time: forecast l + phi b, error e, then
//   l <- l + phi b + alpha e,   b <- phi b + beta e,   with 0 <= beta <= alpha / 2.
struct LevelWeights {
  Trend trend = Trend::Damped;
  double alpha = 0.0;
  double beta = 0.0;
  double phi = 0.0;
  // What the fit estimates: the weights of the trend, and the two starting values.
  int parameters() const;
};

struct Weights {
  WaveformWeights waveform;
  LevelWeights level;
};

// ---- The pieces ---------------------------------------------------------------------------------

// The shape of frame f: its samples less its mean m_f and less the ramp (j - (L - 1) / 2) s_f of
// its level's change, s_f = (m_f - m_{f-1}) / L (frame 0 takes frame 1's change, a lone frame
// none). It depends on the frames up to f only, from frame 1 on.
void frame_shape(const Series& series, int f, std::span<double> shape);

// The part of a frame at some bins (1 .. L/2): its projection onto their cosines and sines.
class BinProjection {
 public:
  BinProjection(int frame_length, std::span<const int> bins);
  void apply(std::span<const double> frame, std::span<double> part) const;

 private:
  int frame_length_ = 0;
  std::vector<double> basis_;   // per bin a cosine and (but at L/2) a sine, frame_length each
  std::vector<double> inverse_;  // per basis vector, 1 / its squared norm
};

// The waveform's state from frame to frame. The first frame's shape starts it; each later
// shape is forecast by the state (its one-step error) and then moves it by the gain
// max(gamma, 1 / (k + 1)) of the error, k the frames it has taken in, bin by bin: with groups,
// the significant part moves at that gain, the rest at 1 / (k + 1) (the mean waveform) or
// stays out. With a cycle, each of its waveforms is such a state over its own frames; one that
// has no frame yet forecasts the mean of all the shapes so far.
class WaveformFilter {
 public:
  WaveformFilter(int frame_length, const WaveformWeights& weights);

  // The next frame's shape and, with groups, its significant part; returns the squared
  // one-step error over the frame (0 for the first frame).
  double update(std::span<const double> shape, std::span<const double> significant_part);
  // What the filter forecasts for the frame `ahead` frames after the next one.
  std::span<const double> waveform(int ahead = 0) const;
  int frames() const { return frames_; }

 private:
  int frame_length_;
  double gamma_;
  WaveformBins bins_;
  int cycle_;
  int frames_ = 0;
  std::vector<int> taken_;        // per waveform of the cycle, the frames taken in
  std::vector<double> smoothed_;  // per waveform, the part that moves at the gain
  std::vector<double> rest_;      // per waveform, the part kept at the mean (SignificantSmoothed)
  std::vector<double> waveform_;  // per waveform, their sum
  std::vector<double> mean_;      // the mean of every shape so far
};

// The level filter from its start: for the trends with a slope, the start's level is the first
// frame's mean less (L + 1) / 2 times the slope, the slope the change of the first two frames'
// means over L; without a trend, the first frame's mean.
struct LevelFilter {
  LevelWeights weights;
  double level = 0.0;
  double slope = 0.0;

  LevelFilter(const LevelWeights& w, double first_mean, double second_mean, int frame_length);
  // One sample: its one-step error, after which the state has taken the sample in.
  double step(double y) {
    const double predicted = level + weights.phi * slope;
    const double error = y - predicted;
    level = predicted + weights.alpha * error;
    slope = weights.phi * slope + weights.beta * error;
    return error;
  }
};

// The level's weights for a trend, fitted to the one-step squared errors of z (at least 2
// frames of L samples) from its second frame on, by a Nelder-Mead search on the weights mapped
// to their ranges; with the sum of squares they leave.
struct LevelFit {
  LevelWeights weights;
  double squares = 0.0;
  std::int64_t errors = 0;
  double aic() const;  // errors log(squares / errors) + 2 parameters
};
LevelFit fit_level(std::span<const double> z, int frame_length, Trend trend);

// ---- The model at a frame boundary ------------------------------------------------------------

struct State {
  int frames = 0;  // frames before the boundary
  double level = 0.0;
  double slope = 0.0;
  // The waveforms of the next `cycle` frames, frame after frame (frame_length values each).
  std::vector<double> waveform;
  // The one-step errors before the boundary, for the spread of the forecast: the level's from
  // the second frame on (its first frame sets its start), the waveform's per frame as its sum of
  // squares, frame 1's apart (the only one scored when there are two frames).
  double level_squares = 0.0;
  std::int64_t level_errors = 0;
  double waveform_first_squares = 0.0;
  double waveform_later_squares = 0.0;
  int waveform_later_errors = 0;
};

// The states at the frame boundaries `origins` (frames before each, increasing, each 2 ..
// series.frames), from one pass of the filters with the given weights.
std::vector<State> states_at(const Series& series, const Weights& weights,
                             std::span<const int> origins);

// ---- The fit ------------------------------------------------------------------------------------

// What the fit chose between, for the report: per waveform group offered, the gamma of
// smallest one-frame-ahead squared error and the criterion the groups are compared by; per
// trend, the Akaike criterion of the level fitted with it.
struct Choice {
  struct Group {
    WaveformBins bins = WaveformBins::All;
    double gamma = 0.0;
    double squares = 0.0;    // the one-frame-ahead squared errors, frames 2 on
    double criterion = 0.0;  // frames log(squares / frames) + 2 parameters
  };
  std::vector<Group> groups;
  std::array<double, 3> level_aic{};  // in Trend order
};

struct Model {
  int frame_length = 0;
  std::int64_t first_sample = 0;
  Transform transform = Transform::None;
  Weights weights;
  Choice choice;
  State state;  // at the end of the sample
};

// The frames the weights are fitted to: the last ones, as many as hold kFitSamples samples
// (at least kFitLeastFrames), or all there are. A long series' weights are as well determined
// by its last stretch, and its fit then takes about as long as a short one's; the states and
// the forecast come from the whole series all the same.
inline constexpr std::int64_t kFitSamples = 16384;
inline constexpr int kFitLeastFrames = 8;
int fit_frames(const Series& series);

// Fits the model to a series of at least 2 frames (its last fit_frames for the weights).
// `significant` (increasing bins, 1 .. frame_length / 2) are the bins the waveform's groups are
// made from; with none, all bins follow the frames at one gamma. `cycle` waveforms take turns
// (see WaveformWeights). The gamma of each group is the one of smallest squared
// one-frame-ahead error of the waveform (frames 2 on); a group other than All is taken only
// when it lowers frames log(squares / frames) by more than 2 (its one more choice). The level's
// weights minimise its one-step squared errors (from the second frame on) for each trend, and
// the trend is the one of lowest Akaike criterion.
struct FitOptions {
  std::span<const int> significant;
  int cycle = 1;
};
Model fit_model(const Series& series, const FitOptions& options);

// ---- The forecast ------------------------------------------------------------------------------

// `frames_ahead` frames from a state, frame after frame: the forecast on the data's scale, and
// on the model's scale its centre and the standard deviation of its error. The variance at h
// samples ahead is the level's (sigma^2 the level's squared errors over their degrees of
// freedom, times 1 + sum over j < h of (alpha + beta (phi + ... + phi^j))^2) plus, from the
// second frame on, the waveform's per-sample one-step variance times gamma^2 per frame ahead.
struct Forecast {
  int frame_length = 0;
  Transform transform = Transform::None;
  std::vector<double> values;
  std::vector<double> centre;
  std::vector<double> std_dev;
};
// From a state of the model's pass (an origin of a backtest), with the model's weights.
Forecast forecast_from(const Model& model, const State& state, int frames_ahead);
Forecast forecast_model(const Model& model, int frames_ahead);

// Central intervals at `levels` percent: the centre -/+ z std_dev on the model's scale, taken
// to the data's scale (so asymmetric about the forecast on the log scale).
std::vector<forecast::ForecastInterval> forecast_intervals(const Forecast& forecast,
                                                           std::span<const float> levels);

}  // namespace tramel::smoothing
