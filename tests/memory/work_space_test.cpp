// The work space a run is refused by, or shared out over threads by, against what a run really
// allocates: every allocation of this test program is counted, and the peak of the bytes in use
// while a run's series are analysed one after another, as on one thread, must lie within 10 %
// of what WorkSpace says the run takes (the run's stores and the VAR of its largest fit).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "analysis/analysis.hpp"

namespace {

// The bytes asked for and not yet given back, and their peak. Each block carries the size it
// was asked for in a header in front of it (as wide as the block's alignment).
std::atomic<std::int64_t> in_use{0};
std::atomic<std::int64_t> peak{0};

void* counted(std::size_t n, std::size_t alignment) {
  const std::size_t header = std::max<std::size_t>(alignment, 16);
  const std::size_t total = (header + n + alignment - 1) / alignment * alignment;
  char* block = static_cast<char*>(std::aligned_alloc(alignment, total));
  if (block == nullptr) throw std::bad_alloc();
  std::size_t* sizes = reinterpret_cast<std::size_t*>(block + header) - 2;
  sizes[0] = n;
  sizes[1] = header;
  const auto now = in_use += static_cast<std::int64_t>(n);
  for (std::int64_t seen = peak.load(); now > seen && !peak.compare_exchange_weak(seen, now);) {
  }
  return block + header;
}
void release(void* p) {
  if (p == nullptr) return;
  const std::size_t* sizes = static_cast<const std::size_t*>(p) - 2;
  in_use -= static_cast<std::int64_t>(sizes[0]);
  std::free(static_cast<char*>(p) - sizes[1]);
}

}  // namespace

void* operator new(std::size_t n) { return counted(n, 16); }
void* operator new[](std::size_t n) { return counted(n, 16); }
void* operator new(std::size_t n, std::align_val_t a) {
  return counted(n, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }

namespace tramel::analysis {
namespace {

// Tones locked to the frame at two bins, in Gaussian noise (a fixed pseudo-random sequence).
struct Case {
  const char* name;
  std::int64_t samples;
  int series;
  Settings settings;
  int tone_bin1, tone_bin2;
};

std::vector<float> tones(const Case& c, int j) {
  std::vector<float> v(static_cast<std::size_t>(c.samples));
  std::uint64_t seed = 2024 + 7919 * static_cast<std::uint64_t>(j);
  const auto uniform = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return (static_cast<double>(seed >> 11) + 0.5) / 9007199254740992.0;
  };
  const double two_pi = 6.283185307179586;
  const double phase1 = two_pi * uniform(), phase2 = two_pi * uniform();
  const int lb = c.settings.frame_length;
  for (std::int64_t t = 0; t < c.samples; ++t) {
    const double pos = static_cast<double>(t % lb) / lb;
    const double noise = std::sqrt(-2.0 * std::log(uniform())) * std::cos(two_pi * uniform());
    v[static_cast<std::size_t>(t)] =
        static_cast<float>(1.7 * std::cos(two_pi * c.tone_bin1 * pos + phase1) +
                           1.0 * std::cos(two_pi * c.tone_bin2 * pos + phase2) + 2.0 * noise);
  }
  return v;
}

Settings settings(int lb, int first, int last, float taper, float threshold, int lags, int ahead) {
  Settings s;
  s.frame_length = lb;
  s.first_bin = first;
  s.last_bin = last;
  s.taper_percent = taper;
  s.threshold = threshold;
  s.lags = lags;
  s.frames_ahead = ahead;
  return s;
}

TEST(WorkSpace, FormulaHoldsWithinATenthOfWhatARunAllocates) {
  const Case cases[] = {
      // The benchmark's geometry: 2 M samples of 4 series, frames of 1000, about 70 bins, 2 lags.
      {"benchmark", 2'000'000, 4, settings(1000, 10, 490, 10.0f, 0.9999f, 2, 1), 97, 233},
      {"two series of 10 000 hours", 10'000, 2, settings(24, 1, 11, 0.0f, 0.99f, 1, 1), 1, 3},
      {"three series, a quarter tapered", 100'000, 3, settings(100, 2, 45, 25.0f, 0.9999f, 2, 2), 10, 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunSize size{c.samples, c.series};
    std::vector<std::vector<float>> series;
    for (int j = 0; j < c.series; ++j) series.push_back(tones(c, j));

    const std::int64_t before = in_use.load();
    peak = before;
    std::uint64_t largest_var = 0;
    {
      // As a run on one thread: the work space and its sample, then the series one after
      // another, each forecast kept until the last series is done.
      WorkSpace work_space(0);
      Samples sample(work_space.store());
      sample.resize(static_cast<std::size_t>(c.samples * c.series));
      for (int j = 0; j < c.series; ++j)
        for (std::int64_t t = 0; t < c.samples; ++t)
          sample[static_cast<std::size_t>(t * c.series + j)] = series[j][static_cast<std::size_t>(t)];
      const numeric::FftPlan fft(c.settings.frame_length);
      const Context context{fft, &work_space, {}};
      std::vector<std::vector<float>> forecasts;
      numeric::ProbabilityFallback fallback;
      for (int j = 0; j < c.series; ++j) {
        Samples values(static_cast<std::size_t>(c.samples), work_space.store());
        for (std::int64_t t = 0; t < c.samples; ++t)
          values[static_cast<std::size_t>(t)] = sample[static_cast<std::size_t>(t * c.series + j)];
        SeriesResult r = analyse_series(j + 1, std::move(values), c.settings, context, fallback);
        ASSERT_TRUE(r.completed());
        fallback = r.fallback;
        largest_var = std::max(largest_var,
                               WorkSpace::var_bytes(c.settings, c.samples / c.settings.frame_length,
                                                    static_cast<std::int64_t>(r.significant.size())));
        forecasts.push_back(std::move(r.forecast));
      }
    }
    const auto measured = static_cast<double>(peak.load() - before);
    const auto formula = static_cast<double>(WorkSpace::run_bytes(c.settings, size) + largest_var);
    EXPECT_NEAR(measured, formula, 0.1 * formula) << "measured " << measured << " bytes";
  }
}

}  // namespace
}  // namespace tramel::analysis
