// moonwisp: the screen saver as a program.
//
//   moonwisp                      a 1280x800 window of its own (--geometry WxH)
//   moonwisp --fullscreen         a borderless window over every monitor
//   moonwisp -root                XScreenSaver's window ($XSCREENSAVER_WINDOW)
//                                 or the root window
//   moonwisp -window-id ID        an existing window
//   moonwisp --preview --window-id ID   the settings dialog's small preview
//
// --count, --colour-scheme, --glow/--no-glow, --main-display-only/--all-displays
// set the settings for one run, over the stored ones; nothing is written.
//
// Under Wayland (WAYLAND_DISPLAY set) the window and full-screen modes run on
// the compositor; --x11 / --wayland choose the window system by hand.
//
// Full screen, any key, button or pointer motion ends it, as it ends a
// screen saver; a window of its own ends with q, Escape or closing it.
//
// Exit status: 0 ended normally (a window closed, q or Escape, any input
// full screen, the X server or the compositor gone), 1 no display, 2 bad
// arguments or a window that does not exist. SIGTERM, SIGINT and SIGHUP end it cleanly, and then by that
// same signal, as its parent expects of a process killed by it.
#include <X11/Xlib.h>
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/moonwisp/command_line.h"
#include "app/moonwisp/run_wayland.h"
#include "host/x11/x11_error_handler.h"
#include "host/x11/x11_host.h"
#include "saver/MoonwispView.h"
#include "platform/ui/toolkit.h"
#include "platform/core/bundle.h"
#include "platform/core/translation.h"

namespace {

constexpr int kExitNoDisplay = 1;
constexpr int kExitUsage = 2;

int usageError(const std::string& message) {
  std::fprintf(stderr, "moonwisp: %s\n", moonwisp::formatTranslated(_("%s (see moonwisp --help)"), message).c_str());
  return kExitUsage;
}


bool windowExists(Display* display, Window window) {
  moonwisp::X11ErrorTrap trap(display);
  XWindowAttributes attributes{};
  const Status ok = XGetWindowAttributes(display, window, &attributes);
  return trap.check() == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  moonwisp::useTranslations(moonwisp::Bundle::main());
  const std::vector<std::string> arguments(argv, argv + argc);
  moonwisp::CommandLine options;
  std::string error;
  if (!moonwisp::parseCommandLine(arguments, &options, &error)) return usageError(error);
  if (!options.message.empty()) {
    std::fputs(options.message.c_str(), stdout);
    return 0;
  }

  unsigned long target = options.windowId;
  if (options.mode == moonwisp::CommandLine::Mode::Root) {
    // XScreenSaver names its window in the environment; "-root" alone means
    // the root window itself.
    const char* named = std::getenv("XSCREENSAVER_WINDOW");
    if (named && *named && !moonwisp::parseWindowId(named, &target))
      return usageError(moonwisp::formatTranslated(_("XSCREENSAVER_WINDOW is not a window id: \"%s\""), named));
  }

  // The GL driver allocates and frees large blocks at every draw; by default
  // the C library hands the freed top of the heap back to the kernel each
  // time and takes it again with fresh page faults, which costs more than
  // the frame itself. Keep up to 16 MiB of free heap instead.
  mallopt(M_TRIM_THRESHOLD, 16 << 20);

  // A closed pipe (a lost X connection) must end the process through the X
  // connection-loss handler, not kill it.
  std::signal(SIGPIPE, SIG_IGN);

  if (moonwisp::chooseBackend(options, std::getenv("WAYLAND_DISPLAY")) == moonwisp::CommandLine::Backend::Wayland) {
    int endingSignal = 0;
    const int status = moonwisp::runOnWayland(options, &endingSignal);
    if (endingSignal != 0) moonwisp::endBySignal(endingSignal);
    return status;
  }

  // The preview view builds the settings controller, which needs the
  // toolkit; it must be up before the view, and before the host installs
  // its X error handlers so that those stay in place.
  // The preview process shows no toolkit window of its own, so it has no use
  // for the accessibility bus.
  if (options.preview) setenv("NO_AT_BRIDGE", "1", 0);
  if (options.preview && !moonwisp::ui::initializeToolkit())
    std::fprintf(stderr, "moonwisp: %s\n", _("the user-interface toolkit could not start; the preview has no settings sheet"));

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    if (name && *name)
      std::fprintf(stderr, "moonwisp: %s\n", moonwisp::formatTranslated(_("cannot open the X display \"%s\""), name).c_str());
    else
      std::fprintf(stderr, "moonwisp: %s\n", _("no X display (DISPLAY is not set)"));
    return kExitNoDisplay;
  }

  const bool foreign = options.mode == moonwisp::CommandLine::Mode::Root ||
                       options.mode == moonwisp::CommandLine::Mode::WindowId;
  if (options.mode == moonwisp::CommandLine::Mode::Root && target == 0) target = DefaultRootWindow(display);
  if (foreign && !windowExists(display, target)) {
    XCloseDisplay(display);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", target);
    return usageError(moonwisp::formatTranslated(_("there is no window %s"), id));
  }

  int status = 0;
  int endingSignal = 0;
  {
    moonwisp::SaverHostOptions hostOptions;
    hostOptions.preview = options.preview;
    hostOptions.printFps = options.fps;
    hostOptions.maxFrames = options.frames;
    hostOptions.intervalUs = options.intervalUs;
    const auto makeView = [&options](moonwisp::ViewRect frame, bool isPreview,
                                     moonwisp::SaverHostServices& services)
        -> std::unique_ptr<moonwisp::ScreenSaverView> {
      return std::make_unique<moonwisp::MoonwispView>(frame, isPreview, services, options.settings);
    };
    moonwisp::X11Host host(display, hostOptions, makeView);

    bool ready = false;
    switch (options.mode) {
      case moonwisp::CommandLine::Mode::Window:
        ready = host.addOwnWindow(0, 0, options.width, options.height, false, "Moonwisp");
        break;
      case moonwisp::CommandLine::Mode::FullScreen:
        ready = host.addFullScreenWindows("Moonwisp");
        break;
      case moonwisp::CommandLine::Mode::Root:
      case moonwisp::CommandLine::Mode::WindowId:
        ready = host.addForeignWindow(target);
        break;
    }
    if (!ready) {
      std::fprintf(stderr, "moonwisp: %s\n", _("no window to draw into could be made"));
      status = kExitNoDisplay;
    } else {
      status = host.run();
      endingSignal = host.endingSignal();
    }
  }
  XCloseDisplay(display);
  if (endingSignal != 0) moonwisp::endBySignal(endingSignal);
  return status;
}
