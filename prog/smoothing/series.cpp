// The series on the model's scale: its frames counted back from the last datum, transformed,
// and the shapes of its frames.
#include <algorithm>
#include <cmath>

#include "smoothing/smoothing.hpp"

namespace tramel::smoothing {

bool transform_applies(std::span<const float> values, Transform transform) {
  for (const float v : values) {
    if (!std::isfinite(v)) return false;
    if (transform == Transform::Log && !(v > 0.0f)) return false;
  }
  return true;
}

EndFrames frames_to_end(std::int64_t samples, int frame_length) {
  EndFrames f;
  f.frame_length = frame_length;
  if (frame_length < 1 || samples < 0) return f;
  f.frames = static_cast<int>(samples / frame_length);
  f.first_sample = samples - static_cast<std::int64_t>(f.frames) * frame_length;
  return f;
}

namespace {

// The series of whole frames `values` (a multiple of frame_length long) on the model's scale,
// with its frames' means.
Series framed_series(std::vector<double> values, int frame_length, Transform transform) {
  Series s;
  s.frame_length = frame_length;
  s.frames = frame_length < 1 ? 0 : static_cast<int>(values.size() / static_cast<std::size_t>(frame_length));
  s.transform = transform;
  s.values = std::move(values);
  s.means.resize(static_cast<std::size_t>(s.frames));
  for (int f = 0; f < s.frames; ++f) {
    const double* x = s.frame(f);
    double sum = 0.0;
    for (int j = 0; j < frame_length; ++j) sum += x[j];
    s.means[f] = sum / frame_length;
  }
  return s;
}

}  // namespace

Series model_series(std::span<const float> values, int frame_length, Transform transform) {
  const std::size_t first = values.size() % static_cast<std::size_t>(std::max(frame_length, 1));
  std::vector<double> scaled;
  scaled.reserve(values.size() - first);
  for (const float v : values.subspan(first))
    scaled.push_back(transform == Transform::Log ? std::log(static_cast<double>(v)) : static_cast<double>(v));
  Series s = framed_series(std::move(scaled), frame_length, transform);
  s.first_sample = static_cast<std::int64_t>(first);
  return s;
}

Series model_series(std::span<const double> scaled, int frame_length, Transform transform) {
  const EndFrames ends = frames_to_end(static_cast<std::int64_t>(scaled.size()), frame_length);
  const std::span<const double> framed = scaled.subspan(static_cast<std::size_t>(ends.first_sample));
  Series s = framed_series(std::vector<double>(framed.begin(), framed.end()), frame_length, transform);
  s.first_sample = ends.first_sample;
  return s;
}

void frame_shape(const Series& series, int f, std::span<double> shape) {
  const int lb = series.frame_length;
  const std::vector<double>& m = series.means;
  double change = 0.0;
  if (f > 0) {
    change = m[f] - m[f - 1];
  } else if (series.frames > 1) {
    change = m[1] - m[0];
  }
  const double slope = change / lb;
  const double centre = (lb - 1) / 2.0;
  const double* x = series.frame(f);
  for (int j = 0; j < lb; ++j) shape[j] = x[j] - m[f] - (j - centre) * slope;
}

}  // namespace tramel::smoothing
