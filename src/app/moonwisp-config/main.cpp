// moonwisp-config: the saver's settings panel, with the saver running live in
// it and its options sheet behind the Options… button; when XScreenSaver is
// installed, a button lists Moonwisp in its display modes.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/gtk/preview_panel.h"
#include "platform/core/bundle.h"
#include "platform/ui/application.h"
#include "platform/ui/toolkit.h"
#include "platform/ui/alert.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/xscreensaver_listing.h"
#include "saver/MoonwispView.h"

namespace {

// The settings whose change restarts the preview, as one text.
std::string settingsSnapshot() {
  VelPrefs p{};
  VelPreferenceHandler().getVelPrefs(&p);
  return std::to_string(p.quantity) + " " + std::to_string(int(p.particleColor)) + " " + std::to_string(int(p.glow)) +
         " " + std::to_string(int(p.mainscreenonly));
}

std::string displayName() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  if (x11 && *x11) return x11;
  if (wayland && *wayland) return wayland;
  return "(neither DISPLAY nor WAYLAND_DISPLAY is set)";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace moonwisp;
  // GTK would end the process with a warning of its own; say it plainly.
  if (!ui::initializeToolkit()) {
    std::fprintf(stderr, "moonwisp-config: cannot open display %s\n", displayName().c_str());
    return 1;
  }
  std::unique_ptr<PreviewPanel> panel;
  const int status = ui::runApplication(Bundle::identifier(), argc, argv, [&panel] {
    panel = PreviewPanel::create(
        [](ViewRect frame, bool isPreview, SaverHostServices& services) -> std::unique_ptr<ScreenSaverView> {
          return std::make_unique<MoonwispView>(frame, isPreview, services);
        },
        settingsSnapshot);
    if (!panel) {
      std::fprintf(stderr, "moonwisp-config: the settings panel could not be made\n");
      return static_cast<ui::Window*>(nullptr);
    }
    // XScreenSaver lists only the display modes named in the user's file.
    if (xscreensaverInstalled()) {
      PreviewPanel* shown = panel.get();
      panel->addButton("Add to _XScreenSaver", [shown] {
        const XScreenSaverListing listing = changeXScreenSaverListing(true);
        ui::runModalAlert({listing.message, {"OK"}}, shown->window());
      });
    }
    return panel->window();
  });
  panel.reset();
  return status;
}
