#include "timing/Scheduler.h"

#include "timing/MonotonicClock.h"

void initScheduler(Scheduler* scheduler, uint64_t max_delta) {
  Microseconds(&scheduler->previous_time);
  Microseconds(&scheduler->current_time);
  Microseconds(&scheduler->start_time);
  UnsignedWide difference = scheduler->current_time;
  WideSubtract(&difference, &scheduler->previous_time);
  scheduler->delta_time = uint64_t(difference.lo);
  scheduler->max_delta_time = max_delta;
}

void updateScheduler(Scheduler* scheduler) {
  scheduler->previous_time = scheduler->current_time;
  Microseconds(&scheduler->current_time);
  UnsignedWide difference = scheduler->current_time;
  WideSubtract(&difference, &scheduler->previous_time);
  // 2^32 us or more, or a counter that went backwards.
  if (difference.hi != 0) {
    scheduler->delta_time = scheduler->max_delta_time;
    return;
  }
  uint64_t interval = difference.lo;
  if (interval == 0) interval = 1;  // a frame step is never zero
  scheduler->delta_time = interval > scheduler->max_delta_time ? scheduler->max_delta_time : interval;
}
