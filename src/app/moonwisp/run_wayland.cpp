#include "app/moonwisp/run_wayland.h"

#include "app/moonwisp/saver_run.h"
#include "host/wayland/wayland_display.h"
#include "host/wayland/wayland_host.h"
#include "platform/core/translation.h"

namespace moonwisp {

int runOnWayland(const CommandLine& options, int* endingSignal) {
  *endingSignal = 0;
  const WaylandDisplay display;
  if (!display.get()) {
    printError(display.error());
    return kExitNoDisplay;
  }
  WaylandHost host(display.get(), saverHostOptions(options), saverViewFactory(options));
  const bool ready = host.initialize() && (options.mode == CommandLine::Mode::FullScreen
                                               ? host.addFullScreenViews(kSaverTitle, kSaverWindowClass)
                                               : host.addWindow(options.width, options.height, kSaverTitle,
                                                                kSaverWindowClass));
  if (!ready) {
    printError(_("nothing to draw on could be made on the Wayland compositor"));
    return kExitNoDisplay;
  }
  const int status = host.run();
  *endingSignal = host.endingSignal();
  return status;
}

}  // namespace moonwisp
