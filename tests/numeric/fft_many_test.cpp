// The transform in lanes: every lane bit for bit what forward() gives for that vector alone,
// and the frame batch that loads real frames into the lanes.
#include <gtest/gtest.h>

#include <bit>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(FftLanes, EachLaneIsTheSingleTransformBitForBit) {
  // Every pass and both of its paths (ido = 1 and ido > 1), the 2 moved to the front, general
  // factors with few and with many values per block, and lengths from a real analysis.
  const int lengths[] = {1,  2,  3,  4,  5,  6,   7,   8,   12,  14,  20,   49,   96,
                         98, 99, 121, 143, 169, 360, 101, 512, 1000, 1024, 1331, 4096};
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1000.0, 1000.0);
  for (const int n : lengths) {
    SCOPED_TRACE(n);
    const FftPlan plan(n);
    const auto size = static_cast<std::size_t>(n);
    std::vector<std::vector<Complex>> single(kFftLanes);
    std::vector<double> lanes(2 * size * kFftLanes), work(lanes.size());
    for (int q = 0; q < kFftLanes; ++q) {
      single[q].resize(size);
      for (std::size_t j = 0; j < size; ++j) {
        // One lane real (as the frames are), the others complex.
        single[q][j] = {u(rng), q == 0 ? 0.0 : u(rng)};
        lanes[2 * j * kFftLanes + q] = single[q][j].real();
        lanes[(2 * j + 1) * kFftLanes + q] = single[q][j].imag();
      }
    }
    for (auto& v : single) plan.forward(v);
    plan.forward_lanes(lanes, work);
    for (int q = 0; q < kFftLanes; ++q) {
      for (std::size_t j = 0; j < size; ++j) {
        ASSERT_EQ(bits(lanes[2 * j * kFftLanes + q]), bits(single[q][j].real()))
            << "lane " << q << " entry " << j;
        ASSERT_EQ(bits(lanes[(2 * j + 1) * kFftLanes + q]), bits(single[q][j].imag()))
            << "lane " << q << " entry " << j;
      }
    }
  }
}

// Consecutive frames of a series, each sample times its weight in single precision (the
// product rounded to single before the transform), one frame per lane; the lanes past the
// frames given hold the transform of zeros, which is exactly zero.
TEST(FftLanes, FrameBatchTransformsConsecutiveWeightedFrames) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-3.0f, 3.0f);
  for (const int n : {7, 12, 96}) {
    const FftPlan plan(n);
    const auto size = static_cast<std::size_t>(n);
    std::vector<float> series(size * kFftLanes), weights(size);
    for (float& v : series) v = u(rng);
    for (float& w : weights) w = 0.5f + u(rng) / 7.0f;
    FrameBatch batch(plan);
    for (const bool weighted : {false, true}) {
      for (int count = 1; count <= kFftLanes; ++count) {
        SCOPED_TRACE(::testing::Message() << "n " << n << " weighted " << weighted << " count "
                                          << count);
        batch.transform(series.data(), count, weighted ? weights.data() : nullptr);
        for (int q = 0; q < kFftLanes; ++q) {
          std::vector<Complex> frame(size, 0.0);
          for (std::size_t j = 0; q < count && j < size; ++j) {
            const float sample = series[q * size + j];
            frame[j] = weighted ? static_cast<float>(sample * weights[j]) : sample;
          }
          plan.forward(frame);
          for (int k = 0; k < n; ++k) {
            SCOPED_TRACE(::testing::Message() << "lane " << q << " bin " << k);
            ASSERT_EQ(bits(batch.real(k, q)), bits(frame[k].real()));
            ASSERT_EQ(bits(batch.imag(k, q)), bits(frame[k].imag()));
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tramel::numeric
