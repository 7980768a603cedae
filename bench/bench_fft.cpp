// The forward transform at the frame lengths that runs use: smooth ones, a prime, and the
// common powers of 2; one frame at a time, and numeric::kFftLanes frames side by side.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "numeric/numeric.hpp"

namespace {

using tramel::numeric::Complex;
using tramel::numeric::FftPlan;
using tramel::numeric::kFftLanes;

// One frame, with scratch of its own, as the analysis transforms the mean waveform.
void BM_forward(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const FftPlan plan(n);
  std::vector<Complex> frame(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) frame[j] = Complex(std::sin(0.37 * j) + 0.01 * (j % 7), 0.0);
  std::vector<Complex> z(frame.size()), scratch(frame.size());
  for (auto _ : state) {
    z = frame;  // a fresh real frame each time, as the analysis transforms them
    plan.forward(z, scratch);
    benchmark::DoNotOptimize(z.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["ns_per_point"] = benchmark::Counter(
      static_cast<double>(n) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_forward)->Arg(101)->Arg(360)->Arg(512)->Arg(1000)->Arg(1024)->Arg(4096);

// The same lengths, kFftLanes frames at once (as the noise spectrum and the frame coefficients
// transform the residual frames); the time per frame for the comparison.
void BM_forward_lanes(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const FftPlan plan(n);
  const auto size = 2 * static_cast<std::size_t>(n) * kFftLanes;
  std::vector<double> frames(size, 0.0), z(size), work(size);
  for (int j = 0; j < n; ++j)
    for (int q = 0; q < kFftLanes; ++q)
      frames[2 * static_cast<std::size_t>(j) * kFftLanes + q] =
          std::sin(0.37 * j + q) + 0.01 * (j % 7);
  for (auto _ : state) {
    z = frames;
    plan.forward_lanes(z, work);
    benchmark::DoNotOptimize(z.data());
  }
  state.SetItemsProcessed(state.iterations() * kFftLanes);
  state.counters["ns_per_frame"] = benchmark::Counter(
      static_cast<double>(kFftLanes) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_forward_lanes)->Arg(101)->Arg(360)->Arg(512)->Arg(1000)->Arg(1024)->Arg(4096);

}  // namespace
