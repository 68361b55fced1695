// moonwisp-config: the saver's settings panel, with the saver running live in
// it and its options sheet behind the Options… button; when XScreenSaver is
// installed, a button lists Moonwisp in its display modes.
//
// The panel is the application that the desktop file org.moonwisp.Moonwisp
// launches: its application id, its X11 class and its Wayland app id are that
// name, so that docks show the launcher's entry for it.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/help_texts.h"
#include "host/gtk/preview_panel.h"
#include "platform/core/bundle.h"
#include "platform/core/translation.h"
#include "platform/ui/application.h"
#include "platform/ui/alert.h"
#include "platform/ui/toolkit.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/xscreensaver_listing.h"
#include "saver/MoonwispViewWithSheet.h"

namespace {

constexpr int kExitNoDisplay = 1;
constexpr int kExitUsage = 2;

// The settings whose change restarts the preview, as one text.
std::string settingsSnapshot() {
  moonwisp::VelPrefs p{};
  moonwisp::VelPreferenceHandler().getVelPrefs(&p);
  return std::to_string(p.quantity) + " " + std::to_string(int(p.particleColor)) + " " + std::to_string(int(p.glow)) +
         " " + std::to_string(int(p.mainscreenonly));
}

std::string displayName() {
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  if (x11 && *x11) return x11;
  if (wayland && *wayland) return wayland;
  return _("(neither DISPLAY nor WAYLAND_DISPLAY is set)");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace moonwisp;
  useTranslations(Bundle::main());
  // The options come before the display, so that --help and --version work without one.
  CLI::App app{_("The settings panel of the Moonwisp screen saver: the butterflies fly in it while their "
                 "number, colours and glow are changed under Options…."),
               "moonwisp-config"};
  translateHelp(app);
  app.set_version_flag("--version", std::string("moonwisp-config ") + MOONWISP_VERSION, _("print the version and end"));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : kExitUsage;
  }

  ui::setProgramIdentity(Bundle::identifier());
  // GTK would end the process with a warning of its own; say it plainly.
  if (!ui::initializeToolkit()) {
    std::fprintf(stderr, "moonwisp-config: %s\n",
                 formatTranslated(_("cannot open display %s"), displayName()).c_str());
    return kExitNoDisplay;
  }
  std::unique_ptr<PreviewPanel> panel;
  // The options have been read: the application object gets none of them.
  char* programOnly[] = {argv[0], nullptr};
  const int status = ui::runApplication(Bundle::identifier(), 1, programOnly, [&panel] {
    panel = PreviewPanel::create(
        [](ViewRect frame, bool isPreview, SaverHostServices& services) -> std::unique_ptr<ScreenSaverView> {
          return std::make_unique<MoonwispViewWithSheet>(frame, isPreview, services);
        },
        settingsSnapshot);
    if (!panel) {
      std::fprintf(stderr, "moonwisp-config: %s\n", _("the settings panel could not be made"));
      return static_cast<ui::Window*>(nullptr);
    }
    // XScreenSaver lists only the display modes named in the user's file.
    if (xscreensaverInstalled()) {
      PreviewPanel* shown = panel.get();
      panel->addButton(_("Add to _XScreenSaver"), [shown] {
        const XScreenSaverListing listing = changeXScreenSaverListing(true);
        ui::runModalAlert({listing.message, {_("OK")}}, shown->window());
      });
    }
    return panel->window();
  });
  panel.reset();
  return status;
}
