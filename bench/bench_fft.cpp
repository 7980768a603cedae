// cfftf at the frame lengths that runs use: smooth ones, a prime, and the common powers of 2.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "numeric/numeric.hpp"
#include "numeric/numeric.hpp"

namespace {

using tramel::numeric::FftTable;
using Complex = std::complex<double>;

void BM_cfftf(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  FftTable v;
  tramel::numeric::cffti(n, v);
  std::vector<Complex> frame(static_cast<std::size_t>(n));
  for (int j = 0; j < n; ++j) frame[j] = Complex(std::sin(0.37 * j) + 0.01 * (j % 7), 0.0);
  std::vector<Complex> z(frame.size());
  for (auto _ : state) {
    z = frame;  // a fresh real frame each time, as the analysis transforms them
    tramel::numeric::cfftf(n, z, v);
    benchmark::DoNotOptimize(z.data());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["ns_per_point"] = benchmark::Counter(
      static_cast<double>(n) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_cfftf)->Arg(101)->Arg(360)->Arg(512)->Arg(1000)->Arg(1024)->Arg(4096);

}  // namespace

namespace {

// The same lengths, kFftLanes frames at once; the time per frame for the comparison.
void BM_cfftf_many(benchmark::State& state) {
  using tramel::numeric::kFftLanes;
  const int n = static_cast<int>(state.range(0));
  FftTable v;
  tramel::numeric::cffti(n, v);
  const auto size = 2 * static_cast<std::size_t>(n) * kFftLanes;
  std::vector<double> frames(size, 0.0), z(size), work(size);
  for (int j = 0; j < n; ++j)
    for (int q = 0; q < kFftLanes; ++q)
      frames[2 * static_cast<std::size_t>(j) * kFftLanes + q] =
          std::sin(0.37 * j + q) + 0.01 * (j % 7);
  for (auto _ : state) {
    z = frames;
    tramel::numeric::cfftf_many(n, z, work, v);
    benchmark::DoNotOptimize(z.data());
  }
  state.SetItemsProcessed(state.iterations() * kFftLanes);
  state.counters["ns_per_frame"] = benchmark::Counter(
      static_cast<double>(kFftLanes) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_cfftf_many)->Arg(101)->Arg(360)->Arg(512)->Arg(1000)->Arg(1024)->Arg(4096);

}  // namespace
