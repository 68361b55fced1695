// Flocking rules. Neighbours are found through the bin index (see
// VelNeighborWalk.h); the obstacle rule looks at the butterfly alone.
#include "world/VelButterflySystem.h"
#include "world/VelNeighborWalk.h"

VelNeighborSums compute_neighbor_rules(const VelWorld* world, int32_t index) {
  return walkNeighborhood(world, index, nullptr);
}

Vector3Float compute_neighbor_average_postions(const VelWorld* world, int32_t index, int32_t* count) {
  const VelNeighborSums sums = compute_neighbor_rules(world, index);
  *count = sums.cohesion_count;
  return sums.cohesion;
}

Vector3Float compute_neighbor_average_direction(const VelWorld* world, int32_t index, int32_t* count) {
  const VelNeighborSums sums = compute_neighbor_rules(world, index);
  *count = sums.alignment_count;
  return sums.alignment;
}

Vector3Float compute_neighbor_avoidance(const VelWorld* world, int32_t index, int32_t* count) {
  const VelNeighborSums sums = compute_neighbor_rules(world, index);
  *count = sums.separation_count;
  return sums.separation;
}

Vector3Float compute_obstacle_avoidance(const VelWorld* world, int32_t index, int32_t* count) {
  if (index >= 0 && index < world->butterfly_collection.num_butterflies &&
      double(world->butterfly_collection.butterflies[index].position.z) < -0.45) {
    *count = 1;
    return Vector3FloatZ();
  }
  *count = 0;
  return Vector3FloatZero();
}
