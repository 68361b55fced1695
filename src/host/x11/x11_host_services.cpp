#include "host/x11/x11_host_services.h"

#include "host/counted_surface.h"
#include "host/x11/glx_context.h"

namespace moonwisp {

X11HostServices::X11HostServices(Display* display) : display_(display) {}

std::unique_ptr<GLSurface> X11HostServices::createSurface(ViewRect /*frame*/) {
  // The surface covers the whole target window, which the host sized to the
  // view's frame.
  if (!display_ || target_ == 0) return nullptr;
  return countFramesShown(GlxSurface::createForWindow(display_, target_), framesShown_);
}

int32_t X11HostServices::getDisplaysWithRect(ViewRect rect, uint32_t maxDisplays, uint32_t* displays,
                                             uint32_t* count) {
  if (count) *count = 0;
  if (!display_ || !queryMonitors(display_, DefaultRootWindow(display_), &monitors_)) return 1;
  uint32_t found = 0;
  for (const MonitorRect& monitor : monitors_) {
    if (found >= maxDisplays) break;
    if (!rectTouchesMonitor(rect.x, rect.y, rect.width, rect.height, monitor)) continue;
    if (displays) displays[found] = monitor.id;
    ++found;
  }
  if (count) *count = found;
  return 0;
}

uint32_t X11HostServices::mainDisplayID() {
  if (!display_ || !queryMonitors(display_, DefaultRootWindow(display_), &monitors_)) return 0;
  return mainMonitorId(monitors_);
}

}  // namespace moonwisp
