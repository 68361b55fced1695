#pragma once
// The part of a host's loop that every window system shares: one round ticks
// each view whose deadline is due, counts a frame when any view drew, ends
// the run once a window has shown the options' number of frames, prints
// --fps once a second, and tells the loop when to wake for the next deadline
// or report.
#include <cstdint>

#include "host/ScreenSaverView.h"
#include "host/fps_meter.h"
#include "host/frame_deadline.h"
#include "host/host_options.h"

namespace moonwisp {

class FrameRounds {
 public:
  explicit FrameRounds(const SaverHostOptions& options) : options_(options) {}

  // Call once, when the loop starts.
  void start(int64_t nowNs);
  // Runs the view's frame when its deadline is due at *nowNs; *nowNs is
  // then the time after the frame.
  void tick(ScreenSaverView& view, FrameDeadline& deadline, int64_t* nowNs);
  // Ends a round: true when a view drew in it. Sets *finished once the
  // window that has shown the most frames (mostShown) reaches the limit.
  bool finish(int64_t nowNs, uint64_t mostShown, bool* finished);
  // When to wake at the latest for a view's deadline: the earlier of *wakeNs
  // (below 0: none yet) and the deadline.
  static void wakeFor(const FrameDeadline& deadline, int64_t* wakeNs);
  // *wakeNs brought forward to the next --fps report, if that comes first.
  void wakeForReport(int64_t* wakeNs) const;

 private:
  SaverHostOptions options_;
  FpsMeter fps_;
  uint64_t frames_ = 0;
  bool drew_ = false;
};

}  // namespace moonwisp
