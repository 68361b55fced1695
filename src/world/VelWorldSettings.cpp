#include "world/VelWorldSettings.h"

#include "math/Random.h"

VelWorldSettings defaultVelWorldSettings(int32_t quantity, int8_t particleColor, int8_t glow,
                                         int32_t screen_width, int32_t screen_height) {
  return VelWorldSettings{quantity, 4, particleColor, glow, 4.0f, 10.0f, screen_width, screen_height};
}

int32_t initializeVelWorldFromSettings(VelWorld* world, const VelWorldSettings& settings) {
  int8_t world_type = settings.particleType;
  if (world_type == 3 || world_type == 4) world_type = int8_t(randint(0, 2));
  int8_t color_choice = settings.particleColor;
  if (color_choice == 5 || world_type == 6) color_choice = int8_t(randint(0, 5));
  const float speed = float(double(settings.particleSpeed) * 1e-08);
  const float size = float(double(settings.particleSize) * 0.03);
  return initializeVelWorld(world, settings.quantity, settings.quantity, world_type, settings.screen_width,
                            settings.screen_height, color_choice, settings.glow, speed, size);
}
