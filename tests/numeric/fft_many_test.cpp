// The batched transform: every lane bit for bit what cfftf gives for that vector alone.
#include <gtest/gtest.h>

#include <bit>
#include <complex>
#include <random>
#include <vector>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

TEST(FftMany, EachLaneIsTheSingleTransformBitForBit) {
  // Every pass and both of its paths (ido = 1 and ido > 1), the 2 moved to the front, general
  // factors with few and with many values per block, and lengths from a real analysis.
  const int lengths[] = {1,  2,  3,  4,  5,  6,   7,   8,   12,  14,  20,   49,   96,
                         98, 99, 121, 143, 169, 360, 101, 512, 1000, 1024, 1331, 4096};
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> u(-1000.0, 1000.0);
  for (const int n : lengths) {
    SCOPED_TRACE(n);
    FftTable table;
    cffti(n, table);
    const auto size = static_cast<std::size_t>(n);
    std::vector<std::vector<std::complex<double>>> single(kFftLanes);
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
    for (auto& v : single) cfftf(n, v, table);
    cfftf_many(n, lanes, work, table);
    for (int q = 0; q < kFftLanes; ++q) {
      for (std::size_t j = 0; j < size; ++j) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(lanes[2 * j * kFftLanes + q]),
                  std::bit_cast<std::uint64_t>(single[q][j].real()))
            << "lane " << q << " entry " << j;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(lanes[(2 * j + 1) * kFftLanes + q]),
                  std::bit_cast<std::uint64_t>(single[q][j].imag()))
            << "lane " << q << " entry " << j;
      }
    }
  }
}

}  // namespace
}  // namespace tramel::numeric
