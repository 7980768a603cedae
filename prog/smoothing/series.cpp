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

// The series of whole frames `read` or `scaled` (whichever is given, a multiple of frame_length
// long), with its frames' means.
Series framed_series(SharedValues read, std::vector<double> scaled, int frame_length, Transform transform) {
  Series s;
  s.frame_length = frame_length;
  const std::size_t size = read ? read->size() : scaled.size();
  s.frames = frame_length < 1 ? 0 : static_cast<int>(size / static_cast<std::size_t>(frame_length));
  s.transform = transform;
  s.read = std::move(read);
  s.scaled = std::move(scaled);
  s.means.resize(static_cast<std::size_t>(s.frames));
  for (int f = 0; f < s.frames; ++f) {
    const Series::Frame x = s.frame(f);
    double sum = 0.0;
    for (int j = 0; j < frame_length; ++j) sum += x[j];
    s.means[f] = sum / frame_length;
  }
  return s;
}

SharedValues shared_copy(std::span<const float> values) {
  return std::make_shared<const std::vector<float>>(values.begin(), values.end());
}

}  // namespace

Series model_series(std::span<const float> values, int frame_length, Transform transform) {
  const std::size_t first = values.size() % static_cast<std::size_t>(std::max(frame_length, 1));
  const std::span<const float> framed = values.subspan(first);
  Series s;
  if (transform == Transform::Log) {
    std::vector<double> scaled;
    scaled.reserve(framed.size());
    for (const float v : framed) scaled.push_back(std::log(static_cast<double>(v)));
    s = framed_series(nullptr, std::move(scaled), frame_length, transform);
  } else {
    s = framed_series(shared_copy(framed), {}, frame_length, transform);
  }
  s.first_sample = static_cast<std::int64_t>(first);
  return s;
}

Series model_series(std::span<const double> scaled, int frame_length, Transform transform) {
  const EndFrames ends = frames_to_end(static_cast<std::int64_t>(scaled.size()), frame_length);
  const std::span<const double> framed = scaled.subspan(static_cast<std::size_t>(ends.first_sample));
  Series s = framed_series(nullptr, std::vector<double>(framed.begin(), framed.end()), frame_length, transform);
  s.first_sample = ends.first_sample;
  return s;
}

Series model_series(SharedValues whole_frames, int frame_length) {
  if (frame_length < 1 || whole_frames->size() % static_cast<std::size_t>(frame_length) != 0)
    return model_series(std::span<const float>(*whole_frames), frame_length, Transform::None);
  return framed_series(std::move(whole_frames), {}, frame_length, Transform::None);
}

Series reframed(const Series& series, std::int64_t samples, int frame_length) {
  const auto n = static_cast<std::size_t>(samples);
  // Values as read are on the data's scale.
  if (series.read) return model_series(std::span<const float>(*series.read).first(n), frame_length, Transform::None);
  return model_series(std::span<const double>(series.scaled).first(n), frame_length, series.transform);
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
  const Series::Frame x = series.frame(f);
  for (int j = 0; j < lb; ++j) shape[j] = x[j] - m[f] - (j - centre) * slope;
}

}  // namespace tramel::smoothing
