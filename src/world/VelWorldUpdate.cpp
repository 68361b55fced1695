// One frame of the world: steer, move, re-file, fade, rebirth and wing beat of
// every butterfly in index order and in place, then the colour cycle.
#include <cmath>

#include "math/Random.h"
#include "world/VelButterflySystem.h"
#include "world/VelNeighborWalk.h"

namespace {

bool isOutsideBox(const VelWorld* world, Vector3Float p) {
  return p.y < world->min_y || p.y > world->max_y || p.x > world->max_x || p.x < world->min_x ||
         p.z > world->max_z || p.z < world->min_z;
}

void rebirth(const VelWorld* world, VelButterfly* b) {
  b->position = randomSpawnPosition(world->min_x, world->max_x, world->min_y, world->max_y, world->min_z,
                                    world->max_z);
  b->direction = randomSpawnDirection();
  b->flock_direction = b->direction;
  b->fade = 0.0f;
}

// rules(world, i) gives the neighbour sums; refiled(i, old_bin) and
// reborn(i) report changes of the filing to whoever tracks it.
template <class Rules, class Refiled, class Reborn>
void updateButterfly(VelWorld* world, int32_t i, float dt, Rules&& rules, Refiled&& refiled, Reborn&& reborn) {
  VelButterfly* b = &world->butterfly_collection.butterflies[i];
  if (!b->active) return;

  Vector3Float steer = Vector3FloatZero();
  // The three neighbour rules only read the world, so one walk of the window
  // gives what three separate calls would.
  const VelNeighborSums neighbors = rules(world, i);
  if (neighbors.cohesion_count > 0) {
    const Vector3Float toCentre = Vector3FloatSub(neighbors.cohesion, b->position);
    steer = Vector3FloatAdd(steer, Vector3FloatScalarMult(Vector3FloatLimit(toCentre, b->max_force), 1.0f));
    if (neighbors.alignment_count > 0) {
      steer = Vector3FloatAdd(
          steer, Vector3FloatScalarMult(Vector3FloatLimit(neighbors.alignment, b->max_force), 2.0f));
    }
    if (neighbors.separation_count > 0) {
      steer = Vector3FloatAdd(
          steer, Vector3FloatScalarMult(Vector3FloatLimit(neighbors.separation, b->max_force), 3.0f));
    }
  }
  int32_t count = 0;
  const Vector3Float obstacle = compute_obstacle_avoidance(world, i, &count);
  if (count > 0) {
    steer = Vector3FloatAdd(steer, Vector3FloatScalarMult(Vector3FloatLimit(obstacle, b->max_force), 5.0f));
  }

  // A steer of exactly zero leaves the velocity alone, unlimited.
  if (steer.x != 0.0f || steer.y != 0.0f || steer.z != 0.0f) {
    b->velocity = Vector3FloatLimit(Vector3FloatAdd(b->velocity, steer), b->max_speed);
  }
  b->position = Vector3FloatAdd(b->position, Vector3FloatScalarMult(b->velocity, dt));
  b->facing = Vector3FloatNormalize(Vector3FloatConstruct(b->velocity.x, 0.0f, b->velocity.z));
  const int32_t old_bin = world->flock_bins.elements[i].curr_bin;
  addNodeToBin(&world->flock_bins, i, compute_node_index(b->position));
  refiled(i, old_bin);

  b->fade = b->fade + dt * b->fade_rate;
  // Reborn only while invisible; filed at the new place by the next step.
  if (isOutsideBox(world, b->position) && b->fade <= 0.0f) {
    rebirth(world, b);
    reborn(i);
  }
  if (b->fade < 0.0f) {
    b->fade = 0.0f;
    b->fade_rate = -b->fade_rate;
  }
  if (b->fade > 1.0f) {
    b->fade = 1.0f;
    b->fade_rate = -b->fade_rate;
  }

  // Climbing butterflies beat their wings faster.
  const double ny = Vector3FloatNormalize(b->velocity).y;
  const float rate = float(double(b->flap_rate) + 0.000005 + (0.5 * ny + 0.5) * 0.000045);
  b->flap_angle = std::fmod(b->flap_angle + rate * dt, 360.0f);
}

void advanceColorCycle(VelWorld* world, uint64_t frame_time) {
  if (!world->color_cycling) return;
  Vector3Float (*const c1)(int8_t) = world->glow ? color1_glow : color1;
  Vector3Float (*const c2)(int8_t) = world->glow ? color2_glow : color2;

  world->color_cycle_elapsed += frame_time;
  if (world->color_cycle_elapsed > world->color_cycle_time) {
    world->color_cycle_elapsed = 0;
    world->color_scheme = world->next_color_scheme;
    world->color_from = c1(world->color_scheme);
    world->color_to = c2(world->color_scheme);
    world->next_color_scheme = int8_t((world->color_scheme + randint(1, 4)) % 5);
    return;
  }
  const uint64_t start = world->color_cycle_time - world->color_fade_time;
  if (world->color_cycle_elapsed <= start) return;

  const float t = float(world->color_cycle_elapsed - start) / float(world->color_fade_time);
  const int8_t from = world->color_scheme;
  const int8_t to = world->next_color_scheme;
  world->color_from =
      Vector3FloatAdd(c1(from), Vector3FloatScalarMult(Vector3FloatSub(c1(to), c1(from)), t));
  world->color_to = Vector3FloatAdd(c2(from), Vector3FloatScalarMult(Vector3FloatSub(c2(to), c2(from)), t));
}

}  // namespace

void updateVelWorld(VelWorld* world, uint64_t frame_time) {
  const float dt = float(int64_t(frame_time));
  const int32_t n = world->butterfly_collection.butterflies ? world->butterfly_collection.num_butterflies : 0;
  VelNeighborWalkState walk;
  beginNeighborWalk(world, &walk);
  for (int32_t i = 0; i < n; ++i) {
    updateButterfly(
        world, i, dt, [&walk](const VelWorld* w, int32_t index) { return walkNeighborhood(w, index, &walk); },
        [&walk, world](int32_t index, int32_t old_bin) { noteNeighborRefiled(world, &walk, index, old_bin); },
        [&walk, world](int32_t index) { noteNeighborMoved(world, &walk, index); });
  }
  advanceColorCycle(world, frame_time);
}

void updateVelWorldWith(VelWorld* world, uint64_t frame_time, VelNeighborRulesFunction rules) {
  const float dt = float(int64_t(frame_time));
  const int32_t n = world->butterfly_collection.butterflies ? world->butterfly_collection.num_butterflies : 0;
  for (int32_t i = 0; i < n; ++i) {
    updateButterfly(world, i, dt, rules, [](int32_t, int32_t) {}, [](int32_t) {});
  }
  advanceColorCycle(world, frame_time);
}
