// The record reader from memory (no file system in the way): one read of a whole sample under
// (8f10.3), and one read per record under (8f10.3,1x,a25), as the data reader does them.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "textio/textio.hpp"

namespace {

using namespace tramel;

constexpr int kColumns = 8;
constexpr int kRecords = 125000;  // 1 million values

// Values of every magnitude from 0.001 to some thousands, either sign, as f10.3 fields.
std::string records(bool label) {
  std::string text;
  std::uint64_t s = 0x2545F4914F6CDD1Dull;
  for (int r = 0; r < kRecords; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      s ^= s << 13;
      s ^= s >> 7;
      s ^= s << 17;
      const double v = (static_cast<double>(s >> 11) * 0x1.0p-53 - 0.5) * std::pow(10.0, s % 5 + 1);
      char buf[32];
      const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 3).ptr;
      text.append(10 - static_cast<std::size_t>(end - buf), ' ');
      text.append(buf, end);
    }
    if (label) text += " station-07 record 0000001";
    text += '\n';
  }
  return text;
}

void BM_read_plain(benchmark::State& state) {
  const std::string text = records(false);
  const textio::RecordFormat format("(8f10.3)");
  std::vector<float> x(static_cast<std::size_t>(kRecords) * kColumns);
  textio::TextFile file;
  file.open_text(text);
  for (auto _ : state) {
    file.rewind();
    if (!textio::read(file, format, x.data(), static_cast<std::int64_t>(x.size())).ok())
      state.SkipWithError("read failed");
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(x.size()));
}
BENCHMARK(BM_read_plain)->Unit(benchmark::kMillisecond);

void BM_read_label(benchmark::State& state) {
  const std::string text = records(true);
  const textio::RecordFormat format("(8f10.3,1x,a25)");
  std::vector<float> x(static_cast<std::size_t>(kRecords) * kColumns);
  std::vector<char> t(static_cast<std::size_t>(kRecords) * 25);
  textio::TextFile file;
  file.open_text(text);
  for (auto _ : state) {
    file.rewind();
    for (int r = 0; r < kRecords; ++r) {
      if (!textio::read(file, format, x.data() + static_cast<std::size_t>(r) * kColumns, kColumns,
                        t.data() + static_cast<std::size_t>(r) * 25)
               .ok())
        state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(x.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(x.size()));
}
BENCHMARK(BM_read_label)->Unit(benchmark::kMillisecond);

}  // namespace
