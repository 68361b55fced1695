// The vector operations' rounding, which the world's bit-exact results rest
// on, the random helpers' empty ranges, and the frame clock's step and the
// scene randomizer's cycle on a scripted counter.
#include <gtest/gtest.h>

#include <cmath>

#include "timing/MonotonicClock.h"
#include "support/WorldFixtures.h"
#include "timing/Scheduler.h"
#include "timing/VelRandomizer.h"

namespace {

// x*x rounds to 1 + 2^-11 in single precision; a fused multiply-add would keep
// the 2^-24 that rounding drops, and the sum would not cancel to zero.
TEST(Vector3Float, ProductsAreRoundedBeforeTheyAreAdded) {
  const float x = 1.0f + std::ldexp(1.0f, -12);
  const float y = 1.0f + std::ldexp(1.0f, -11);
  EXPECT_EQ(Vector3FloatDot({x, -1.0f, 0.0f}, {x, y, 0.0f}), 0.0f);
  EXPECT_EQ(Vector3FloatDot({-1.0f, 0.0f, x}, {y, 0.0f, x}), 0.0f);
  // (x.x + y.y) is rounded first, so each 1 is lost against 2^24 in turn.
  EXPECT_EQ(Vector3FloatLength2({16777216.0f / 4096.0f, 1.0f, 1.0f}), 16777216.0f);
}

TEST(Vector3Float, NormalizeDividesAndLimitShortensOnlyWhatIsStrictlyLonger) {
  EXPECT_TRUE(sameBits(Vector3FloatNormalize(Vector3FloatZero()), Vector3FloatZero()));
  // Three divisions, not a multiplication by the reciprocal: 1/3 then *2 differs.
  EXPECT_TRUE(sameBits(Vector3FloatNormalize({2.0f, 2.0f, 1.0f}), {2.0f / 3.0f, 2.0f / 3.0f, 1.0f / 3.0f}));
  EXPECT_TRUE(sameBits(Vector3FloatLimit({3.0f, 4.0f, 0.0f}, 5.0f), {3.0f, 4.0f, 0.0f}));
  // Longer by the last bit only: 5.0000005^2 is above 25 and is cut.
  const Vector3Float barely{0.0f, 0.0f, std::nextafter(5.0f, 6.0f)};
  EXPECT_TRUE(sameBits(Vector3FloatLimit(barely, 5.0f), {0.0f, 0.0f, 5.0f}));
}

TEST(Random, EmptyRangesReturnTheLowerEndWithoutDrawing) {
  seedRandom(99);
  const int32_t first = randint(0, 1000);
  seedRandom(99);
  EXPECT_TRUE(randint(5, 5) == 5 && randint(7, 3) == 7 && randfloat(1.0f, 1.0f) == 1.0f);
  EXPECT_EQ(randdouble(2.0, 1.0), 2.0);
  EXPECT_EQ(randint(0, 1000), first);
}

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
