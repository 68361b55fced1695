#include "world/VelButterflySystem.h"

#include "math/Debug.h"
#include "math/Random.h"
#include "world/VelAllocator.h"

namespace {

struct SchemeColors {
  Vector3Float color1;
  Vector3Float color2;
  Vector3Float color1_glow;
  Vector3Float color2_glow;
};

// Rows 0..4 are green, blue, yellow, violet, red; the last row serves every
// other scheme number.
constexpr SchemeColors kSchemes[6] = {
    {{0.45f, 1.0f, 0.25f}, {0.75f, 1.0f, 0.3f}, {0.32f, 0.7f, 0.18f}, {0.53f, 0.7f, 0.21f}},
    {{0.4f, 0.9f, 1.0f}, {0.15f, 0.45f, 1.0f}, {0.34f, 0.77f, 0.85f}, {0.13f, 0.38f, 0.85f}},
    {{1.0f, 0.8f, 0.35f}, {1.0f, 0.99f, 0.35f}, {0.7f, 0.56f, 0.25f}, {0.7f, 0.69f, 0.25f}},
    {{0.5f, 0.35f, 1.0f}, {0.85f, 0.35f, 1.0f}, {0.5f, 0.35f, 1.0f}, {0.85f, 0.35f, 1.0f}},
    {{1.0f, 0.23f, 0.23f}, {1.0f, 0.35f, 0.35f}, {1.0f, 0.28f, 0.28f}, {1.0f, 0.42f, 0.42f}},
    {{0.4f, 0.9f, 1.0f}, {0.15f, 0.45f, 1.0f}, {0.4f, 0.9f, 1.0f}, {0.15f, 0.45f, 1.0f}},
};

const SchemeColors& schemeRow(int8_t scheme) {
  const uint8_t row = uint8_t(scheme);  // negative numbers take the last row too
  return kSchemes[row <= 4 ? row : 5];
}

}  // namespace

Vector3Float color1(int8_t scheme) { return schemeRow(scheme).color1; }
Vector3Float color2(int8_t scheme) { return schemeRow(scheme).color2; }
Vector3Float color1_glow(int8_t scheme) { return schemeRow(scheme).color1_glow; }
Vector3Float color2_glow(int8_t scheme) { return schemeRow(scheme).color2_glow; }

Vector3Float randomSpawnPosition(float min_x, float max_x, float min_y, float max_y, float min_z, float max_z) {
  const double z = randdouble(min_z, max_z);
  const double y = randdouble(min_y, max_y);
  const double x = randdouble(min_x, max_x);
  return Vector3FloatConstruct(float(x), float(y), float(z));
}

// Mostly horizontal: the vertical part is drawn from a narrow range.
Vector3Float randomSpawnDirection() {
  const double dz = randdouble(-1.0, 1.0);
  const double dy = randdouble(-0.15, 0.15);
  const double dx = randdouble(-1.0, 1.0);
  return Vector3FloatNormalize(Vector3FloatConstruct(float(dx), float(dy), float(dz)));
}

int32_t initializeVelButterfly(VelButterfly* butterfly, int32_t index, float min_x, float max_x,
                               float min_y, float max_y, float min_z, float max_z, float fade_rate,
                               float speed, VelFlockBinCollection* bins) {
  butterfly->color_mix = randfloat(0.0f, 1.0f);
  butterfly->fade = randfloat(0.0f, 1.0f);
  butterfly->fade_rate = fade_rate;

  butterfly->position = randomSpawnPosition(min_x, max_x, min_y, max_y, min_z, max_z);
  butterfly->direction = randomSpawnDirection();
  butterfly->flock_direction = butterfly->direction;

  butterfly->max_speed = randfloat(speed * 0.95f, speed * 1.05f);
  butterfly->max_force = float(double(butterfly->max_speed) * 0.01);
  butterfly->velocity = Vector3FloatLimit(butterfly->direction, butterfly->max_speed);

  addNodeToBin(bins, index, compute_node_index(butterfly->position));
  butterfly->active = 1;

  butterfly->flap_angle = randfloat(0.0f, 360.0f);
  butterfly->flap_rate = randfloat(3.0e-5f, 5.0e-5f);

  const Vector3Float heading = butterfly->direction;
  butterfly->facing = Vector3FloatNormalize(Vector3FloatConstruct(heading.x, 0.0f, heading.z));
  return 0;
}

int32_t initializeVelButterflyCollection(VelButterflyCollection* collection, int32_t num_butterflies,
                                         int32_t max_num_butterflies, float min_x, float max_x,
                                         float min_y, float max_y, float min_z, float max_z,
                                         float speed, VelFlockBinCollection* bins) {
  collection->num_butterflies = 0;
  collection->max_num_butterflies = max_num_butterflies;
  collection->butterflies = nullptr;
  if (num_butterflies <= 0) return 0;  // an empty flock needs no storage

  auto* butterflies =
      static_cast<VelButterfly*>(velAllocate(sizeof(VelButterfly) * std::size_t(num_butterflies)));
  if (!butterflies) return 1;
  collection->butterflies = butterflies;
  collection->num_butterflies = num_butterflies;

  for (int32_t i = 0; i < num_butterflies; ++i) {
    const float fade_rate = randfloat(1.0e-7f, 4.0e-7f);
    const int32_t result = initializeVelButterfly(&butterflies[i], i, min_x, max_x, min_y, max_y,
                                                  min_z, max_z, fade_rate, speed, bins);
    if (result != 0) return result;
  }
  return 0;
}

int32_t initializeVelWorld(VelWorld* world, int32_t num_butterflies, int32_t max_num_butterflies,
                           int8_t color_type, int32_t screen_width, int32_t screen_height,
                           int8_t color_choice, int8_t glow, float speed, float butterfly_size) {
  world->glow = uint8_t(glow);
  world->color_type = color_type;
  world->speed = speed;

  const float s = butterfly_size;
  world->min_y = float(double(-2.0f * s) - 0.1);
  world->min_x = world->min_y;
  world->max_y = float(double(3.0f * s) + 1.1);
  world->max_x = float(double(2.0f * s) + 1.1);
  world->max_z = 1.0f;
  world->min_z = 0.47f;

  world->butterfly_size = s;
  world->screen_width = screen_width;
  world->screen_height = screen_height;

  const bool random_scheme = color_choice == 5 || color_choice == 6 || color_choice == 7;
  world->color_scheme = random_scheme ? int8_t(randint(0, 4)) : color_choice;
  const int32_t r = randint(0, 4);
  world->next_color_scheme = r == world->color_scheme ? int8_t((world->color_scheme + 1) % 5) : int8_t(r);

  if (world->glow) {
    world->color_from = color1_glow(world->color_scheme);
    world->color_to = color2_glow(world->color_scheme);
  } else {
    world->color_from = color1(world->color_scheme);
    world->color_to = color2(world->color_scheme);
  }

  world->color_cycle_elapsed = 0;
  world->color_fade_time = 5000000;
  world->color_cycle_time = color_choice == 7 ? 5000000 : 30000000;
  world->color_cycling = (color_choice == 6 || color_choice == 7) ? 1 : 0;

  VelButterflyCollection* collection = &world->butterfly_collection;
  if (num_butterflies <= 0) {
    // Nothing to index and nothing to allocate.
    initializeVelFlockBinCollection(&world->flock_bins, 0, 0);
    return initializeVelButterflyCollection(collection, num_butterflies, max_num_butterflies,
                                            world->min_x, world->max_x, world->min_y, world->max_y,
                                            world->min_z, world->max_z, speed, &world->flock_bins);
  }

  int32_t result = initializeVelFlockBinCollection(&world->flock_bins, 1000, num_butterflies);
  if (result != 0) {
    debug_print(3, "VelError %d\n", result);
    // Never file into an index without storage: the flock stays empty.
    collection->num_butterflies = 0;
    collection->max_num_butterflies = max_num_butterflies;
    collection->butterflies = nullptr;
    return result;
  }

  result = initializeVelButterflyCollection(collection, num_butterflies, max_num_butterflies,
                                            world->min_x, world->max_x, world->min_y, world->max_y,
                                            world->min_z, world->max_z, speed, &world->flock_bins);
  if (result != 0) debug_print(3, "VelError %d\n", result);
  return result;
}

void freeVelWorld(VelWorld* world) {
  VelButterflyCollection* collection = &world->butterfly_collection;
  if (collection->num_butterflies > 0 && collection->butterflies) velRelease(collection->butterflies);
  collection->num_butterflies = 0;
  collection->butterflies = nullptr;
  freeVelFlockBinCollection(&world->flock_bins);
}
