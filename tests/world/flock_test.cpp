// The flock's bin index and neighbour rules. The window walk of the engine is
// checked against the literal scan of all 1000 bins, rule by rule and through
// whole update steps; a few hand-placed scenes pin the thresholds.
#include <gtest/gtest.h>

#include <cmath>

#include "support/LiteralNeighborScan.h"
#include "support/WorldFixtures.h"

namespace {

TEST(FlockBins, NodeIndexClampsToTheOuterCells) {
  const struct {
    Vector3Float p;
    int32_t bin;
  } cases[] = {{{0, 0, 0}, 0},      {{1, 1, 1}, 999},          {{0.05f, 0.55f, 0.95f}, 59},
               {{-3, 0.5f, 7}, 59}, {{0.1f, 0.2f, 0.3f}, 123}, {{0.0999999f, 0.999999f, -0.0f}, 90}};
  for (const auto& c : cases) EXPECT_EQ(compute_node_index(c.p), c.bin) << c.p.x << " " << c.p.y;
}

TEST(FlockRules, DistanceAndObstacleThresholdsAreStrict) {
  const struct {
    Vector3Float other;
    int32_t near, close;  // within cohesion and alignment reach, within separation reach
  } cases[] = {{{0.9f, 0.9f, 0.9f}, 0, 0}, {{0.5f, 0.5f, 0.74f}, 1, 0}, {{0.5f, 0.5f, 0.55f}, 1, 1},
               {{0.75f, 0.5f, 0.5f}, 0, 0},  // squared distance exactly 0.0625
               {{0.6f, 0.5f, 0.5f}, 1, 0},   // just above 0.01 in single precision
               {{1.4f, 0.5f, 0.5f}, 0, 0}, {{0.5f, 0.5f, 0.5f}, 1, 1}};
  for (const auto& c : cases) {
    TestWorld t(2);
    t.place(0, {0.5f, 0.5f, 0.5f});
    t.place(1, c.other);
    const VelNeighborSums r = compute_neighbor_rules(&t.world, 0);
    EXPECT_EQ(std::vector<int32_t>({r.cohesion_count, r.alignment_count, r.separation_count}),
              std::vector<int32_t>({c.near, c.near, c.close})) << c.other.x << " " << c.other.z;
  }
  for (const float z : {-0.46f, -0.45f, -0.42f, std::nanf("")}) {  // only the first is near enough the viewer
    TestWorld t(1);
    t.place(0, {0.5f, 0.5f, z});
    int32_t count = -1;
    const Vector3Float push = compute_obstacle_avoidance(&t.world, 0, &count);
    EXPECT_EQ(count, z == -0.46f ? 1 : 0) << "z " << z;
    EXPECT_TRUE(sameBits(push, count ? Vector3FloatZ() : Vector3FloatZero())) << "z " << z;
  }
}

// Every rule's vector and count exactly as the scan of all bin numbers gives them.
void expectWindowWalkMatchesScan(const VelWorld* w) {
  for (int32_t i = 0; i < w->butterfly_collection.num_butterflies; ++i) {
    VelNeighborSums s{};
    s.cohesion = literalAveragePositions(w, i, &s.cohesion_count);
    s.alignment = literalAverageDirection(w, i, &s.alignment_count);
    s.separation = literalAvoidance(w, i, &s.separation_count);
    const VelNeighborSums r = compute_neighbor_rules(w, i);
    ASSERT_EQ(std::vector<int32_t>({r.cohesion_count, r.alignment_count, r.separation_count}),
              std::vector<int32_t>({s.cohesion_count, s.alignment_count, s.separation_count})) << i;
    ASSERT_TRUE(sameBits(r.cohesion, s.cohesion) && sameBits(r.alignment, s.alignment) &&
                sameBits(r.separation, s.separation)) << "butterfly " << i;
  }
}

TEST(FlockRules, WindowWalkEqualsFullScanOnRandomWorlds) {
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    const int32_t n = 20 + int32_t(seed * 37 % 400);
    TestWorld t(n, 6, 1, seed);
    for (int32_t i = 0; i < n; ++i) {
      // Spread beyond the unit cube, or a few tight clusters across cell borders.
      const float cx = seed % 3 ? float(randint(0, 4)) * 0.3f - 0.1f : 0.5f, r = seed % 3 ? 0.08f : 1.1f;
      t.place(i, {cx + randfloat(-r, r), 0.5f + randfloat(-r, r), cx + randfloat(-r, r) * 0.6f});
    }
    expectWindowWalkMatchesScan(&t.world);
    for (int k = 0; k < 20; ++k) updateVelWorld(&t.world, 40000);
    expectWindowWalkMatchesScan(&t.world);
  }
}

// Whole update steps with the window walk and with the full scan, also after
// butterflies were moved without being filed again (as after a rebirth).
TEST(FlockRules, UpdateWithWindowWalkEqualsUpdateWithFullScan) {
  for (int32_t moved : {0, 10, 65, 150}) {
    TestWorld a(220, 6, 1, 5), b(220, 6, 1, 5);
    for (int step = 0; step < (moved ? 53 : 1503); ++step) {
      const uint64_t dt = step % 7 == 0 ? 40000 : 16667;
      for (int32_t m = 0; moved && step == 50 && m < moved; ++m) {
        const int32_t i = randint(0, 219);
        a.b(i).position = {randfloat(-0.5f, 1.5f), randfloat(-0.5f, 1.5f), randfloat(-0.5f, 1.5f)};
        b.b(i).position = a.b(i).position;
      }
      seedRandom(uint32_t(step));
      updateVelWorld(&a.world, dt);
      seedRandom(uint32_t(step));
      updateVelWorldWith(&b.world, dt, literalNeighborRules);
    }
    for (int32_t i = 0; i < 220; ++i) {
      ASSERT_TRUE(sameBits(a.b(i).position, b.b(i).position) && sameBits(a.b(i).velocity, b.b(i).velocity))
          << moved << " moved, butterfly " << i;
      ASSERT_EQ(a.world.flock_bins.elements[i].curr_bin, b.world.flock_bins.elements[i].curr_bin);
    }
  }
}

}  // namespace
