#include "world/VelNeighborWalk.h"

#include <algorithm>
#include <limits>

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

// Squared distances, along each axis, from the butterfly to the cells of its
// window, and which cells of a row can thus hold a neighbour.
class CellReach {
 public:
  CellReach(Vector3Float own, const CellWindow& window) {
    const float p[3] = {own.x, own.y, own.z};
    for (int axis = 0; axis < 3; ++axis) {
      for (int32_t c = window.lo[axis]; c <= window.hi[axis]; ++c) gap2_[axis][c] = axisGap2(double(p[axis]), c);
    }
  }

  bool rowInReach(int32_t kx, int32_t ky) const { return gap2_[0][kx] + gap2_[1][ky] <= kReach2; }

  // Narrows [*lo, *hi] to the rows (kx, ky) within reach. The distances grow
  // away from the butterfly's own cell, so those rows are one run.
  void narrowRows(int32_t kx, int32_t* lo, int32_t* hi) const {
    while (*lo <= *hi && !rowInReach(kx, *lo)) ++*lo;
    while (*hi >= *lo && !rowInReach(kx, *hi)) --*hi;
  }

  // Those of the cells (bits kz) of row (kx, ky) that are within reach.
  uint32_t cellsInReach(int32_t kx, int32_t ky, uint32_t cells) const {
    const double left = kReach2 - (gap2_[0][kx] + gap2_[1][ky]);
    uint32_t in_reach = 0;
    while (cells) {
      const int32_t kz = __builtin_ctz(cells);
      cells &= cells - 1;
      if (gap2_[2][kz] <= left) in_reach |= 1u << kz;
    }
    return in_reach;
  }

 private:
  // Slack far beyond single-precision rounding of positions and distances.
  static constexpr double kSlack = 1e-4;
  static constexpr double kReach2 = (0.25 + kSlack) * (0.25 + kSlack);
  static constexpr double kInf = std::numeric_limits<double>::infinity();
  // Cell c spans [kLow[c], kHigh[c]], with slack; the outer cells also hold
  // everything beyond the unit cube.
  static constexpr double kLow[10] = {-kInf,        0.1 - kSlack, 0.2 - kSlack, 0.3 - kSlack, 0.4 - kSlack,
                                      0.5 - kSlack, 0.6 - kSlack, 0.7 - kSlack, 0.8 - kSlack, 0.9 - kSlack};
  static constexpr double kHigh[10] = {0.1 + kSlack, 0.2 + kSlack, 0.3 + kSlack, 0.4 + kSlack, 0.5 + kSlack,
                                       0.6 + kSlack, 0.7 + kSlack, 0.8 + kSlack, 0.9 + kSlack, kInf};

  static double axisGap2(double v, int32_t c) {
    const double gap = std::max(std::max(kLow[c] - v, v - kHigh[c]), 0.0);
    return gap * gap;
  }

  double gap2_[3][10];
};

uint32_t rangeMask(int32_t lo, int32_t hi) { return ((2u << hi) - 1u) & ~((1u << lo) - 1u); }

// Cells of row (kx, ky) that hold a misfiled element.
uint32_t misfiledCells(const VelMisfiledElements& misfiled, int32_t kx, int32_t ky) {
  uint32_t mask = 0;
  for (int32_t m = 0; m < misfiled.count; ++m) {
    if (misfiled.bin[m] / 10 == kx * 10 + ky) mask |= 1u << (misfiled.bin[m] % 10);
  }
  return mask;
}

}  // namespace

VelNeighborSums walkNeighborhood(const VelWorld* world, int32_t index, const VelNeighborWalkState* state) {
  VelNeighborSums result{Vector3FloatZero(), Vector3FloatZero(), Vector3FloatZero(), 0, 0, 0};
  Vector3Float separation_sum = Vector3FloatZero();
  if (validQuery(world, index)) {
    const VelFlockBinCollection& bins = world->flock_bins;
    const VelButterfly* butterflies = world->butterfly_collection.butterflies;
    const Vector3Float own = butterflies[index].position;
    const int32_t bin = bins.elements[index].curr_bin;
    const CellWindow wide = windowAround(bin, kWideWindow);
    const CellWindow narrow = windowAround(bin, kNarrowWindow);
    // Cells can be judged by what the state knows of them only while it
    // knows everything.
    const bool skip_cells = state && state->rows_known && !state->misfiled.overflow && bins.max_bins == 1000 &&
                            bin >= 0 && bin < 1000;
    const CellReach reach(own, wide);

    Vector3Float position_sum = Vector3FloatZero();
    Vector3Float direction_sum = Vector3FloatZero();
    int32_t count = 0;
    int32_t close_count = 0;
    // Nested ascending loops give ascending bin numbers; the narrow window's
    // cells are a subsequence of the wide window's.
    const uint32_t window_cells = rangeMask(wide.lo[2], wide.hi[2]);
    const uint32_t narrow_cells = rangeMask(narrow.lo[2], narrow.hi[2]);
    // With nothing misfiled only the rows within reach need a look.
    const bool any_misfiled = skip_cells && state->misfiled.count != 0;
    for (int32_t kx = wide.lo[0]; kx <= wide.hi[0]; ++kx) {
      int32_t ky_lo = wide.lo[1], ky_hi = wide.hi[1];
      if (skip_cells && !any_misfiled) reach.narrowRows(kx, &ky_lo, &ky_hi);
      const bool close_plane = kx >= narrow.lo[0] && kx <= narrow.hi[0];
      for (int32_t ky = ky_lo; ky <= ky_hi; ++ky) {
        uint32_t cells = window_cells;
        if (skip_cells) {
          const uint32_t occupied = state->occupied_rows[kx * 10 + ky] & window_cells;
          if (!occupied) continue;
          cells = any_misfiled ? occupied & misfiledCells(state->misfiled, kx, ky) : 0u;
          if (reach.rowInReach(kx, ky)) cells |= reach.cellsInReach(kx, ky, occupied);
        }
        const bool close_row = close_plane && ky >= narrow.lo[1] && ky <= narrow.hi[1];
        while (cells) {
          const int32_t kz = __builtin_ctz(cells);
          cells &= cells - 1;
          const int32_t k = kx * 100 + ky * 10 + kz;
          if (k >= bins.max_bins) continue;
          const bool close_cell = close_row && ((narrow_cells >> kz) & 1u);
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

namespace {

void noteMisfiled(VelMisfiledElements* misfiled, int32_t node, int32_t bin) {
  if (misfiled->count == VelMisfiledElements::kCapacity) {
    misfiled->overflow = true;
    return;
  }
  misfiled->node[misfiled->count] = node;
  misfiled->bin[misfiled->count] = bin;
  ++misfiled->count;
}

void forgetMisfiled(VelMisfiledElements* misfiled, int32_t node) {
  for (int32_t m = 0; m < misfiled->count; ++m) {
    if (misfiled->node[m] == node) {
      misfiled->node[m] = misfiled->node[misfiled->count - 1];
      misfiled->bin[m] = misfiled->bin[misfiled->count - 1];
      --misfiled->count;
      return;
    }
  }
}

bool isMisfiled(const VelWorld* world, int32_t node, int32_t* bin) {
  const VelFlockBinCollection& bins = world->flock_bins;
  *bin = bins.elements[node].curr_bin;
  return *bin >= 0 && *bin != compute_node_index(world->butterfly_collection.butterflies[node].position);
}

void markOccupancy(const VelWorld* world, VelNeighborWalkState* state, int32_t bin) {
  if (!state->rows_known || bin < 0 || bin >= 1000) return;
  const uint16_t bit = uint16_t(1u << (bin % 10));
  if (world->flock_bins.bins[bin]) {
    state->occupied_rows[bin / 10] |= bit;
  } else {
    state->occupied_rows[bin / 10] &= uint16_t(~bit);
  }
}

}  // namespace

void beginNeighborWalk(const VelWorld* world, VelNeighborWalkState* state) {
  state->misfiled.count = 0;
  state->misfiled.overflow = false;
  const VelFlockBinCollection& bins = world->flock_bins;
  state->rows_known = bins.max_bins == 1000 && bins.bins != nullptr;
  for (int32_t row = 0; row < 100; ++row) {
    uint32_t occupied = 0;
    for (int32_t kz = 0; state->rows_known && kz < 10; ++kz) {
      occupied |= uint32_t(bins.bins[row * 10 + kz] != nullptr) << kz;
    }
    state->occupied_rows[row] = uint16_t(occupied);
  }
  const int32_t n = world->butterfly_collection.butterflies ? world->butterfly_collection.num_butterflies : 0;
  for (int32_t i = 0; i < n && i < bins.max_elements; ++i) {
    int32_t bin;
    if (isMisfiled(world, i, &bin)) noteMisfiled(&state->misfiled, i, bin);
  }
}

void noteNeighborRefiled(const VelWorld* world, VelNeighborWalkState* state, int32_t node, int32_t old_bin) {
  forgetMisfiled(&state->misfiled, node);
  markOccupancy(world, state, old_bin);
  markOccupancy(world, state, world->flock_bins.elements[node].curr_bin);
}

void noteNeighborMoved(const VelWorld* world, VelNeighborWalkState* state, int32_t node) {
  int32_t bin;
  if (isMisfiled(world, node, &bin)) noteMisfiled(&state->misfiled, node, bin);
}
