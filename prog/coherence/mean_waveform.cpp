// The mean waveform of the frames of one series, its standard deviation, and the residual
// series left when the waveform is taken out of every frame.
#include <cmath>

#include "coherence/coherence.hpp"

namespace tramel::coherence {

MeanWaveform take_out_mean_waveform(std::span<float> series, int frame_length) {
  const int frames = static_cast<int>(series.size()) / frame_length;
  MeanWaveform waveform;
  std::vector<float>& mean = waveform.values;
  mean.assign(static_cast<std::size_t>(frame_length), 0.0f);

  // Position-by-position sums over the frames, each partial sum kept in single precision.
  for (int f = 0; f < frames; ++f) {
    const float* frame = series.data() + static_cast<std::ptrdiff_t>(f) * frame_length;
    for (int j = 0; j < frame_length; ++j) mean[j] = mean[j] + frame[j];
  }

  // The mean: 1/frames in double, each product rounded to single when stored. The sums for
  // the standard deviation take the products before that rounding.
  const double reciprocal = 1.0 / frames;
  double sum = 0.0;
  double sum_of_squares = 0.0;
  for (int j = 0; j < frame_length; ++j) {
    const double value = reciprocal * mean[j];
    mean[j] = static_cast<float>(value);
    sum += value;
    sum_of_squares += value * value;
  }

  // Sample standard deviation of the waveform values (divisor frame_length - 1). A waveform of
  // one constant value can leave a difference a few units of rounding below zero; its deviation
  // is 0, not the square root of a negative number.
  const double variance = (sum_of_squares - sum * sum / frame_length) / (frame_length - 1);
  waveform.std_dev = variance > 0.0 ? static_cast<float>(std::sqrt(variance)) : 0.0f;

  // Residuals of the framed samples; the trailing ones are left as read.
  for (int f = 0; f < frames; ++f) {
    float* frame = series.data() + static_cast<std::ptrdiff_t>(f) * frame_length;
    for (int j = 0; j < frame_length; ++j) frame[j] = frame[j] - mean[j];
  }
  return waveform;
}

}  // namespace tramel::coherence
