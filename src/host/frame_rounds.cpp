#include "host/frame_rounds.h"

namespace moonwisp {

void FrameRounds::start(int64_t nowNs) {
  if (options_.printFps) fps_.start(nowNs, frames_);
}

void FrameRounds::tick(ScreenSaverView& view, FrameDeadline& deadline, int64_t* nowNs) {
  if (!deadline.due(*nowNs)) return;
  view.animateOneFrame();
  *nowNs = monotonicNanoseconds();
  deadline.advance(*nowNs);
  drew_ = true;
}

bool FrameRounds::finish(int64_t nowNs, uint64_t mostShown, bool* finished) {
  const bool drew = drew_;
  drew_ = false;
  if (drew) ++frames_;
  if (options_.maxFrames != 0 && mostShown >= options_.maxFrames) *finished = true;
  if (options_.printFps) fps_.reportIfDue(nowNs, frames_);
  return drew;
}

void FrameRounds::wakeFor(const FrameDeadline& deadline, int64_t* wakeNs) {
  if (*wakeNs < 0 || deadline.next() < *wakeNs) *wakeNs = deadline.next();
}

void FrameRounds::wakeForReport(int64_t* wakeNs) const {
  if (options_.printFps && (*wakeNs < 0 || fps_.nextReport() < *wakeNs)) *wakeNs = fps_.nextReport();
}

}  // namespace moonwisp
