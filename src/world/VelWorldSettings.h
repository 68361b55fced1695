#pragma once
// Fills a world from the saver's settings the way the frame step does once
// the generator is seeded: world type and colour choice (drawn when the
// settings ask for a random one), then the scaled speed and size.
#include <cstdint>

#include "world/VelButterflySystem.h"

struct VelWorldSettings {
  int32_t quantity;
  int8_t particleType;   // 3 or 4: a random world type 0..2
  int8_t particleColor;  // 5: a random choice 0..5
  int8_t glow;
  float particleSize;    // scaled by 0.03
  float particleSpeed;   // scaled by 1e-8
  int32_t screen_width;
  int32_t screen_height;
};

// The settings the stored preferences always deliver for size, speed and type.
VelWorldSettings defaultVelWorldSettings(int32_t quantity, int8_t particleColor, int8_t glow,
                                         int32_t screen_width, int32_t screen_height);

// Draws from the shared generator; returns initializeVelWorld's result.
int32_t initializeVelWorldFromSettings(VelWorld* world, const VelWorldSettings& settings);
