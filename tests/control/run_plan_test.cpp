// The rounding behind the frame length, the pass band and the taper count of a run.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "control/control.hpp"

namespace tramel::control {
namespace {

TEST(RoundWhole, HalvesAwayFromZeroAndOutOfRange) {
  constexpr std::int32_t kOut = std::numeric_limits<std::int32_t>::min();
  const struct {
    double x;
    std::int32_t whole;
  } cases[] = {
      {2.5, 3},
      {-2.5, -3},
      {1.4999, 1},
      {0.49999999999, 1},  // rounded to single precision first: 0.5
      {2147483520.0, 2147483520},
      {2147483648.0, kOut},
      {-2147483648.0, kOut},
      {1e300, kOut},
      {std::numeric_limits<double>::quiet_NaN(), kOut},
      {-std::numeric_limits<double>::infinity(), kOut},
  };
  for (const auto& c : cases) EXPECT_EQ(round_whole(c.x), c.whole) << c.x;
}

}  // namespace
}  // namespace tramel::control
