#include "host/x11/x11_monitors.h"

#include <X11/extensions/Xrandr.h>

#include "host/x11/x11_error_handler.h"

namespace moonwisp {
namespace {

bool hasMonitorQuery(Display* display) {
  int opcode = 0;
  int eventBase = 0;
  int errorBase = 0;
  int major = 0;
  int minor = 0;
  // Asked of the core protocol first: libXrandr keeps a record it never
  // frees for a display whose server lacks the extension.
  if (!XQueryExtension(display, "RANDR", &opcode, &eventBase, &errorBase)) return false;
  if (!XRRQueryExtension(display, &eventBase, &errorBase)) return false;
  if (!XRRQueryVersion(display, &major, &minor)) return false;
  return major > 1 || (major == 1 && minor >= 5);
}

}  // namespace

bool queryMonitors(Display* display, Window root, std::vector<MonitorRect>* monitors) {
  monitors->clear();
  if (!display) return false;
  if (!hasMonitorQuery(display)) {
    XWindowAttributes attributes{};
    X11ErrorTrap trap(display);
    if (!XGetWindowAttributes(display, root, &attributes) || trap.check() != 0) return false;
    monitors->push_back({1, 0, 0, attributes.width, attributes.height, true});
    return true;
  }
  int count = 0;
  XRRMonitorInfo* info = nullptr;
  {
    X11ErrorTrap trap(display);
    info = XRRGetMonitors(display, root, True, &count);
    if (trap.check() != 0) {
      if (info) XRRFreeMonitors(info);
      return false;
    }
  }
  if (!info) return count == 0;
  monitors->reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    MonitorRect monitor;
    // The monitor's name atom is unique on the screen; the index stands in
    // for an unnamed one.
    monitor.id = info[i].name != None ? static_cast<uint32_t>(info[i].name) : static_cast<uint32_t>(i + 1);
    monitor.x = info[i].x;
    monitor.y = info[i].y;
    monitor.width = info[i].width;
    monitor.height = info[i].height;
    monitor.primary = info[i].primary != 0;
    monitors->push_back(monitor);
  }
  XRRFreeMonitors(info);
  return true;
}

uint32_t mainMonitorId(const std::vector<MonitorRect>& monitors) {
  for (const MonitorRect& monitor : monitors)
    if (monitor.primary) return monitor.id;
  return monitors.empty() ? 0 : monitors.front().id;
}

bool rectTouchesMonitor(double x, double y, double width, double height, const MonitorRect& monitor) {
  if (!(width > 0) || !(height > 0) || monitor.width <= 0 || monitor.height <= 0) return false;
  return x < monitor.x + static_cast<double>(monitor.width) && monitor.x < x + width &&
         y < monitor.y + static_cast<double>(monitor.height) && monitor.y < y + height;
}

}  // namespace moonwisp
