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
  const struct {
    int64_t elapsed;
    uint64_t step;
  } steps[] = {
      {16667, 16667}, {0, 1},     {100000, 40000},  {40000, 40000}, {40001, 40000},
      {1, 1},         {-10, 40000}, {(int64_t(1) << 32) + 5, 40000}, {int64_t(1) << 32, 40000}, {39999, 39999},
  };
  for (const auto& s : steps) {
    g_now += uint64_t(s.elapsed);
    updateScheduler(&clock);
    EXPECT_EQ(clock.delta_time, s.step) << "after " << s.elapsed << " us";
  }
  moonwisp::setMicrosecondSource(nullptr);
}

TEST(VelRandomizer, AsksForResetExactlyAtTheCycleEndAndOnlyWhenEnabled) {
  for (int8_t enabled : {0, 1}) {
    VelRandomizer r{};
    initVelRandomizer(&r, 300000000, 2000000, 2000000, 2000000, enabled);
    updateVelRandomizer(&r, 299999999);
    EXPECT_FALSE(VelRandomizerNeedsReset(&r));
    updateVelRandomizer(&r, 1);
    EXPECT_EQ(VelRandomizerNeedsReset(&r), enabled == 1);
    EXPECT_EQ(r.elapsed_time, enabled ? 300000000u : 0u);
    resetVelRandomizer(&r);
    EXPECT_FALSE(VelRandomizerNeedsReset(&r));
  }
}

}  // namespace
