// The VAR fit on 2000 frames: var (work space) and fit (cross-products, Cholesky factor,
// solves, residuals, inverse) for several numbers of significant bins m and lags p.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "forecast/forecast.hpp"

namespace {

void BM_fit(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  const int p = static_cast<int>(state.range(1));
  const int nf = 2000;
  const int nv = 2 * m;
  const auto nc = static_cast<std::size_t>(nv) * nv * p;
  // Frame coefficients of a stable process: each variable an AR(1) of its own plus noise.
  std::vector<float> Z(static_cast<std::size_t>(nf) * nv);
  std::uint64_t s = 88172645463325252ull;
  auto noise = [&] {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<float>(static_cast<double>(s >> 11) * 0x1.0p-53 - 0.5);
  };
  for (int j = 0; j < nv; ++j) {
    float prev = 0.0f;
    for (int t = 0; t < nf; ++t) {
      prev = 0.5f * prev + noise();
      Z[static_cast<std::size_t>(j) * nf + t] = prev;
    }
  }
  std::vector<float> e(static_cast<std::size_t>(nf) * nv), sv(nc);
  std::vector<double> c(nc);
  tramel::textio::Sink msg;
  for (auto _ : state) {
    float rsq = 0.0f;
    int ier = 0;
    tramel::forecast::var(Z, e, c, sv, rsq, nv, p, nf, ier, msg);
    if (ier != 0) state.SkipWithError("fit failed");
    benchmark::DoNotOptimize(c.data());
  }
  state.SetLabel("nr=" + std::to_string(nv * p) + " nc=" + std::to_string(nc));
}
BENCHMARK(BM_fit)
    ->Args({2, 2})
    ->Args({5, 3})
    ->Args({10, 5})
    ->Args({20, 5})
    ->Args({70, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace
