#pragma once
// The animation timer's deadlines: start + k * period on the monotonic clock.
// A tick that comes late skips the deadlines it missed instead of firing them
// in a burst, and since every deadline is a whole number of periods after the
// start, rounding never makes the timer drift.
#include <cstdint>

#include "timing/MonotonicClock.h"

namespace moonwisp {

class FrameDeadline {
 public:
  // The first deadline is one period after now. A period below 0 counts as 0
  // (a deadline that is always due).
  void start(int64_t nowNs, int64_t periodNs);
  bool due(int64_t nowNs) const { return nowNs >= next_; }
  // After a tick: the next deadline that lies after now. Returns how many
  // deadlines were skipped because the tick came too late.
  int64_t advance(int64_t nowNs);
  int64_t next() const { return next_; }
  int64_t period() const { return period_; }

 private:
  int64_t next_ = 0;
  int64_t period_ = 0;
};

}  // namespace moonwisp
