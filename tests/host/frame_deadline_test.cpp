// The animation timer's deadlines stay on the grid start + k * period: a tick
// that finishes late moves on by one period (no drift), and a tick that missed
// deadlines skips them instead of firing them in a burst.
#include "host/frame_deadline.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameDeadline, StaysOnTheGridAndSkipsMissedTicks) {
  constexpr int64_t kStart = 1000;
  constexpr int64_t kPeriod = 16666667;  // 1/60 s in nanoseconds
  struct Tick {
    int64_t finished;
    int64_t skipped;
    int64_t next;
  };
  const Tick ticks[] = {
      {kStart + kPeriod + 5000000, 0, kStart + 2 * kPeriod},           // on time, 5 ms of work
      {kStart + 5 * kPeriod + kPeriod / 2, 3, kStart + 6 * kPeriod},  // 3.5 periods late
      {kStart + 7 * kPeriod, 1, kStart + 8 * kPeriod},                // ends right on a deadline
  };
  moonwisp::FrameDeadline deadline;
  deadline.start(kStart, kPeriod);
  EXPECT_FALSE(deadline.due(kStart + kPeriod - 1));
  for (const Tick& tick : ticks) {
    SCOPED_TRACE(tick.finished);
    ASSERT_TRUE(deadline.due(tick.finished));
    EXPECT_EQ(deadline.advance(tick.finished), tick.skipped);
    EXPECT_EQ(deadline.next(), tick.next);
    EXPECT_FALSE(deadline.due(tick.finished));
  }
}

}  // namespace
