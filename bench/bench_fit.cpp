// The VAR fit on 2000 frames (cross-products, Cholesky factor, solves, residuals, inverse,
// standard errors) for several numbers of significant bins m and lags p.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "forecast/forecast.hpp"

namespace {

using namespace tramel;

void BM_fit(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0));
  const int p = static_cast<int>(state.range(1));
  const int frames = 2000;
  const int variables = 2 * m;
  // Frame coefficients of a stable process: each variable an AR(1) of its own plus noise.
  forecast::FrameCoefficients z{frames, variables,
                                std::vector<float>(static_cast<std::size_t>(frames) * variables)};
  std::uint64_t s = 88172645463325252ull;
  auto noise = [&] {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return static_cast<float>(static_cast<double>(s >> 11) * 0x1.0p-53 - 0.5);
  };
  for (int j = 0; j < variables; ++j) {
    float prev = 0.0f;
    for (int t = 0; t < frames; ++t) {
      prev = 0.5f * prev + noise();
      z.values[static_cast<std::size_t>(j) * frames + t] = prev;
    }
  }
  for (auto _ : state) {
    const auto fit = forecast::fit_var(z, p, forecast::StandardErrors::Traditional);
    if (!fit) {
      state.SkipWithError("the normal matrix is not positive definite");
      break;
    }
    benchmark::DoNotOptimize(fit->coefficients.data());
  }
  const int regressors = variables * p;
  state.SetLabel("nr=" + std::to_string(regressors) +
                 " nc=" + std::to_string(static_cast<std::int64_t>(variables) * regressors));
}
BENCHMARK(BM_fit)
    ->Args({2, 2})
    ->Args({5, 3})
    ->Args({10, 5})
    ->Args({20, 5})
    ->Args({70, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace
