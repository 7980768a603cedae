// The report formatter: the coefficient line of the VAR block and the forecast file record,
// written into a sink whose buffer is emptied now and then (as a file sink hands it on).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "textio/textio.hpp"

namespace {

using namespace tramel::textio::literals;
using tramel::textio::Sink;

void BM_coefficient_line(benchmark::State& state) {
  constexpr auto kCoef = "(2x,'b(',i2,',',i2,') = ',f9.3,3x,f9.3,3x,f9.3)"_format;
  Sink sink;
  std::int32_t i = 1, u = 1;
  float b = -0.0371f;
  for (auto _ : state) {
    const float se = 1.0f + 0.001f * static_cast<float>(u);
    tramel::textio::write(sink, kCoef, i, u, b, se, b / se);
    if (++u > 99) {
      u = 1;
      i = i % 99 + 1;
    }
    b = -b * 1.0007f;
    if (sink.pending().size() > (1u << 16)) sink.pending().clear();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_coefficient_line);

void BM_forecast_record(benchmark::State& state) {
  constexpr auto kRecord = "(i3,2x,i4,2x,:,100(f9.3,1x))"_format;
  const int M = static_cast<int>(state.range(0));
  Sink sink;
  std::vector<tramel::textio::Item> items(2 + static_cast<std::size_t>(M), tramel::textio::Item(0));
  std::int32_t j = 1;
  float v = 1.2345f;
  for (auto _ : state) {
    items[0] = tramel::textio::Item(std::int32_t{1});
    items[1] = tramel::textio::Item(j);
    for (int s = 0; s < M; ++s)
      items[2 + static_cast<std::size_t>(s)] = tramel::textio::Item(v * static_cast<float>(s + 1));
    tramel::textio::write(sink, kRecord, std::span<const tramel::textio::Item>(items));
    if (++j > 1000) j = 1;
    v = -v * 0.9993f;
    if (sink.pending().size() > (1u << 16)) sink.pending().clear();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_forecast_record)->Arg(1)->Arg(4);

}  // namespace
