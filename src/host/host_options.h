#pragma once
// What every window-system back end of the host shares: how it makes a view
// for a window, and the options of a run.
#include <cstdint>
#include <functional>
#include <memory>

#include "host/SaverHostServices.h"
#include "host/ScreenSaverView.h"

namespace moonwisp {

// Makes the view for a window; the host calls it on the thread that runs it.
// A factory that returns null refuses the window: it is not asked again.
using SaverViewFactory =
    std::function<std::unique_ptr<ScreenSaverView>(ViewRect frame, bool isPreview, SaverHostServices& services)>;

// The class (X11) and app id (Wayland) of the saver's own windows. Not the
// bundle's identifier: that one names the settings panel, the application
// that the desktop file launches, and docks match windows to launchers by it.
constexpr const char* kSaverWindowClass = "org.moonwisp.Moonwisp.Saver";

struct SaverHostOptions {
  bool preview = false;       // the views are preview views
  bool printFps = false;      // frames per second and CPU use on stderr, once a second
  uint64_t maxFrames = 0;     // end once a window has shown this many frames; 0: run until asked to end
  int64_t intervalUs = -1;    // timer period in microseconds; below 0: the view's own
};

// How far (in pixels) the pointer must travel over a full-screen window to
// count as someone coming back: a jitter of a pixel or two is not.
inline constexpr double kPointerMotionSlop = 8.0;

// The timer period of a view in nanoseconds: the options' interval when set,
// else the view's own (1/60 s when it names no usable one).
int64_t viewPeriodNs(const SaverHostOptions& options, const ScreenSaverView& view);

}  // namespace moonwisp
