// Flocking rules. Neighbours are found through the bin index: only the cells of
// a window around the butterfly's own cell are visited, in ascending bin
// number and list order, which fixes the order of the floating-point sums.
#include "world/VelButterflySystem.h"

namespace {

constexpr int32_t kWideWindow = 3;    // cohesion and alignment
constexpr int32_t kNarrowWindow = 1;  // separation
constexpr float kCohesionRadius2 = 0.0625f;
constexpr double kSeparationRadius2 = 0.01;

struct CellWindow {
  int32_t lo[3];
  int32_t hi[3];
};

// Decodes the bin a butterfly is filed in and clips the window to the grid.
CellWindow windowAround(int32_t bin, int32_t half_width) {
  const int32_t cell[3] = {bin / 100, (bin / 10) % 10, bin % 10};
  CellWindow w;
  for (int axis = 0; axis < 3; ++axis) {
    w.lo[axis] = cell[axis] - half_width > 0 ? cell[axis] - half_width : 0;
    w.hi[axis] = cell[axis] + half_width < 9 ? cell[axis] + half_width : 9;
  }
  return w;
}

bool inWindow(const CellWindow& w, int32_t kx, int32_t ky, int32_t kz) {
  return kx >= w.lo[0] && kx <= w.hi[0] && ky >= w.lo[1] && ky <= w.hi[1] && kz >= w.lo[2] &&
         kz <= w.hi[2];
}

bool validQuery(const VelWorld* world, int32_t index) {
  const VelFlockBinCollection& bins = world->flock_bins;
  return index >= 0 && index < world->butterfly_collection.num_butterflies && index < bins.max_elements &&
         bins.bins && bins.elements;
}

Vector3Float averageOf(Vector3Float sum, int32_t count) {
  if (count <= 0) return sum;
  const float n = float(count);
  return Vector3FloatConstruct(sum.x / n, sum.y / n, sum.z / n);
}

}  // namespace

VelNeighborSums compute_neighbor_rules(const VelWorld* world, int32_t index) {
  VelNeighborSums result{Vector3FloatZero(), Vector3FloatZero(), Vector3FloatZero(), 0, 0, 0};
  Vector3Float separation_sum = Vector3FloatZero();
  if (validQuery(world, index)) {
    const VelFlockBinCollection& bins = world->flock_bins;
    const VelButterfly* butterflies = world->butterfly_collection.butterflies;
    const Vector3Float own = butterflies[index].position;
    const int32_t bin = bins.elements[index].curr_bin;
    const CellWindow wide = windowAround(bin, kWideWindow);
    const CellWindow narrow = windowAround(bin, kNarrowWindow);

    Vector3Float position_sum = Vector3FloatZero();
    Vector3Float direction_sum = Vector3FloatZero();
    int32_t count = 0;
    int32_t close_count = 0;
    // Nested ascending loops give ascending bin numbers, the narrow window's
    // cells being a subsequence of the wide window's.
    for (int32_t kx = wide.lo[0]; kx <= wide.hi[0]; ++kx) {
      for (int32_t ky = wide.lo[1]; ky <= wide.hi[1]; ++ky) {
        for (int32_t kz = wide.lo[2]; kz <= wide.hi[2]; ++kz) {
          const int32_t k = kx * 100 + ky * 10 + kz;
          if (k >= bins.max_bins) continue;
          const bool close_cell = inWindow(narrow, kx, ky, kz);
          for (const VelFlockBinLinkedListElement* e = bins.bins[k]; e; e = e->next) {
            if (e->node == index) continue;
            const VelButterfly& other = butterflies[e->node];
            const float l2 = Vector3FloatLength2(Vector3FloatSub(own, other.position));
            if (l2 < kCohesionRadius2) {
              position_sum = Vector3FloatAdd(position_sum, other.position);
              direction_sum = Vector3FloatAdd(direction_sum, other.flock_direction);
              ++count;
            }
            if (close_cell && double(l2) < kSeparationRadius2) {
              separation_sum = Vector3FloatAdd(separation_sum, Vector3FloatSub(other.position, own));
              ++close_count;
            }
          }
        }
      }
    }
    result.cohesion = averageOf(position_sum, count);
    result.alignment = averageOf(direction_sum, count);
    result.cohesion_count = count;
    result.alignment_count = count;
    result.separation_count = close_count;
  }
  result.separation = Vector3FloatNeg(Vector3FloatNormalize(separation_sum));
  return result;
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
