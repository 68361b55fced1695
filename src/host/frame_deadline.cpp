#include "host/frame_deadline.h"

namespace moonwisp {

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
