#include "app/moonwisp/run_wayland.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>

#include "host/wayland/wayland_host.h"
#include "platform/core/translation.h"
#include "saver/MoonwispView.h"

namespace moonwisp {
namespace {

constexpr int kExitNoDisplay = 1;
constexpr char kTitle[] = "Moonwisp";

}  // namespace

int runOnWayland(const CommandLine& options, int* endingSignal) {
  *endingSignal = 0;
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "moonwisp: %s\n",
                 formatTranslated(_("cannot connect to the Wayland compositor \"%s\""), name && *name ? name : "wayland-0")
                     .c_str());
    return kExitNoDisplay;
  }
  int status = 0;
  {
    WaylandHostOptions hostOptions;
    hostOptions.printFps = options.fps;
    hostOptions.maxFrames = options.frames;
    hostOptions.intervalUs = options.intervalUs;
    auto makeView = [&options](ViewRect frame, bool isPreview,
                               SaverHostServices& services) -> std::unique_ptr<ScreenSaverView> {
      return std::make_unique<MoonwispView>(frame, isPreview, services, options.settings);
    };
    WaylandHost host(display, hostOptions, makeView);
    bool ready = host.initialize();
    if (ready) {
      ready = options.mode == CommandLine::Mode::FullScreen
                  ? host.addFullScreenViews(kTitle, kSaverWindowClass)
                  : host.addWindow(options.width, options.height, kTitle, kSaverWindowClass);
    }
    if (!ready) {
      std::fprintf(stderr, "moonwisp: %s\n", _("nothing to draw on could be made on the Wayland compositor"));
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
