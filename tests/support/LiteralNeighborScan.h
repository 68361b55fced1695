#pragma once
// The neighbour rules written as plainly as possible: every one of the 1000
// bin numbers is decoded and tested against the window. The oracle for the
// window walk of the engine.
#include "world/VelButterflySystem.h"

Vector3Float literalAveragePositions(const VelWorld* world, int32_t index, int32_t* count);
Vector3Float literalAverageDirection(const VelWorld* world, int32_t index, int32_t* count);
Vector3Float literalAvoidance(const VelWorld* world, int32_t index, int32_t* count);
// Cohesion first; alignment and separation only when cohesion found someone,
// as the update step consults them.
VelNeighborSums literalNeighborRules(const VelWorld* world, int32_t index);
