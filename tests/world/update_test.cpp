#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "support/WorldFixtures.h"

namespace {

TEST(WorldUpdate, EmptyWorldChangesOnlyItsColourCycle) {
  seedRandom(1);
  VelWorld w{};
  ASSERT_EQ(initializeVelWorld(&w, 0, 0, 0, 10, 10, 6, 0, 1e-7f, 0.12f), 0);
  updateVelWorld(&w, 40000);
  EXPECT_EQ(w.color_cycle_elapsed, 40000u);
  freeVelWorld(&w);
}

TEST(WorldUpdate, InactiveButterflyIsNotTouched) {
  TestWorld t(3);
  t.b(1).active = 0;
  VelButterfly before;
  std::memcpy(&before, &t.b(1), sizeof before);
  const int32_t bin = t.world.flock_bins.elements[1].curr_bin;
  const auto list_before = t.list(bin);
  updateVelWorld(&t.world, 16667);
  EXPECT_EQ(0, std::memcmp(&before, &t.b(1), sizeof before));
  EXPECT_EQ(t.world.flock_bins.elements[1].curr_bin, bin);
}

TEST(WorldUpdate, ButterflyWithoutNeighboursKeepsItsVelocityEvenIfTooFast) {
  TestWorld t(1);
  t.place(0, {0.5f, 0.5f, 0.5f});
  t.b(0).velocity = {3e-7f, 0.0f, 0.0f};  // three times max_speed
  updateVelWorld(&t.world, 10000);
  EXPECT_TRUE(sameBits(t.b(0).velocity, Vector3FloatConstruct(3e-7f, 0.0f, 0.0f)));
  EXPECT_EQ(t.b(0).position.x, 0.5f + 3e-7f * 10000.0f);
  EXPECT_TRUE(sameBits(t.b(0).facing, Vector3FloatX()));
}

TEST(WorldUpdate, ObstacleTermIsCutToMaxForceAndWeighted) {
  TestWorld t(1);
  t.place(0, {0.5f, 0.5f, -0.5f});
  t.b(0).velocity = Vector3FloatZero();
  updateVelWorld(&t.world, 1);
  const float f = t.b(0).max_force;
  EXPECT_TRUE(sameBits(t.b(0).velocity, Vector3FloatConstruct(0.0f, 0.0f, 5.0f * f)));
}

TEST(WorldUpdate, FadeBouncesAndRebirthHappensOnlyWhenInvisible) {
  TestWorld t(1);
  VelButterfly& b = t.b(0);
  t.place(0, {5.0f, 0.5f, 0.7f});  // far outside the box
  b.velocity = Vector3FloatZero();
  b.fade = 0.25f;
  b.fade_rate = -1.0e-5f;
  updateVelWorld(&t.world, 10000);  // fade about 0.15: still outside, not reborn
  EXPECT_EQ(b.position.x, 5.0f);
  EXPECT_NEAR(b.fade, 0.15f, 1e-6f);
  updateVelWorld(&t.world, 10000);
  EXPECT_EQ(b.position.x, 5.0f);
  updateVelWorld(&t.world, 10000);  // fade falls below 0: reborn invisible
  EXPECT_LE(b.position.x, t.world.max_x);
  EXPECT_GE(b.position.x, t.world.min_x);
  EXPECT_EQ(b.fade, 0.0f);
  EXPECT_LT(b.fade_rate, 0.0f);
  EXPECT_TRUE(sameBits(b.flock_direction, b.direction));
  EXPECT_EQ(t.world.flock_bins.elements[0].curr_bin, compute_node_index({5.0f, 0.5f, 0.7f}));
  updateVelWorld(&t.world, 10000);
  EXPECT_EQ(b.fade, 0.0f);
  EXPECT_GT(b.fade_rate, 0.0f);

  b.fade = 0.99f;
  updateVelWorld(&t.world, 10000);
  EXPECT_EQ(b.fade, 1.0f);
  EXPECT_LT(b.fade_rate, 0.0f);
}

TEST(WorldUpdate, BoundOfTheBoxCountsAsInside) {
  TestWorld t(1);
  t.b(0).velocity = Vector3FloatZero();
  t.place(0, {t.world.max_x, t.world.min_y, t.world.max_z});
  t.b(0).fade = 0.0f;
  t.b(0).fade_rate = -1e-7f;
  updateVelWorld(&t.world, 100);
  EXPECT_EQ(t.b(0).position.x, t.world.max_x);
}

TEST(WorldUpdate, ColourCycleHoldsBlendsAndSwitches) {
  TestWorld t(0, 6, 1);
  VelWorld& w = t.world;
  const int8_t from = w.color_scheme, to = w.next_color_scheme;
  w.color_cycle_elapsed = 25000000 - 100;
  updateVelWorld(&w, 100);  // exactly the start of the blend: still holding
  EXPECT_TRUE(sameBits(w.color_from, color1_glow(from)));
  updateVelWorld(&w, 5000000);  // elapsed == cycle time: t = 1, no switch
  EXPECT_EQ(w.color_scheme, from);
  EXPECT_TRUE(sameBits(w.color_from, Vector3FloatAdd(color1_glow(from),
                                                     Vector3FloatSub(color1_glow(to), color1_glow(from)))));
  updateVelWorld(&w, 1);  // beyond: switch
  EXPECT_EQ(w.color_scheme, to);
  EXPECT_EQ(w.color_cycle_elapsed, 0u);
  EXPECT_TRUE(sameBits(w.color_to, color2_glow(to)));
  EXPECT_NE(w.next_color_scheme, w.color_scheme);
}

TEST(WorldUpdate, FastCycleBlendsThroughoutAndFixedSchemeNeverAdvances) {
  TestWorld fast(0, 7, 0);
  updateVelWorld(&fast.world, 1000000);
  const int8_t s = fast.world.color_scheme, n = fast.world.next_color_scheme;
  const float t = float(uint64_t(1000000)) / float(uint64_t(5000000));
  EXPECT_TRUE(sameBits(fast.world.color_from,
                       Vector3FloatAdd(color1(s), Vector3FloatScalarMult(Vector3FloatSub(color1(n), color1(s)), t))));
  TestWorld fixed(0, 3, 0);
  updateVelWorld(&fixed.world, 40000);
  EXPECT_EQ(fixed.world.color_cycle_elapsed, 0u);
}

// Every element sits in exactly one list, the one its curr_bin names.
void expectIndexConsistent(const VelWorld& w) {
  const VelFlockBinCollection& fb = w.flock_bins;
  std::vector<int> seen(size_t(fb.max_elements), 0);
  for (int32_t b = 0; b < fb.max_bins; ++b) {
    int steps = 0;
    for (auto* e = fb.bins[b]; e; e = e->next) {
      ASSERT_LE(++steps, fb.max_elements);
      ASSERT_EQ(e->curr_bin, b);
      ASSERT_EQ(e, &fb.elements[e->node]);
      ++seen[size_t(e->node)];
    }
  }
  for (int32_t i = 0; i < fb.max_elements; ++i) ASSERT_EQ(seen[size_t(i)], 1) << "element " << i;
}

TEST(WorldUpdate, LongRunKeepsEveryInvariant) {
  TestWorld t(220, 6, 1, 2024);
  VelWorld& w = t.world;
  seedRandom(99);
  for (int step = 0; step < 100000; ++step) {
    const uint64_t dt = uint64_t(randint(1, 40000));
    std::vector<Vector3Float> before(220);
    for (int32_t i = 0; i < 220; ++i) before[size_t(i)] = t.b(i).velocity;
    updateVelWorld(&w, dt);
    ASSERT_NE(w.color_scheme, w.next_color_scheme);
    for (int32_t i = 0; i < 220; ++i) {
      const VelButterfly& b = t.b(i);
      ASSERT_GE(b.fade, 0.0f);
      ASSERT_LE(b.fade, 1.0f);
      ASSERT_GE(b.flap_angle, 0.0f);
      ASSERT_LT(b.flap_angle, 360.0f);
      // The velocity changes only through the limit, which never lengthens it
      // beyond max_speed (an unsteered velocity is kept as it was).
      if (!sameBits(b.velocity, before[size_t(i)])) {
        ASSERT_LE(std::sqrt(double(Vector3FloatLength2(b.velocity))), double(b.max_speed) * (1 + 1e-6));
      }
    }
    if (step % 97 == 0) expectIndexConsistent(w);
  }
  expectIndexConsistent(w);
}

}  // namespace
