// The flock's bin index and neighbour rules. The window walk of the engine is
// checked against the literal scan of all 1000 bins, rule by rule, on worlds
// in every state an update leaves; a few hand-placed scenes pin the thresholds.
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
  } cases[] = {{{0.5f, 0.5f, 0.74f}, 1, 0}, {{0.5f, 0.5f, 0.55f}, 1, 1}, {{0.5f, 0.5f, 0.5f}, 1, 1},
               {{0.75f, 0.5f, 0.5f}, 0, 0},  // squared distance exactly 0.0625
               {{0.6f, 0.5f, 0.5f}, 1, 0}};  // just above 0.01 in single precision
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

// Random worlds, spread beyond the unit cube or in tight clusters across cell
// borders, checked as placed, through flocking steps, and after butterflies
// were moved without being filed again (as after a rebirth).
TEST(FlockRules, WindowWalkEqualsFullScanOnRandomWorlds) {
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    const int32_t n = 20 + int32_t(seed * 37 % 400);
    TestWorld t(n, 6, 1, seed);
    for (int32_t i = 0; i < n; ++i) {
      const float cx = seed % 3 ? float(randint(0, 4)) * 0.3f - 0.1f : 0.5f, r = seed % 3 ? 0.08f : 1.1f;
      t.place(i, {cx + randfloat(-r, r), 0.5f + randfloat(-r, r), cx + randfloat(-r, r) * 0.6f});
    }
    expectWindowWalkMatchesScan(&t.world);
    for (int k = 0; k < 40; ++k) {
      updateVelWorld(&t.world, k % 7 ? 16667 : 40000);
      if (k % 10 == 9) expectWindowWalkMatchesScan(&t.world);
    }
    const auto anywhere = [] { return randfloat(-0.5f, 1.5f); };
    for (int32_t m = 0; m < n / 4; ++m)  // moved without being filed again
      t.b(randint(0, n - 1)).position = {anywhere(), anywhere(), anywhere()};
    expectWindowWalkMatchesScan(&t.world);
  }
}

}  // namespace
