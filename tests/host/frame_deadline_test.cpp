// The animation timer's deadlines: whole periods after the start, late ticks
// skip what they missed, no drift however long it runs.
#include "host/frame_deadline.h"

#include <gtest/gtest.h>

using moonwisp::FrameDeadline;

namespace {

constexpr int64_t kPeriod = 16666667;  // 1/60 s in nanoseconds

TEST(FrameDeadline, FiresOnWholePeriodsAndSkipsMissedTicksWithoutBurstOrDrift) {
  FrameDeadline deadline;
  deadline.start(1000, kPeriod);
  EXPECT_EQ(deadline.next(), 1000 + kPeriod);
  EXPECT_FALSE(deadline.due(1000 + kPeriod - 1));
  EXPECT_TRUE(deadline.due(1000 + kPeriod));

  // A tick on time, finishing a little later, moves on by one period.
  EXPECT_EQ(deadline.advance(1000 + kPeriod + 5000000), 0);
  EXPECT_EQ(deadline.next(), 1000 + 2 * kPeriod);

  // A tick 3.5 periods late skips the three deadlines it missed: the next one
  // is in the future, not a burst of catch-up ticks, and still on the grid.
  const int64_t late = 1000 + 2 * kPeriod + 3 * kPeriod + kPeriod / 2;
  EXPECT_EQ(deadline.advance(late), 3);
  EXPECT_EQ(deadline.next(), 1000 + 6 * kPeriod);
  EXPECT_FALSE(deadline.due(late));

  // A tick that finishes exactly on the next deadline does not fire twice.
  EXPECT_EQ(deadline.advance(1000 + 7 * kPeriod), 1);
  EXPECT_EQ(deadline.next(), 1000 + 8 * kPeriod);
}

TEST(FrameDeadline, AnHourOfTicksEndsExactlyOnTheGrid) {
  FrameDeadline deadline;
  deadline.start(0, kPeriod);
  int64_t now = 0;
  for (int tick = 0; tick < 60 * 3600; ++tick) {
    now = deadline.next() + 123456;  // every tick wakes a little late
    ASSERT_TRUE(deadline.due(now));
    ASSERT_EQ(deadline.advance(now), 0);
  }
  EXPECT_EQ(deadline.next(), (60 * 3600 + 1) * kPeriod);
}

TEST(FrameDeadline, AZeroOrNegativePeriodIsAlwaysDue) {
  FrameDeadline deadline;
  deadline.start(500, -3);
  EXPECT_EQ(deadline.period(), 0);
  EXPECT_TRUE(deadline.due(500));
  EXPECT_EQ(deadline.advance(900), 0);
  EXPECT_TRUE(deadline.due(900));
}

TEST(FrameDeadline, MonotonicClockNeverGoesBack) {
  int64_t last = moonwisp::monotonicNanoseconds();
  for (int i = 0; i < 1000; ++i) {
    const int64_t now = moonwisp::monotonicNanoseconds();
    ASSERT_GE(now, last);
    last = now;
  }
}

}  // namespace
