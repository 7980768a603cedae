// The data of the models that follow the level: the transforms of the raw frames, the model's
// variables taken from them, the mean waveform's transform and the spread of the bins the model
// does not carry.
#include <algorithm>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

// A real frame from bins 0 .. lb/2 of its transform (the rest being their conjugates):
// y(j) = (1/lb) sum_k S(k) exp(+2 pi i j k / lb). The forward transform of the conjugate
// spectrum is lb times the conjugate of y, which is real.
void inverse_transform(std::span<const Complex> half, const numeric::FftPlan& plan,
                       std::span<Complex> work, std::span<Complex> scratch, double* out) {
  const int lb = plan.length();
  const int half_bins = lb / 2 + 1;
  work[0] = Complex(half[0].real(), 0.0);
  for (int k = 1; k < half_bins; ++k) {
    work[k] = std::conj(half[k]);
    work[lb - k] = half[k];
  }
  // At lb/2 the two entries are one; its imaginary part is no part of a real frame.
  if (lb % 2 == 0) work[lb / 2] = Complex(half[lb / 2].real(), 0.0);
  plan.forward(work, scratch);
  const double reciprocal = 1.0 / lb;
  for (int j = 0; j < lb; ++j) out[j] = reciprocal * work[j].real();
}

template <class Real>
BasicFrameSpectra<Real> spectra_of_frames(std::span<const float> series, const numeric::FftPlan& plan,
                                          const float* weights, parallel::Threads threads) {
  BasicFrameSpectra<Real> s;
  s.frame_length = plan.length();
  s.frames = static_cast<int>(series.size() / static_cast<std::size_t>(s.frame_length));
  const auto half = static_cast<std::size_t>(s.half_bins());
  s.values.resize(static_cast<std::size_t>(s.frames) * half);
  // Each frame's transform is its own: the threads share out batches of frames.
  parallel::for_blocks(s.frames, numeric::kFftLanes, threads, [&](std::int64_t first, std::int64_t last) {
    numeric::FrameBatch batch(plan);
    batch.transform_each(series.data(), first, last, weights, [&](std::int64_t f0, int count) {
      for (int q = 0; q < count; ++q) {
        std::complex<Real>* out = s.values.data() + static_cast<std::size_t>(f0 + q) * half;
        for (std::size_t k = 0; k < half; ++k)
          out[k] = std::complex<Real>(static_cast<Real>(batch.real(static_cast<int>(k), q)),
                                      static_cast<Real>(batch.imag(static_cast<int>(k), q)));
      }
    });
  });
  return s;
}

}  // namespace

FrameSpectra frame_spectra(std::span<const float> series, const numeric::FftPlan& plan,
                           const float* weights, parallel::Threads threads) {
  return spectra_of_frames<double>(series, plan, weights, threads);
}

SingleFrameSpectra single_frame_spectra(std::span<const float> series, const numeric::FftPlan& plan,
                                        const float* weights, parallel::Threads threads) {
  return spectra_of_frames<float>(series, plan, weights, threads);
}

GrowingInputs::GrowingInputs(const FrameSpectra& spectra, std::span<const int> bins,
                             const numeric::FftPlan& plan)
    : spectra_(spectra), plan_(plan), bins_(bins.begin(), bins.end()) {
  const auto half = static_cast<std::size_t>(spectra.half_bins());
  modelled_.assign(half, false);
  modelled_[0] = true;
  for (const int b : bins_) modelled_[static_cast<std::size_t>(b)] = true;
  spectrum_sum_.assign(half, Complex(0.0, 0.0));
  sums_.assign(static_cast<std::size_t>(spectra.frame_length), 0.0);
  squares_ = sums_;
}

ModelInputs GrowingInputs::at(int frames) {
  const int lb = spectra_.frame_length;
  const int half = spectra_.half_bins();
  ModelInputs in;
  in.frame_length = lb;
  in.frames = frames;
  in.bins = bins_;
  const SpectraVariables variables(spectra_, bins_);
  in.variables = variables.variables();

  // The variables, frame after frame.
  in.values.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(in.variables));
  const auto rows = static_cast<std::size_t>(frames);
  for (int v = 0; v < in.variables; ++v)
    for (int f = 0; f < frames; ++f) in.values[static_cast<std::size_t>(v) * rows + static_cast<std::size_t>(f)] = variables.at(f, v);

  // The mean waveform's transform: the mean of the frames' transforms.
  for (int f = added_; f < frames; ++f)
    for (int k = 0; k < half; ++k) spectrum_sum_[k] += spectra_.at(f, k);
  in.mean_spectrum = spectrum_sum_;
  const double reciprocal = frames > 0 ? 1.0 / frames : 0.0;
  for (Complex& c : in.mean_spectrum) c *= reciprocal;

  // The residual frames restricted to the bins not modelled, back in samples; their mean
  // square over the frames at each position (over frames - 1: the mean waveform was taken out),
  // from their sums and sums of squares about the reference.
  in.unmodelled_variance.assign(static_cast<std::size_t>(lb), 0.0);
  const bool all_modelled = std::all_of(modelled_.begin(), modelled_.end(), [](bool m) { return m; });
  if (all_modelled) {
    added_ = frames;
    return in;
  }
  if (added_ == 0) {
    reference_.assign(static_cast<std::size_t>(half), Complex(0.0, 0.0));
    for (int k = 0; k < half; ++k)
      if (!modelled_[k]) reference_[k] = in.mean_spectrum[k];
  }
  std::vector<Complex> residual(static_cast<std::size_t>(half)), work(lb), scratch(lb);
  std::vector<double> samples(static_cast<std::size_t>(lb));
  for (int f = added_; f < frames; ++f) {
    for (int k = 0; k < half; ++k)
      residual[k] = modelled_[k] ? Complex(0.0, 0.0) : spectra_.at(f, k) - reference_[k];
    inverse_transform(residual, plan_, work, scratch, samples.data());
    for (int j = 0; j < lb; ++j) {
      sums_[j] += samples[j];
      squares_[j] += samples[j] * samples[j];
    }
  }
  added_ = frames;
  if (frames < 2) return in;
  const double divisor = 1.0 / (frames - 1);
  for (int j = 0; j < lb; ++j)
    in.unmodelled_variance[j] = std::max(squares_[j] - sums_[j] * sums_[j] * reciprocal, 0.0) * divisor;
  return in;
}

ModelInputs model_inputs(const FrameSpectra& spectra, int frames, std::span<const int> bins,
                         const numeric::FftPlan& plan) {
  return GrowingInputs(spectra, bins, plan).at(frames);
}

ModelInputs model_inputs(std::span<const float> series, std::span<const int> bins,
                         const numeric::FftPlan& plan, parallel::Threads threads) {
  const FrameSpectra spectra = frame_spectra(series, plan, nullptr, threads);
  return model_inputs(spectra, spectra.frames, bins, plan);
}

std::vector<double> frame_from_spectrum(std::span<const Complex> half, const numeric::FftPlan& plan) {
  const auto lb = static_cast<std::size_t>(plan.length());
  std::vector<Complex> work(lb), scratch(lb);
  std::vector<double> out(lb);
  inverse_transform(half, plan, work, scratch, out.data());
  return out;
}

}  // namespace tramel::forecast
