// The settings of the generated end-to-end case. The generator writes them into the case's
// control file tramel.cnl, from which the program and the stage timer plan the run;
// bench/numpy_peer.py repeats them.
#pragma once

namespace tramel::bench {

// 2 million samples of 4 series, sampled at 1 kHz, frames of 1000 samples (1 Hz resolution),
// pass band 0.01 .. 0.49 kHz (bins 10 .. 490), 10 % taper, threshold 0.9999, 2 lags, 1 frame
// ahead.
inline constexpr int kSamples = 2'000'000;
inline constexpr int kSeries = 4;
inline constexpr int kFrame = 1000;
inline constexpr int kLowBin = 10;
inline constexpr int kHighBin = 490;
inline constexpr float kTaper = 10.0f;
inline constexpr float kThreshold = 0.9999f;
inline constexpr int kLags = 2;
inline constexpr int kAhead = 1;
inline constexpr const char* kDataFile = "tones.dat";
inline constexpr const char* kFormat = "(4f10.3)";

// Two tones locked to the frame (a whole number of cycles per frame) in white noise.
inline constexpr int kToneBin1 = 97;
inline constexpr int kToneBin2 = 233;
inline constexpr double kToneAmplitude1 = 1.7;
inline constexpr double kToneAmplitude2 = 1.0;
inline constexpr double kNoise = 2.0;

}  // namespace tramel::bench
