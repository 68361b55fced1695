#pragma once
// Frame clock: measures the time between frames and clamps it to 1..max.
#include <cstdint>

#include "timing/UnsignedWide.h"

struct Scheduler {
  UnsignedWide start_time;
  UnsignedWide current_time;
  UnsignedWide previous_time;
  uint64_t delta_time;
  uint64_t max_delta_time;
};

void initScheduler(Scheduler* scheduler, uint64_t max_delta);
void updateScheduler(Scheduler* scheduler);
