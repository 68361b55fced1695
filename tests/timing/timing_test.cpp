// The frame clock's step and the scene randomizer's cycle, on a scripted counter.
#include <gtest/gtest.h>

#include "platform/core/monotonic_clock.h"
#include "timing/Scheduler.h"
#include "timing/VelRandomizer.h"

namespace {

uint64_t g_now = 0;
uint64_t scriptedCounter() { return g_now; }

TEST(SchedulerTest, StepIsTheIntervalClampedToOneAndTheCeiling) {
  moonwisp::setMicrosecondSource(scriptedCounter);
  g_now = (uint64_t(1) << 32) - 100;  // the first step carries into the high word
  Scheduler clock{};
  initScheduler(&clock, 40000);
  EXPECT_EQ(clock.delta_time, 0u);  // the set-up readings are the same microsecond
  // Pairs of elapsed time (a counter going backwards, one over 2^32 us) and step.
  const int64_t steps[][2] = {{16667, 16667}, {0, 1}, {100000, 40000}, {40000, 40000}, {40001, 40000}, {1, 1},
                              {-10, 40000}, {(int64_t(1) << 32) + 5, 40000}, {int64_t(1) << 32, 40000}};
  for (const auto& s : steps) {
    g_now += uint64_t(s[0]);
    updateScheduler(&clock);
    EXPECT_EQ(clock.delta_time, uint64_t(s[1])) << "after " << s[0] << " us";
  }
  moonwisp::setMicrosecondSource(nullptr);
}

TEST(VelRandomizer, AsksForResetFromTheCycleEndOnAndOnlyWhenEnabled) {
  for (int8_t enabled : {0, 1}) {
    VelRandomizer r{};
    initVelRandomizer(&r, 300000000, 2000000, 2000000, 2000000, enabled);
    updateVelRandomizer(&r, 299999999);
    EXPECT_FALSE(VelRandomizerNeedsReset(&r));
    updateVelRandomizer(&r, 1);
    EXPECT_EQ(VelRandomizerNeedsReset(&r), enabled == 1);
  }
}

}  // namespace
