#include "host/frame_deadline.h"

#include <ctime>

namespace moonwisp {

int64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void FrameDeadline::start(int64_t nowNs, int64_t periodNs) {
  period_ = periodNs > 0 ? periodNs : 0;
  next_ = nowNs + period_;
}

int64_t FrameDeadline::advance(int64_t nowNs) {
  if (period_ == 0) {
    next_ = nowNs;
    return 0;
  }
  next_ += period_;
  if (next_ > nowNs) return 0;
  const int64_t skipped = (nowNs - next_) / period_ + 1;
  next_ += skipped * period_;
  return skipped;
}

}  // namespace moonwisp
