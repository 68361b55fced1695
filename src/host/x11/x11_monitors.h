#pragma once
// The monitors of an X screen, as XRandR describes them (XRRGetMonitors), in
// root-window coordinates. A server without XRandR is one monitor: the screen.
#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

namespace moonwisp {

struct MonitorRect {
  uint32_t id = 0;  // non-zero, unique on the screen
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool primary = false;
};

// The active monitors of the screen whose root window is given. False when the
// server answers no list.
bool queryMonitors(Display* display, Window root, std::vector<MonitorRect>* monitors);

// The main monitor: the primary one, or the first when none is primary.
// 0 when the list is empty.
uint32_t mainMonitorId(const std::vector<MonitorRect>& monitors);

// Whether the rectangle and the monitor share at least one pixel.
bool rectTouchesMonitor(double x, double y, double width, double height, const MonitorRect& monitor);

}  // namespace moonwisp
