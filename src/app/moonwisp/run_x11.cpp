#include "app/moonwisp/run_x11.h"

#include <cstdio>
#include <cstdlib>

#include "app/moonwisp/saver_run.h"
#include "host/x11/x11_display.h"
#include "host/x11/x11_host.h"
#include "platform/core/translation.h"

namespace moonwisp {
namespace {

bool addWindows(X11Host& host, const CommandLine& options, unsigned long target) {
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

  const X11Display display;
  if (!display.get()) {
    printError(display.error());
    return kExitNoDisplay;
  }
  const bool foreign = options.mode == CommandLine::Mode::Root || options.mode == CommandLine::Mode::WindowId;
  if (options.mode == CommandLine::Mode::Root && target == 0) target = display.rootWindow();
  if (foreign && !display.windowExists(target)) {
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", target);
    return usageError(formatTranslated(_("there is no window %s"), id));
  }

  X11Host host(display.get(), saverHostOptions(options), saverViewFactory(options));
  if (!addWindows(host, options, target)) {
    printError(_("no window to draw into could be made"));
    return kExitNoDisplay;
  }
  const int status = host.run();
  *endingSignal = host.endingSignal();
  return status;
}

}  // namespace moonwisp
