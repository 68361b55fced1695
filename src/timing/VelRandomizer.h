#pragma once
// Scene randomizer: a cycle timer the frame step consults. Held disabled by
// the frame driver, in which state it never changes and draws nothing.
#include <cstdint>

struct VelRandomizer {
  uint64_t cycle_time;
  uint64_t elapsed_time;
  uint64_t fade_in_time;
  uint64_t fade_out_time;
  uint64_t blackout_time;
  int8_t enabled;
};

void initVelRandomizer(VelRandomizer* randomizer, uint64_t cycle_time, uint64_t fade_in_time,
                       uint64_t fade_out_time, uint64_t blackout_time, int8_t enabled);
void updateVelRandomizer(VelRandomizer* randomizer, uint64_t step);
bool VelRandomizerNeedsReset(const VelRandomizer* randomizer);
void resetVelRandomizer(VelRandomizer* randomizer);
void drawVelRandomizer(const VelRandomizer* randomizer);
