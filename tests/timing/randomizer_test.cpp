#include <gtest/gtest.h>

#include "timing/VelRandomizer.h"

namespace {

TEST(VelRandomizer, DisabledRecordNeverChanges) {
  VelRandomizer r{};
  initVelRandomizer(&r, 300000000, 2000000, 2000000, 2000000, 0);
  updateVelRandomizer(&r, 40000);
  EXPECT_EQ(r.elapsed_time, 0u);
  r.elapsed_time = 400000000;
  EXPECT_FALSE(VelRandomizerNeedsReset(&r));
  drawVelRandomizer(&r);
  resetVelRandomizer(&r);
  EXPECT_EQ(r.elapsed_time, 0u);
}

TEST(VelRandomizer, EnabledRecordAsksForResetAtTheCycleEnd) {
  VelRandomizer r{};
  initVelRandomizer(&r, 300000000, 2000000, 2000000, 2000000, 1);
  EXPECT_EQ(r.fade_in_time, 2000000u);
  EXPECT_EQ(r.blackout_time, 2000000u);
  updateVelRandomizer(&r, 299999999);
  EXPECT_FALSE(VelRandomizerNeedsReset(&r));
  updateVelRandomizer(&r, 1);
  EXPECT_TRUE(VelRandomizerNeedsReset(&r));
  resetVelRandomizer(&r);
  EXPECT_FALSE(VelRandomizerNeedsReset(&r));
}

}  // namespace
