// Flocking rules. Neighbours are found through the bin index: only the cells of
// a window around the butterfly's own cell are visited, in ascending bin
// number and list order, which fixes the order of the floating-point sums.
#include <limits>

#include "world/VelButterflySystem.h"
#include "world/VelNeighborWalk.h"

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

// Which cells of the wide window may hold a neighbour within the cohesion
// radius. Without a misfiled list every cell is visited.
class CellFilter {
 public:
  CellFilter() = default;
  CellFilter(Vector3Float own, const CellWindow& window, const VelMisfiledElements* misfiled)
      : active_(true), misfiled_(misfiled) {
    const float p[3] = {own.x, own.y, own.z};
    for (int axis = 0; axis < 3; ++axis) {
      for (int32_t c = window.lo[axis]; c <= window.hi[axis]; ++c) {
        gap2_[axis][c] = axisGap2(double(p[axis]), c);
      }
    }
  }

  bool mayHoldNeighbour(int32_t kx, int32_t ky, int32_t kz, int32_t k) const {
    if (!active_) return true;
    if (gap2_[0][kx] + gap2_[1][ky] + gap2_[2][kz] <= kReach2) return true;
    for (int32_t m = 0; m < misfiled_->count; ++m) {
      if (misfiled_->bin[m] == k) return true;
    }
    return false;
  }

 private:
  // Slack far beyond single-precision rounding of positions and distances.
  static constexpr double kSlack = 1e-4;
  static constexpr double kReach2 = (0.25 + kSlack) * (0.25 + kSlack);

  // Squared distance along one axis from v to cell c; the outer cells also
  // hold everything beyond the unit cube.
  static double axisGap2(double v, int32_t c) {
    const double lo = c == 0 ? -std::numeric_limits<double>::infinity() : c / 10.0 - kSlack;
    const double hi = c == 9 ? std::numeric_limits<double>::infinity() : (c + 1) / 10.0 + kSlack;
    const double gap = v < lo ? lo - v : (v > hi ? v - hi : 0.0);
    return gap * gap;
  }

  bool active_ = false;
  const VelMisfiledElements* misfiled_ = nullptr;
  double gap2_[3][10] = {};
};

VelNeighborSums walkNeighbours(const VelWorld* world, int32_t index, const VelMisfiledElements* misfiled) {
  VelNeighborSums result{Vector3FloatZero(), Vector3FloatZero(), Vector3FloatZero(), 0, 0, 0};
  Vector3Float separation_sum = Vector3FloatZero();
  if (validQuery(world, index)) {
    const VelFlockBinCollection& bins = world->flock_bins;
    const VelButterfly* butterflies = world->butterfly_collection.butterflies;
    const Vector3Float own = butterflies[index].position;
    const int32_t bin = bins.elements[index].curr_bin;
    const CellWindow wide = windowAround(bin, kWideWindow);
    const CellWindow narrow = windowAround(bin, kNarrowWindow);
    // Only a butterfly filed where it is can judge cells by its position.
    const bool filter_cells = misfiled && !misfiled->overflow && compute_node_index(own) == bin;
    const CellFilter filter = filter_cells ? CellFilter(own, wide, misfiled) : CellFilter();

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
          if (k >= bins.max_bins || !bins.bins[k]) continue;
          if (!filter.mayHoldNeighbour(kx, ky, kz, k)) continue;
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

}  // namespace

VelNeighborSums compute_neighbor_rules(const VelWorld* world, int32_t index) {
  return walkNeighbours(world, index, nullptr);
}

VelNeighborSums compute_neighbor_rules_skipping_far_cells(const VelWorld* world, int32_t index,
                                                          const VelMisfiledElements* misfiled) {
  return walkNeighbours(world, index, misfiled);
}

void findMisfiledElements(const VelWorld* world, VelMisfiledElements* misfiled) {
  misfiled->count = 0;
  misfiled->overflow = false;
  const VelFlockBinCollection& bins = world->flock_bins;
  const int32_t n = world->butterfly_collection.butterflies ? world->butterfly_collection.num_butterflies : 0;
  for (int32_t i = 0; i < n && i < bins.max_elements; ++i) {
    const int32_t bin = bins.elements[i].curr_bin;
    if (bin >= 0 && bin != compute_node_index(world->butterfly_collection.butterflies[i].position)) {
      noteMisfiledElement(misfiled, i, bin);
    }
  }
}

void forgetMisfiledElement(VelMisfiledElements* misfiled, int32_t node) {
  for (int32_t m = 0; m < misfiled->count; ++m) {
    if (misfiled->node[m] == node) {
      misfiled->node[m] = misfiled->node[misfiled->count - 1];
      misfiled->bin[m] = misfiled->bin[misfiled->count - 1];
      --misfiled->count;
      return;
    }
  }
}

void noteMisfiledElement(VelMisfiledElements* misfiled, int32_t node, int32_t bin) {
  if (misfiled->count == VelMisfiledElements::kCapacity) {
    misfiled->overflow = true;
    return;
  }
  misfiled->node[misfiled->count] = node;
  misfiled->bin[misfiled->count] = bin;
  ++misfiled->count;
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
