#pragma once
// The butterfly world: records, set-up and release, the flock bin index, the
// flocking rules and the update step. Plain records and free functions; only
// the init functions allocate.
#include <cstdint>

#include "math/Vector3Float.h"

struct VelFlockBinLinkedListElement {
  int32_t node;      // butterfly this element stands for (its own index)
  int32_t curr_bin;  // bin it is filed in; -1 when in none
  VelFlockBinLinkedListElement* next;
};

struct VelFlockBinCollection {
  int32_t max_bins;
  int32_t max_elements;
  VelFlockBinLinkedListElement** bins;    // list head per bin; null when empty
  VelFlockBinLinkedListElement* elements;  // element i stands for butterfly i
};

struct VelButterfly {
  float color_mix;
  float fade;
  float fade_rate;
  float flap_angle;
  float flap_rate;
  Vector3Float position;
  Vector3Float direction;
  Vector3Float flock_direction;
  Vector3Float facing;
  Vector3Float velocity;
  float max_speed;
  float max_force;
  uint8_t active;
};

struct VelButterflyCollection {
  int32_t num_butterflies;
  int32_t max_num_butterflies;
  VelButterfly* butterflies;
};

struct VelWorld {
  int8_t color_type;
  float speed;
  float max_y;
  float min_y;
  float min_x;
  float max_x;
  float max_z;
  float min_z;
  float butterfly_size;
  int32_t screen_width;
  int32_t screen_height;
  Vector3Float color_from;
  Vector3Float color_to;
  int8_t color_scheme;
  int8_t next_color_scheme;
  uint64_t color_cycle_elapsed;
  uint64_t color_fade_time;
  uint64_t color_cycle_time;
  uint8_t color_cycling;
  VelButterflyCollection butterfly_collection;
  uint8_t glow;
  VelFlockBinCollection flock_bins;
};

// --- World set-up and release -------------------------------------------
int32_t initializeVelWorld(VelWorld* world, int32_t num_butterflies, int32_t max_num_butterflies,
                           int8_t color_type, int32_t screen_width, int32_t screen_height,
                           int8_t color_choice, int8_t glow, float speed, float butterfly_size);
void freeVelWorld(VelWorld* world);
int32_t initializeVelButterflyCollection(VelButterflyCollection* collection, int32_t num_butterflies,
                                         int32_t max_num_butterflies, float min_x, float max_x,
                                         float min_y, float max_y, float min_z, float max_z,
                                         float speed, VelFlockBinCollection* bins);
int32_t initializeVelButterfly(VelButterfly* butterfly, int32_t index, float min_x, float max_x,
                               float min_y, float max_y, float min_z, float max_z, float fade_rate,
                               float speed, VelFlockBinCollection* bins);

// A place in the spawn box and a unit direction, drawn from the shared
// generator in the order z, y, x (each in double, then narrowed to float).
Vector3Float randomSpawnPosition(float min_x, float max_x, float min_y, float max_y, float min_z, float max_z);
Vector3Float randomSpawnDirection();

Vector3Float color1(int8_t scheme);
Vector3Float color2(int8_t scheme);
Vector3Float color1_glow(int8_t scheme);
Vector3Float color2_glow(int8_t scheme);

// --- Flock bin index ------------------------------------------------------
int32_t initializeVelFlockBinCollection(VelFlockBinCollection* collection, int32_t max_bins,
                                        int32_t max_elements);
void freeVelFlockBinCollection(VelFlockBinCollection* collection);
int32_t compute_node_index(Vector3Float position);
void addNodeToBin(VelFlockBinCollection* collection, int32_t node, int32_t bin);
void removeNodeFromCurrBin(VelFlockBinCollection* collection, int32_t node);

// --- Flocking rules ---------------------------------------------------------
Vector3Float compute_neighbor_average_postions(const VelWorld* world, int32_t index, int32_t* count);
Vector3Float compute_neighbor_average_direction(const VelWorld* world, int32_t index, int32_t* count);
Vector3Float compute_neighbor_avoidance(const VelWorld* world, int32_t index, int32_t* count);
Vector3Float compute_obstacle_avoidance(const VelWorld* world, int32_t index, int32_t* count);

// The three neighbour rules of one butterfly from a single walk of its 7x7x7
// window: the same neighbours, visited in the same order, with the same sums
// as the three separate rules, so every result is bit-identical to theirs.
struct VelNeighborSums {
  Vector3Float cohesion;    // as compute_neighbor_average_postions
  Vector3Float alignment;   // as compute_neighbor_average_direction
  Vector3Float separation;  // as compute_neighbor_avoidance
  int32_t cohesion_count;
  int32_t alignment_count;
  int32_t separation_count;
};
VelNeighborSums compute_neighbor_rules(const VelWorld* world, int32_t index);

// --- Update step ------------------------------------------------------------
void updateVelWorld(VelWorld* world, uint64_t frame_time);
// The same step with another source of the neighbour rules (tests and
// benchmarks compare the window walk above with a full scan of every bin).
using VelNeighborRulesFunction = VelNeighborSums (*)(const VelWorld* world, int32_t index);
void updateVelWorldWith(VelWorld* world, uint64_t frame_time, VelNeighborRulesFunction rules);
