#pragma once
// The walk of a butterfly's neighbourhood that yields the three neighbour
// rules at once: the window's cells in ascending bin number, each list in
// order, so that every sum is formed in the same order as by the rules one
// at a time.
//
// Given a walk state (the update step keeps one), cells that lie wholly
// farther than the cohesion radius from the butterfly are skipped, and so
// are empty ones without reading their list heads. Skipping changes no
// result: whatever is filed in such a cell is too far away to count. That
// holds for every element that really lies in its cell; an element whose
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

struct VelNeighborWalkState {
  VelMisfiledElements misfiled;
  bool rows_known;               // the index has the 10 x 10 x 10 layout
  uint16_t occupied_rows[100];   // bit kz of row kx * 10 + ky: bin has a list
};

// Takes stock of the index: misfiled elements and occupied bins.
void beginNeighborWalk(const VelWorld* world, VelNeighborWalkState* state);
// Butterfly node has just been filed at its position, coming from old_bin.
void noteNeighborRefiled(const VelWorld* world, VelNeighborWalkState* state, int32_t node, int32_t old_bin);
// Butterfly node has just been moved without being filed again.
void noteNeighborMoved(const VelWorld* world, VelNeighborWalkState* state, int32_t node);

// With state null every cell of the window is visited.
VelNeighborSums walkNeighborhood(const VelWorld* world, int32_t index, const VelNeighborWalkState* state);
