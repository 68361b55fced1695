// Building, releasing and advancing the whole world: failed allocations,
// fading and rebirth, the colour cycle's edges, and the invariants of a long
// run. The values of ordinary runs are compared bit for bit with an
// independent model by SimTool.MatchesIndependentModelBitForBit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "support/WorldFixtures.h"
#include "world/VelAllocator.h"

namespace {

TEST(WorldSetUp, ReleasedWorldIsEmptyAndBuildsAgainAsNew) {
  TestWorld fresh(50, 6, 1, 5), reused(50, 6, 1, 5);
  freeVelWorld(&reused.world);
  freeVelWorld(&reused.world);  // releasing twice is harmless
  EXPECT_EQ(reused.world.butterfly_collection.num_butterflies, 0);
  seedRandom(5);
  ASSERT_EQ(initializeVelWorld(&reused.world, 50, 50, 0, 640, 480, 6, 1, 1.0e-7f, 0.12f), 0);
  for (int32_t i = 0; i < 50; ++i) {
    const VelButterfly &x = fresh.b(i), &y = reused.b(i);
    EXPECT_TRUE(sameBits(x.position, y.position) && sameBits(x.velocity, y.velocity) && x.fade == y.fade);
  }
}

// Allocation failure injected at each allocation of a set-up in turn; the
// sanitizer build's LeakSanitizer sees anything left unreleased.
int g_allocations_left = 0;
void* failingAllocate(std::size_t size) { return g_allocations_left-- > 0 ? std::malloc(size) : nullptr; }

TEST(WorldSetUp, FailedAllocationGivesAnEmptyUsableWorld) {
  for (int succeed = 0; succeed < 3; ++succeed) {
    g_allocations_left = succeed;
    setVelAllocator(failingAllocate, nullptr);
    VelWorld w{};
    EXPECT_EQ(initializeVelWorld(&w, 100, 100, 0, 800, 600, 6, 1, 1.0e-7f, 0.12f), 1) << succeed;
    setVelAllocator(nullptr, nullptr);
    EXPECT_TRUE(w.butterfly_collection.num_butterflies == 0 && w.butterfly_collection.butterflies == nullptr);
    addNodeToBin(&w.flock_bins, 3, 5);  // a half-built index is never filed into
    removeNodeFromCurrBin(&w.flock_bins, 3);
    for (int k = 0; k < 10; ++k) updateVelWorld(&w, 40000);
    freeVelWorld(&w);
  }
}

TEST(WorldUpdate, FadeBouncesAndRebirthHappensOnlyWhenInvisible) {
  TestWorld t(1);
  VelButterfly& b = t.b(0);
  t.place(0, {t.world.max_x, t.world.min_y, t.world.max_z});  // the bound counts as inside
  b.velocity = Vector3FloatZero();
  b.fade = 0.0f;
  b.fade_rate = -1e-7f;
  updateVelWorld(&t.world, 100);
  EXPECT_EQ(b.position.x, t.world.max_x);
  t.place(0, {5.0f, 0.5f, 0.7f});  // far outside the box
  b.fade = 0.15f;
  b.fade_rate = -1.0e-5f;
  updateVelWorld(&t.world, 10000);  // still visible: not reborn
  EXPECT_EQ(b.position.x, 5.0f);
  EXPECT_NEAR(b.fade, 0.05f, 1e-6f);
  updateVelWorld(&t.world, 10000);  // fade falls below 0: reborn invisible
  EXPECT_TRUE(b.position.x >= t.world.min_x && b.position.x <= t.world.max_x) << b.position.x;
  EXPECT_EQ(b.fade, 0.0f);
  b.fade = 0.99f;
  b.fade_rate = 1.0e-5f;
  updateVelWorld(&t.world, 10000);
  EXPECT_EQ(b.fade, 1.0f);
  EXPECT_LT(b.fade_rate, 0.0f);
}

TEST(WorldUpdate, ColourCycleHoldsBlendsAndSwitchesOnlyAfterItsEnd) {
  TestWorld t(-5, 6, 1);  // a negative count builds an empty world
  VelWorld& w = t.world;
  ASSERT_EQ(w.butterfly_collection.butterflies, nullptr);
  const int8_t from = w.color_scheme, to = w.next_color_scheme;
  w.color_cycle_elapsed = 25000000 - 100;
  updateVelWorld(&w, 100);  // exactly the start of the blend: still holding
  EXPECT_TRUE(sameBits(w.color_from, color1_glow(from)));
  updateVelWorld(&w, 5000000);  // elapsed == cycle time: t = 1, no switch
  EXPECT_EQ(w.color_scheme, from);
  EXPECT_TRUE(sameBits(w.color_from, Vector3FloatAdd(color1_glow(from), Vector3FloatSub(color1_glow(to),
                                                                                       color1_glow(from)))));
  updateVelWorld(&w, 1);  // beyond: switch
  EXPECT_EQ(w.color_scheme, to);
  EXPECT_EQ(w.color_cycle_elapsed, 0u);
  EXPECT_TRUE(sameBits(w.color_to, color2_glow(to)));
}

// Every element sits in exactly one list, the one its curr_bin names: each
// filed one names its list, none is filed twice (a list cannot hold one element
// twice without a cycle, which the count stops), and all are filed.
void expectIndexConsistent(const VelFlockBinCollection& fb) {
  int32_t filed = 0;
  for (int32_t b = 0; b < fb.max_bins; ++b) {
    for (auto* e = fb.bins[b]; e && filed <= fb.max_elements; e = e->next, ++filed) {
      ASSERT_TRUE(e->curr_bin == b && e == &fb.elements[e->node]) << "bin " << b;
    }
  }
  ASSERT_EQ(filed, fb.max_elements);
}

// A long run with random frame times; butterfly 7, inactive, is never touched.
TEST(WorldUpdate, LongRunKeepsEveryInvariant) {
  TestWorld t(220, 6, 1, 2024);
  VelWorld& w = t.world;
  std::vector<Vector3Float> before(220);
  t.b(7).active = 0;
  const VelButterfly inactive = t.b(7);
  const int32_t inactive_bin = w.flock_bins.elements[7].curr_bin;
  seedRandom(99);
  for (int step = 0; step < 100000; ++step) {
    for (int32_t i = 0; i < 220; ++i) before[size_t(i)] = t.b(i).velocity;
    updateVelWorld(&w, uint64_t(randint(1, 40000)));
    ASSERT_NE(w.color_scheme, w.next_color_scheme);
    for (int32_t i = 0; i < 220; ++i) {
      const VelButterfly& b = t.b(i);
      ASSERT_TRUE(b.fade >= 0.0f && b.fade <= 1.0f) << b.fade;
      ASSERT_TRUE(b.flap_angle >= 0.0f && b.flap_angle < 360.0f) << b.flap_angle;
      // The velocity changes only through the limit, which never lengthens it
      // beyond max_speed (an unsteered velocity is kept as it was).
      if (!sameBits(b.velocity, before[size_t(i)])) {
        ASSERT_LE(std::sqrt(double(Vector3FloatLength2(b.velocity))), double(b.max_speed) * (1 + 1e-6));
      }
    }
    if (step % 97 == 0) expectIndexConsistent(w.flock_bins);
  }
  expectIndexConsistent(w.flock_bins);
  EXPECT_EQ(std::memcmp(&inactive, &t.b(7), sizeof inactive), 0);
  EXPECT_EQ(w.flock_bins.elements[7].curr_bin, inactive_bin);
}

}  // namespace
