// The waveform's state from frame to frame, and the part of a frame at some bins.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "smoothing/smoothing.hpp"

namespace tramel::smoothing {

BinProjection::BinProjection(int frame_length, std::span<const int> bins)
    : frame_length_(frame_length) {
  const auto lb = static_cast<std::size_t>(frame_length);
  const auto add = [&](auto value) {
    double norm = 0.0;
    for (int j = 0; j < frame_length; ++j) {
      const double v = value(j);
      basis_.push_back(v);
      norm += v * v;
    }
    inverse_.push_back(1.0 / norm);
  };
  basis_.reserve(2 * bins.size() * lb);
  for (const int b : bins) {
    // The angle from j b mod L, so that it stays exact for long frames.
    const auto angle = [&](int j) {
      return 2.0 * std::numbers::pi *
             static_cast<double>((static_cast<std::int64_t>(j) * b) % frame_length) / frame_length;
    };
    add([&](int j) { return std::cos(angle(j)); });
    if (2 * b != frame_length) add([&](int j) { return std::sin(angle(j)); });
  }
}

void BinProjection::apply(std::span<const double> frame, std::span<double> part) const {
  const auto lb = static_cast<std::size_t>(frame_length_);
  std::fill(part.begin(), part.begin() + frame_length_, 0.0);
  for (std::size_t v = 0; v < inverse_.size(); ++v) {
    const double* basis = basis_.data() + v * lb;
    double dot = 0.0;
    for (std::size_t j = 0; j < lb; ++j) dot += basis[j] * frame[j];
    const double c = dot * inverse_[v];
    for (std::size_t j = 0; j < lb; ++j) part[j] += c * basis[j];
  }
}

WaveformFilter::WaveformFilter(int frame_length, const WaveformWeights& weights)
    : frame_length_(frame_length),
      gamma_(weights.gamma),
      bins_(weights.bins),
      cycle_(std::max(weights.cycle, 1)),
      taken_(static_cast<std::size_t>(cycle_), 0),
      smoothed_(static_cast<std::size_t>(cycle_) * static_cast<std::size_t>(frame_length), 0.0),
      rest_(bins_ == WaveformBins::SignificantSmoothed ? smoothed_.size() : 0, 0.0),
      waveform_(smoothed_.size(), 0.0),
      mean_(static_cast<std::size_t>(frame_length), 0.0) {}

std::span<const double> WaveformFilter::waveform(int ahead) const {
  const int c = (frames_ + ahead) % cycle_;
  if (taken_[c] == 0) return mean_;
  const auto lb = static_cast<std::size_t>(frame_length_);
  return std::span<const double>(waveform_).subspan(static_cast<std::size_t>(c) * lb, lb);
}

double WaveformFilter::update(std::span<const double> shape, std::span<const double> significant_part) {
  const auto lb = static_cast<std::size_t>(frame_length_);
  double squares = 0.0;
  if (frames_ > 0) {
    const std::span<const double> before = waveform();
    for (std::size_t j = 0; j < lb; ++j) {
      const double e = shape[j] - before[j];
      squares += e * e;
    }
  }
  const int c = frames_ % cycle_;
  const std::size_t at = static_cast<std::size_t>(c) * lb;
  // A waveform's first frame sets it: a gain of 1.
  const double mean_gain = 1.0 / (taken_[c] + 1);
  const double gain = std::max(gamma_, mean_gain);
  const std::span<const double> moving = bins_ == WaveformBins::All ? shape : significant_part;
  double* smoothed = smoothed_.data() + at;
  double* waveform = waveform_.data() + at;
  for (std::size_t j = 0; j < lb; ++j) smoothed[j] += gain * (moving[j] - smoothed[j]);
  if (bins_ == WaveformBins::SignificantSmoothed) {
    double* rest = rest_.data() + at;
    for (std::size_t j = 0; j < lb; ++j) {
      rest[j] += mean_gain * ((shape[j] - significant_part[j]) - rest[j]);
      waveform[j] = smoothed[j] + rest[j];
    }
  } else {
    std::copy(smoothed, smoothed + lb, waveform);
  }
  if (cycle_ > 1) {
    const double weight = 1.0 / (frames_ + 1);
    for (std::size_t j = 0; j < lb; ++j) mean_[j] += weight * (shape[j] - mean_[j]);
  }
  ++taken_[c];
  ++frames_;
  return squares;
}

}  // namespace tramel::smoothing
