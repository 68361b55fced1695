#pragma once
// The update step's neighbour walk. Cells of the window that lie wholly
// farther than the cohesion radius from the butterfly are skipped, which
// changes no result: whatever is filed there is too far away to count. That
// holds for every cell whose elements really lie inside it; an element whose
// position has left its cell since it was filed (a butterfly reborn in this
// step or the last one) is tracked, and its cell is never skipped.
#include <cstdint>

#include "world/VelButterflySystem.h"

struct VelMisfiledElements {
  static constexpr int32_t kCapacity = 64;
  int32_t node[kCapacity];
  int32_t bin[kCapacity];
  int32_t count;
  bool overflow;  // too many to track: skip nothing
};

// Finds every element filed in a bin that its position does not lie in.
void findMisfiledElements(const VelWorld* world, VelMisfiledElements* misfiled);
// Element node has been filed at its position.
void forgetMisfiledElement(VelMisfiledElements* misfiled, int32_t node);
// Element node's position has left the bin it is filed in.
void noteMisfiledElement(VelMisfiledElements* misfiled, int32_t node, int32_t bin);

// Same neighbours, same order of additions, same results as
// compute_neighbor_rules, given the world's misfiled elements.
VelNeighborSums compute_neighbor_rules_skipping_far_cells(const VelWorld* world, int32_t index,
                                                          const VelMisfiledElements* misfiled);
