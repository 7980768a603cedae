// cfftf at the frame lengths that runs use: smooth ones, a prime, and the common powers of 2.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

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
