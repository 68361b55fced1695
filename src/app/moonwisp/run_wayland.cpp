#include "app/moonwisp/run_wayland.h"

#include <wayland-client.h>

#include <cstdlib>

#include "app/moonwisp/saver_run.h"
#include "host/wayland/wayland_host.h"
#include "platform/core/translation.h"

namespace moonwisp {

int runOnWayland(const CommandLine& options, int* endingSignal) {
  *endingSignal = 0;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    printError(formatTranslated(_("cannot connect to the Wayland compositor \"%s\""), name && *name ? name : "wayland-0"));
    return kExitNoDisplay;
  }
  int status = 0;
  {
    WaylandHost host(display, saverHostOptions(options), saverViewFactory(options));
    bool ready = host.initialize();
    if (ready) {
      ready = options.mode == CommandLine::Mode::FullScreen
                  ? host.addFullScreenViews(kSaverTitle, kSaverWindowClass)
                  : host.addWindow(options.width, options.height, kSaverTitle, kSaverWindowClass);
    }
    if (!ready) {
      printError(_("nothing to draw on could be made on the Wayland compositor"));
      status = kExitNoDisplay;
    } else {
      status = host.run();
      *endingSignal = host.endingSignal();
    }
  }
  wl_display_disconnect(display);
  return status;
}

}  // namespace moonwisp
