// The model: its fit, its states at frame boundaries from one pass, and its forecast.
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <stdexcept>

#include "smoothing/smoothing.hpp"

namespace tramel::smoothing {
namespace {

bool has_groups(WaveformBins bins) { return bins != WaveformBins::All; }

double mean_of(std::span<const double> values) {
  return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

// The frames one after another through the waveform filter: each frame's shape, its one-step
// squared error, and z, the frame less the waveform known before it (the first frame less its
// own shape: its mean and ramp).
class WaveformPass {
 public:
  WaveformPass(const Series& series, const WaveformWeights& weights)
      : series_(series),
        filter_(series.frame_length, weights),
        groups_(has_groups(weights.bins)),
        projection_(series.frame_length, groups_ ? std::span<const int>(weights.significant)
                                                 : std::span<const int>()),
        shape_(static_cast<std::size_t>(series.frame_length)),
        part_(groups_ ? shape_.size() : 0),
        z_(shape_.size()) {}

  double next(int f) {
    frame_shape(series_, f, shape_);
    if (groups_) projection_.apply(shape_, part_);
    const std::span<const double> before = f == 0 ? std::span<const double>(shape_) : filter_.waveform();
    const Series::Frame x = series_.frame(f);
    for (std::size_t j = 0; j < z_.size(); ++j) z_[j] = x[j] - before[j];
    return filter_.update(shape_, part_);
  }
  const std::vector<double>& z() const { return z_; }
  // The waveforms of the next `cycle` frames, frame after frame.
  std::vector<double> next_waveforms(int cycle) const {
    std::vector<double> w;
    for (int h = 0; h < cycle; ++h) {
      const std::span<const double> next = filter_.waveform(h);
      w.insert(w.end(), next.begin(), next.end());
    }
    return w;
  }

 private:
  const Series& series_;
  WaveformFilter filter_;
  bool groups_;
  BinProjection projection_;
  std::vector<double> shape_;
  std::vector<double> part_;
  std::vector<double> z_;
};

// The frames whose one-step waveform errors choose gamma: from frame 2 on (frame 1 is forecast
// by frame 0 alone, the same for every gamma), frame 1 when there are two.
bool scored(int f, int frames) { return frames < 3 ? f == 1 : f >= 2; }

// The gamma of each group of the waveform, and the group, as fit_model says.
WaveformWeights choose_waveform(const Series& series, const FitOptions& options, Choice& choice) {
  const std::span<const int> significant = options.significant;
  std::vector<WaveformBins> offered = {WaveformBins::All};
  if (!significant.empty()) {
    offered.push_back(WaveformBins::SignificantSmoothed);
    offered.push_back(WaveformBins::SignificantOnly);
  }
  struct Candidate {
    WaveformWeights weights;
    WaveformFilter filter;
    double squares = 0.0;
  };
  std::vector<Candidate> candidates;
  for (const WaveformBins bins : offered)
    for (const double gamma : kGammas) {
      WaveformWeights w{gamma, bins,
                        has_groups(bins) ? std::vector<int>(significant.begin(), significant.end())
                                         : std::vector<int>(),
                        options.cycle};
      WaveformFilter filter(series.frame_length, w);
      candidates.push_back(Candidate{std::move(w), std::move(filter), 0.0});
    }

  const auto lb = static_cast<std::size_t>(series.frame_length);
  const BinProjection projection(series.frame_length, significant);
  std::vector<double> shape(lb), part(significant.empty() ? 0 : lb);
  for (int f = 0; f < series.frames; ++f) {
    frame_shape(series, f, shape);
    if (!part.empty()) projection.apply(shape, part);
    for (Candidate& c : candidates) {
      const double squares = c.filter.update(shape, part);
      if (scored(f, series.frames)) c.squares += squares;
    }
  }

  const int frames_scored = series.frames < 3 ? 1 : series.frames - 2;
  std::optional<std::size_t> chosen;
  for (std::size_t g = 0; g < offered.size(); ++g) {
    // The first gamma of least squares: a tie keeps the smaller gain.
    std::size_t best = g * kGammas.size();
    for (std::size_t i = best + 1; i < (g + 1) * kGammas.size(); ++i)
      if (candidates[i].squares < candidates[best].squares * (1.0 - 1e-12)) best = i;
    const double per_frame =
        std::max(candidates[best].squares / frames_scored, std::numeric_limits<double>::min());
    const double criterion = frames_scored * std::log(per_frame) + 2.0 * (g == 0 ? 1 : 2);
    choice.groups.push_back(Choice::Group{offered[g], candidates[best].weights.gamma,
                                          candidates[best].squares, criterion});
    if (!chosen || criterion < choice.groups[*chosen / kGammas.size()].criterion) chosen = best;
  }
  return candidates[*chosen].weights;
}

}  // namespace

std::vector<State> states_at(const Series& series, const Weights& weights,
                             std::span<const int> origins) {
  for (std::size_t i = 0; i < origins.size(); ++i)
    if (origins[i] < 2 || origins[i] > series.frames || (i > 0 && origins[i] <= origins[i - 1]))
      throw std::invalid_argument("smoothing::states_at: the origins must increase within 2 .. frames");
  std::vector<State> states;
  if (origins.empty()) return states;
  const int lb = series.frame_length;
  WaveformPass pass(series, weights.waveform);
  std::vector<double> first_z;
  std::optional<LevelFilter> level;
  State s;
  std::size_t next = 0;
  for (int f = 0; f < origins.back(); ++f) {
    const double squares = pass.next(f);
    if (f == 0) {
      first_z = pass.z();
      continue;
    }
    if (f == 1) {
      // The level starts from the first two frames; the first takes it from its start.
      s.waveform_first_squares = squares;
      level.emplace(weights.level, mean_of(first_z), mean_of(pass.z()), lb);
      for (const double y : first_z) level->step(y);
    } else {
      s.waveform_later_squares += squares;
      ++s.waveform_later_errors;
    }
    for (const double y : pass.z()) {
      const double e = level->step(y);
      s.level_squares += e * e;
    }
    s.level_errors += lb;
    if (f + 1 == origins[next]) {
      s.frames = f + 1;
      s.level = level->level;
      s.slope = level->slope;
      s.waveform = pass.next_waveforms(std::max(weights.waveform.cycle, 1));
      states.push_back(s);
      ++next;
    }
  }
  return states;
}

int fit_frames(const Series& series) {
  const std::int64_t frames = (kFitSamples + series.frame_length - 1) / series.frame_length;
  return static_cast<int>(std::min<std::int64_t>(series.frames, std::max<std::int64_t>(frames, kFitLeastFrames)));
}

namespace {

// The last `frames` frames of a series.
Series last_frames(const Series& series, int frames) {
  if (frames == series.frames) return series;
  const int skipped = series.frames - frames;
  Series s;
  s.frame_length = series.frame_length;
  s.frames = frames;
  s.first_sample = series.first_sample + static_cast<std::int64_t>(skipped) * series.frame_length;
  s.transform = series.transform;
  const auto from = static_cast<std::ptrdiff_t>(skipped) * series.frame_length;
  if (series.read)
    s.read = std::make_shared<const std::vector<float>>(series.read->begin() + from, series.read->end());
  else
    s.scaled.assign(series.scaled.begin() + from, series.scaled.end());
  s.means.assign(series.means.begin() + skipped, series.means.end());
  return s;
}

}  // namespace

Model fit_model(const Series& series, const FitOptions& options) {
  if (series.frames < 2) throw std::invalid_argument("smoothing::fit_model: fewer than 2 frames");
  Model m;
  m.frame_length = series.frame_length;
  m.first_sample = series.first_sample;
  m.transform = series.transform;
  const Series fitted = last_frames(series, fit_frames(series));
  m.weights.waveform = choose_waveform(fitted, options, m.choice);

  // The level's data: every frame less the waveform known before it.
  std::vector<double> z;
  z.reserve(static_cast<std::size_t>(fitted.frames) * static_cast<std::size_t>(fitted.frame_length));
  WaveformPass pass(fitted, m.weights.waveform);
  for (int f = 0; f < fitted.frames; ++f) {
    pass.next(f);
    z.insert(z.end(), pass.z().begin(), pass.z().end());
  }
  std::optional<LevelFit> best;
  for (const Trend trend : {Trend::Damped, Trend::None, Trend::Linear}) {
    const LevelFit fit = fit_level(z, fitted.frame_length, trend);
    m.choice.level_aic[static_cast<std::size_t>(trend)] = fit.aic();
    if (!best || fit.aic() < best->aic()) best = fit;
  }
  m.weights.level = best->weights;
  const int end[] = {series.frames};
  m.state = states_at(series, m.weights, end).front();
  return m;
}

Forecast forecast_from(const Model& model, const State& state, int frames_ahead) {
  const int lb = model.frame_length;
  const Weights& weights = model.weights;
  const LevelWeights& w = weights.level;
  const std::size_t n = static_cast<std::size_t>(std::max(frames_ahead, 0)) * static_cast<std::size_t>(lb);
  const double level_variance =
      state.level_squares /
      static_cast<double>(std::max<std::int64_t>(state.level_errors - w.parameters(), 1));
  const double waveform_variance =
      (state.frames < 3 ? state.waveform_first_squares
                        : state.waveform_later_squares / state.waveform_later_errors) /
      lb;
  const double gamma2 = weights.waveform.gamma * weights.waveform.gamma;
  const auto cycle = static_cast<std::size_t>(std::max(weights.waveform.cycle, 1));

  Forecast out;
  out.frame_length = lb;
  out.centre.resize(n);
  out.std_dev.resize(n);
  double damping = 0.0;  // phi + phi^2 + ... + phi^h
  double power = 1.0;
  double effects = 0.0;  // the sum of the squared effects of an innovation, h samples ahead
  for (std::size_t i = 0; i < n; ++i) {
    // The effect on sample i + 1 ahead of the innovation i samples before it: 1 for its own
    // sample, then alpha + beta (phi + ... + phi^i).
    effects += i == 0 ? 1.0 : (w.alpha + w.beta * damping) * (w.alpha + w.beta * damping);
    power *= w.phi;
    damping += power;
    // Frame i / lb ahead takes the waveform of its turn in the cycle, which has been smoothed
    // over one frame of its own for every cycle ahead.
    const std::size_t ahead = i / static_cast<std::size_t>(lb);
    out.centre[i] = state.level + damping * state.slope +
                    state.waveform[(ahead % cycle) * static_cast<std::size_t>(lb) + i % static_cast<std::size_t>(lb)];
    const auto frames_on = static_cast<double>(ahead / cycle);
    out.std_dev[i] = std::sqrt(level_variance * effects + waveform_variance * frames_on * gamma2);
  }
  out.transform = model.transform;
  out.values = out.centre;
  if (model.transform == Transform::Log)
    for (double& v : out.values) v = std::exp(v);
  return out;
}

Forecast forecast_model(const Model& model, int frames_ahead) {
  return forecast_from(model, model.state, frames_ahead);
}

std::vector<forecast::ForecastInterval> forecast_intervals(const Forecast& f,
                                                           std::span<const float> levels) {
  return forecast::central_intervals({f.centre, f.std_dev, f.transform == Transform::Log}, levels);
}

}  // namespace tramel::smoothing
