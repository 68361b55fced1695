#include "timing/VelRandomizer.h"

void initVelRandomizer(VelRandomizer* randomizer, uint64_t cycle_time, uint64_t fade_in_time,
                       uint64_t fade_out_time, uint64_t blackout_time, int8_t enabled) {
  randomizer->cycle_time = cycle_time;
  randomizer->elapsed_time = 0;
  randomizer->fade_in_time = fade_in_time;
  randomizer->fade_out_time = fade_out_time;
  randomizer->blackout_time = blackout_time;
  randomizer->enabled = enabled;
}

void updateVelRandomizer(VelRandomizer* randomizer, uint64_t step) {
  if (randomizer->enabled) randomizer->elapsed_time += step;
}

bool VelRandomizerNeedsReset(const VelRandomizer* randomizer) {
  return randomizer->enabled && randomizer->elapsed_time >= randomizer->cycle_time;
}

void resetVelRandomizer(VelRandomizer* randomizer) { randomizer->elapsed_time = 0; }

// The frame driver keeps the randomizer disabled, so there is never an
// overlay to draw; no OpenGL call is made in either state.
void drawVelRandomizer(const VelRandomizer*) {}
