#include "app/moonwisp/run_x11.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

#include "app/moonwisp/saver_run.h"
#include "host/x11/x11_error_handler.h"
#include "host/x11/x11_host.h"
#include "platform/core/translation.h"

namespace moonwisp {
namespace {

bool windowExists(Display* display, Window window) {
  X11ErrorTrap trap(display);
  XWindowAttributes attributes{};
  const Status ok = XGetWindowAttributes(display, window, &attributes);
  return trap.check() == 0 && ok;
}

bool addWindows(X11Host& host, const CommandLine& options, Window target) {
  switch (options.mode) {
    case CommandLine::Mode::Window:
      return host.addOwnWindow(0, 0, options.width, options.height, false, kSaverTitle);
    case CommandLine::Mode::FullScreen:
      return host.addFullScreenWindows(kSaverTitle);
    case CommandLine::Mode::Root:
    case CommandLine::Mode::WindowId:
      return host.addForeignWindow(target);
  }
  return false;
}

}  // namespace

int runOnX11(const CommandLine& options, int* endingSignal) {
  *endingSignal = 0;
  unsigned long target = options.windowId;
  if (options.mode == CommandLine::Mode::Root) {
    // XScreenSaver names its window in the environment; "-root" alone means
    // the root window itself.
    const char* named = std::getenv("XSCREENSAVER_WINDOW");
    if (named && *named && !parseWindowId(named, &target))
      return usageError(formatTranslated(_("XSCREENSAVER_WINDOW is not a window id: \"%s\""), named));
  }

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    if (name && *name)
      printError(formatTranslated(_("cannot open the X display \"%s\""), name));
    else
      printError(_("no X display (DISPLAY is not set)"));
    return kExitNoDisplay;
  }

  const bool foreign = options.mode == CommandLine::Mode::Root || options.mode == CommandLine::Mode::WindowId;
  if (options.mode == CommandLine::Mode::Root && target == 0) target = DefaultRootWindow(display);
  if (foreign && !windowExists(display, target)) {
    XCloseDisplay(display);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", target);
    return usageError(formatTranslated(_("there is no window %s"), id));
  }

  int status = 0;
  {
    X11Host host(display, saverHostOptions(options), saverViewFactory(options));
    if (!addWindows(host, options, target)) {
      printError(_("no window to draw into could be made"));
      status = kExitNoDisplay;
    } else {
      status = host.run();
      *endingSignal = host.endingSignal();
    }
  }
  XCloseDisplay(display);
  return status;
}

}  // namespace moonwisp
