#pragma once
// Small worlds with butterflies placed by hand.
#include <cstring>

#include "math/Random.h"
#include "world/VelButterflySystem.h"

// A world of n butterflies built by the normal set-up (seeded), so every field
// is valid; positions can then be placed and re-filed with place().
struct TestWorld {
  VelWorld world{};
  explicit TestWorld(int32_t n, int8_t color_choice = 0, int8_t glow = 0, uint32_t seed = 1) {
    seedRandom(seed);
    initializeVelWorld(&world, n, n, 0, 640, 480, color_choice, glow, 1.0e-7f, 0.12f);
  }
  ~TestWorld() { freeVelWorld(&world); }
  TestWorld(const TestWorld&) = delete;
  TestWorld& operator=(const TestWorld&) = delete;

  VelButterfly& b(int32_t i) { return world.butterfly_collection.butterflies[i]; }
  void place(int32_t i, Vector3Float p) {
    b(i).position = p;
    addNodeToBin(&world.flock_bins, i, compute_node_index(p));
  }
};

inline bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
inline bool sameBits(Vector3Float a, Vector3Float b) {
  return sameBits(a.x, b.x) && sameBits(a.y, b.y) && sameBits(a.z, b.z);
}
