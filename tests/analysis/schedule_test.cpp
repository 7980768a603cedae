// How the series of a run are shared out over threads: as many at once as there are threads
// while their work space fits beside the run's stores, fewer when it does not, and one at a
// time on one thread when even one more does not fit; never a stop that one thread would not
// meet.
#include <gtest/gtest.h>

#include <cstdint>

#include "analysis/analysis.hpp"

namespace tramel::analysis {
namespace {

Settings series_settings() {
  Settings s;
  s.lags = 2;
  s.frames_ahead = 1;
  s.frame_length = 100;
  s.first_bin = 1;
  s.last_bin = 50;
  return s;
}
constexpr RunSize kFourSeries{100000, 4};

TEST(Schedule, FewerSeriesAtOnceWhenMemoryIsShort) {
  const Settings settings = series_settings();
  const std::uint64_t run = WorkSpace::run_bytes(settings, kFourSeries);
  const std::uint64_t each = WorkSpace::series_bytes(settings, kFourSeries.samples);
  ASSERT_GT(each, 4 * kFourSeries.samples);  // at least its copy of the series
  const struct {
    std::uint64_t room;  // beyond the run's stores
    int threads;
    int at_once;
    int per_series;
    bool ahead;  // the next batch analysed while one is written
  } cases[] = {
      {100 * each, 1, 1, 1, false},  // one thread: one series at a time, in order
      {100 * each, 2, 2, 1, true},
      {100 * each, 8, 4, 2, false},  // four series, two threads each: one batch
      {100 * each, 3, 3, 1, true},
      {4 * each, 2, 2, 1, true},
      {3 * each, 2, 2, 1, false},    // room for two at once, not for two batches
      {3 * each, 8, 3, 2, false},    // room for three
      {each, 8, 1, 8, false},        // room for one: one series at a time, all threads inside it
      {each - 1, 8, 1, 1, false},    // not even that: as on one thread
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.room);
    WorkSpace space(run + c.room);
    space.take(run);
    const Schedule s = schedule_series(settings, kFourSeries, c.threads, space);
    EXPECT_EQ(s.series_at_once, c.at_once);
    EXPECT_EQ(s.per_series.count, c.per_series);
    EXPECT_EQ(s.analyse_ahead, c.ahead);
  }
}

}  // namespace
}  // namespace tramel::analysis
