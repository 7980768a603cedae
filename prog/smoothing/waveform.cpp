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
    : gamma_(weights.gamma),
      bins_(weights.bins),
      smoothed_(static_cast<std::size_t>(frame_length), 0.0),
      rest_(bins_ == WaveformBins::SignificantSmoothed ? smoothed_.size() : 0, 0.0),
      waveform_(smoothed_.size(), 0.0) {}

double WaveformFilter::update(std::span<const double> shape, std::span<const double> significant_part) {
  const std::size_t lb = waveform_.size();
  double squares = 0.0;
  if (frames_ > 0) {
    for (std::size_t j = 0; j < lb; ++j) {
      const double e = shape[j] - waveform_[j];
      squares += e * e;
    }
  }
  // The first frame sets the state: a gain of 1.
  const double mean_gain = 1.0 / (frames_ + 1);
  const double gain = std::max(gamma_, mean_gain);
  const std::span<const double> moving = bins_ == WaveformBins::All ? shape : significant_part;
  for (std::size_t j = 0; j < lb; ++j) smoothed_[j] += gain * (moving[j] - smoothed_[j]);
  if (bins_ == WaveformBins::SignificantSmoothed) {
    for (std::size_t j = 0; j < lb; ++j) {
      rest_[j] += mean_gain * ((shape[j] - significant_part[j]) - rest_[j]);
      waveform_[j] = smoothed_[j] + rest_[j];
    }
  } else {
    waveform_ = smoothed_;
  }
  ++frames_;
  return squares;
}

}  // namespace tramel::smoothing
