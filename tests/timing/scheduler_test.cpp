#include <gtest/gtest.h>

#include "platform/core/monotonic_clock.h"
#include "timing/Scheduler.h"

namespace {

uint64_t g_now = 0;
uint64_t fakeCounter() { return g_now; }

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_now = 5'000'000;
    moonwisp::setMicrosecondSource(fakeCounter);
    initScheduler(&clock, 40000);
  }
  void TearDown() override { moonwisp::setMicrosecondSource(nullptr); }
  uint64_t stepAfter(uint64_t elapsed) {
    g_now += elapsed;
    updateScheduler(&clock);
    return clock.delta_time;
  }
  Scheduler clock{};
};

TEST_F(SchedulerTest, SetUpTakesThreeReadingsAndTheCeiling) {
  EXPECT_EQ(clock.start_time.lo, 5'000'000u);
  EXPECT_EQ(clock.start_time.hi, 0u);
  EXPECT_EQ(clock.delta_time, 0u);  // the two set-up readings are the same microsecond
  EXPECT_EQ(clock.max_delta_time, 40000u);
}

TEST_F(SchedulerTest, StepIsTheIntervalClampedToOneAndTheCeiling) {
  EXPECT_EQ(stepAfter(16667), 16667u);  // measured from the set-up readings
  EXPECT_EQ(stepAfter(0), 1u);
  EXPECT_EQ(stepAfter(100'000), 40000u);
  EXPECT_EQ(stepAfter(40000), 40000u);
  EXPECT_EQ(stepAfter(40001), 40000u);
  EXPECT_EQ(stepAfter(1), 1u);
  EXPECT_EQ(clock.start_time.lo, 5'000'000u);
}

TEST_F(SchedulerTest, BackwardsOrHugeIntervalsGiveTheCeiling) {
  g_now -= 10;
  updateScheduler(&clock);
  EXPECT_EQ(clock.delta_time, 40000u);
  // 2^32 + 5 us: the low word alone would say 5.
  EXPECT_EQ(stepAfter((uint64_t(1) << 32) + 5), 40000u);
  EXPECT_EQ(stepAfter(uint64_t(1) << 32), 40000u);
  EXPECT_EQ(stepAfter(16667), 16667u);
}

TEST_F(SchedulerTest, CounterCarriesAcrossTheWordBoundary) {
  g_now = (uint64_t(1) << 32) - 100;
  updateScheduler(&clock);
  EXPECT_EQ(stepAfter(16667), 16667u);
  EXPECT_EQ(clock.current_time.hi, 1u);
}

TEST(WideSubtract, NegativeResultHasHighWord) {
  UnsignedWide a{5, 0};
  const UnsignedWide b{7, 0};
  WideSubtract(&a, &b);
  EXPECT_EQ(a.lo, 0xFFFFFFFEu);
  EXPECT_EQ(a.hi, 0xFFFFFFFFu);
  UnsignedWide c{3, 1};
  const UnsignedWide d{0xFFFFFFFF, 0};
  EXPECT_EQ(WideSubtract(&c, &d), &c);
  EXPECT_EQ(c.lo, 4u);
  EXPECT_EQ(c.hi, 0u);
}

TEST(MonotonicClock, RealCounterNeverGoesBackwards) {
  UnsignedWide a, b;
  Microseconds(&a);
  Microseconds(&b);
  WideSubtract(&b, &a);
  EXPECT_EQ(b.hi, 0u);
}

}  // namespace
