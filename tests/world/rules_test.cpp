#include <gtest/gtest.h>

#include <cmath>

#include "support/LiteralNeighborScan.h"
#include "support/WorldFixtures.h"

namespace {

struct Rules {
  Vector3Float cohesion, alignment, separation, obstacle;
  int32_t cohesion_count, alignment_count, separation_count, obstacle_count;
};

Rules rulesOf(const VelWorld* w, int32_t i) {
  Rules r{};
  r.cohesion = compute_neighbor_average_postions(w, i, &r.cohesion_count);
  r.alignment = compute_neighbor_average_direction(w, i, &r.alignment_count);
  r.separation = compute_neighbor_avoidance(w, i, &r.separation_count);
  r.obstacle = compute_obstacle_avoidance(w, i, &r.obstacle_count);
  return r;
}

TEST(FlockRules, LoneButterflyFindsNobody) {
  TestWorld t(2);
  t.place(0, {0.5f, 0.5f, 0.5f});
  t.place(1, {0.9f, 0.9f, 0.9f});
  const Rules r = rulesOf(&t.world, 0);
  EXPECT_EQ(r.cohesion_count, 0);
  EXPECT_EQ(r.alignment_count, 0);
  EXPECT_EQ(r.separation_count, 0);
  EXPECT_TRUE(sameBits(r.cohesion, Vector3FloatZero()));
  EXPECT_TRUE(sameBits(r.alignment, Vector3FloatZero()));
  EXPECT_TRUE(sameBits(r.separation, Vector3FloatConstruct(-0.0f, -0.0f, -0.0f)));
}

TEST(FlockRules, DistanceThresholdsAreStrict) {
  TestWorld t(2);
  t.place(0, {0.5f, 0.5f, 0.5f});
  t.place(1, {0.5f, 0.5f, 0.74f});
  Rules r = rulesOf(&t.world, 0);
  EXPECT_EQ(r.cohesion_count, 1);
  EXPECT_EQ(r.alignment_count, 1);
  EXPECT_EQ(r.separation_count, 0);

  t.place(1, {0.5f, 0.5f, 0.55f});
  r = rulesOf(&t.world, 0);
  EXPECT_EQ(r.separation_count, 1);
  EXPECT_TRUE(sameBits(r.separation, Vector3FloatConstruct(-0.0f, -0.0f, -1.0f)));
  r = rulesOf(&t.world, 1);
  EXPECT_TRUE(sameBits(r.separation, Vector3FloatConstruct(-0.0f, -0.0f, 1.0f)));

  t.place(1, {0.75f, 0.5f, 0.5f});  // squared distance exactly 0.0625
  EXPECT_EQ(rulesOf(&t.world, 0).cohesion_count, 0);
  t.place(1, {0.6f, 0.5f, 0.5f});  // just above 0.01 in single precision
  r = rulesOf(&t.world, 0);
  EXPECT_EQ(r.cohesion_count, 1);
  EXPECT_EQ(r.separation_count, 0);
}

TEST(FlockRules, OuterCellsHoldButterfliesOutsideTheCube) {
  TestWorld t(2);
  t.place(0, {1.2f, 0.5f, 0.5f});
  t.place(1, {1.4f, 0.5f, 0.5f});
  EXPECT_EQ(rulesOf(&t.world, 0).cohesion_count, 1);
}

TEST(FlockRules, AveragesOfPositionsAndDirections) {
  TestWorld t(4);
  t.place(0, {0.5f, 0.5f, 0.5f});
  t.place(1, {0.4f, 0.5f, 0.5f});
  t.place(2, {0.6f, 0.5f, 0.5f});
  t.place(3, {0.5f, 0.6f, 0.5f});
  Rules r = rulesOf(&t.world, 0);
  EXPECT_EQ(r.cohesion_count, 3);
  EXPECT_NEAR(r.cohesion.x, 0.5f, 1e-6f);
  EXPECT_NEAR(r.cohesion.y, 0.53333f, 1e-5f);
  EXPECT_NEAR(r.cohesion.z, 0.5f, 1e-6f);

  t.b(1).flock_direction = {1, 0, 0};
  t.b(2).flock_direction = {-1, 0, 0};
  t.place(3, {0.1f, 0.1f, 0.1f});
  r = rulesOf(&t.world, 0);
  EXPECT_EQ(r.alignment_count, 2);
  EXPECT_TRUE(sameBits(r.alignment, Vector3FloatZero()));
}

TEST(FlockRules, ObstacleRulePushesAwayFromTheViewer) {
  TestWorld t(1);
  t.place(0, {0.5f, 0.5f, -0.46f});
  Rules r = rulesOf(&t.world, 0);
  EXPECT_EQ(r.obstacle_count, 1);
  EXPECT_TRUE(sameBits(r.obstacle, Vector3FloatZ()));
  t.place(0, {0.5f, 0.5f, -0.45f});
  r = rulesOf(&t.world, 0);
  EXPECT_EQ(r.obstacle_count, 0);
  EXPECT_TRUE(sameBits(r.obstacle, Vector3FloatZero()));
  t.place(0, {0.5f, 0.5f, std::nanf("")});
  EXPECT_EQ(rulesOf(&t.world, 0).obstacle_count, 0);
}

// The window walk must give every rule's vector and count exactly as the scan
// of all bin numbers does, in every kind of world.
void expectWindowWalkMatchesScan(const VelWorld* w) {
  for (int32_t i = 0; i < w->butterfly_collection.num_butterflies; ++i) {
    int32_t n1 = -7, n2 = -7, n3 = -7;
    const Vector3Float c = literalAveragePositions(w, i, &n1);
    const Vector3Float a = literalAverageDirection(w, i, &n2);
    const Vector3Float s = literalAvoidance(w, i, &n3);
    const Rules r = rulesOf(w, i);
    ASSERT_EQ(r.cohesion_count, n1) << "butterfly " << i;
    ASSERT_EQ(r.alignment_count, n2) << "butterfly " << i;
    ASSERT_EQ(r.separation_count, n3) << "butterfly " << i;
    ASSERT_TRUE(sameBits(r.cohesion, c)) << "butterfly " << i;
    ASSERT_TRUE(sameBits(r.alignment, a)) << "butterfly " << i;
    ASSERT_TRUE(sameBits(r.separation, s)) << "butterfly " << i;
  }
}

TEST(FlockRules, WindowWalkEqualsFullScanOnRandomWorlds) {
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    const int32_t n = 20 + int32_t(seed * 37 % 400);
    TestWorld t(n, 6, 1, seed);
    const int kind = int(seed % 3);
    for (int32_t i = 0; i < n; ++i) {
      Vector3Float p;
      if (kind == 0) {  // spread beyond the unit cube
        p = {randfloat(-0.6f, 1.6f), randfloat(-0.6f, 1.6f), randfloat(-0.6f, 1.6f)};
      } else {  // a few tight clusters, some across cell borders and outside
        const float cx = float(randint(0, 4)) * 0.3f - 0.1f;
        p = {cx + randfloat(-0.08f, 0.08f), 0.5f + randfloat(-0.08f, 0.08f), cx + randfloat(-0.05f, 0.05f)};
      }
      t.place(i, p);
    }
    expectWindowWalkMatchesScan(&t.world);
    // Mixed states inside a step: advance the real world a little and compare again.
    for (int k = 0; k < 20; ++k) updateVelWorld(&t.world, 40000);
    expectWindowWalkMatchesScan(&t.world);
  }
}

TEST(FlockRules, UpdateWithWindowWalkEqualsUpdateWithFullScan) {
  TestWorld a(220, 6, 1, 77), b(220, 6, 1, 77);
  for (int step = 0; step < 1500; ++step) {
    const uint64_t dt = step % 7 == 0 ? 40000 : 16667;
    seedRandom(uint32_t(step));
    updateVelWorld(&a.world, dt);
    seedRandom(uint32_t(step));
    updateVelWorldWith(&b.world, dt, literalNeighborRules);
  }
  for (int32_t i = 0; i < 220; ++i) {
    ASSERT_TRUE(sameBits(a.b(i).position, b.b(i).position)) << i;
    ASSERT_TRUE(sameBits(a.b(i).velocity, b.b(i).velocity)) << i;
    ASSERT_EQ(a.world.flock_bins.elements[i].curr_bin, b.world.flock_bins.elements[i].curr_bin);
  }
}

// Butterflies moved without being filed again (as after a rebirth) must still
// be found where they are filed, however many there are.
TEST(FlockRules, UpdateFindsMisfiledButterfliesLikeTheFullScan) {
  for (int32_t moved : {1, 10, 64, 65, 150}) {
    TestWorld a(220, 6, 1, 5), b(220, 6, 1, 5);
    for (int step = 0; step < 50; ++step) {
      updateVelWorld(&a.world, 16667);
      updateVelWorld(&b.world, 16667);
    }
    seedRandom(uint32_t(moved));
    for (int32_t m = 0; m < moved; ++m) {
      const int32_t i = randint(0, 219);
      const Vector3Float p{randfloat(-0.5f, 1.5f), randfloat(-0.5f, 1.5f), randfloat(-0.5f, 1.5f)};
      a.b(i).position = p;
      b.b(i).position = p;
    }
    for (int step = 0; step < 3; ++step) {
      seedRandom(uint32_t(step));
      updateVelWorld(&a.world, 40000);
      seedRandom(uint32_t(step));
      updateVelWorldWith(&b.world, 40000, literalNeighborRules);
    }
    for (int32_t i = 0; i < 220; ++i) {
      ASSERT_TRUE(sameBits(a.b(i).position, b.b(i).position)) << moved << " moved, butterfly " << i;
      ASSERT_TRUE(sameBits(a.b(i).velocity, b.b(i).velocity)) << moved << " moved, butterfly " << i;
    }
  }
}

}  // namespace
