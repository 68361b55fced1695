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
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/moonwisp/command_line.h"
#include "app/moonwisp/run_wayland.h"
#include "app/moonwisp/run_x11.h"
#include "app/moonwisp/saver_run.h"
#include "host/signal_pipe.h"
#include "platform/core/bundle.h"
#include "platform/core/translation.h"

int main(int argc, char** argv) {
  using namespace moonwisp;
  useTranslations(Bundle::main());
  CommandLine options;
  std::string error;
  if (!parseCommandLine({argv, argv + argc}, &options, &error)) return usageError(error);
  if (!options.message.empty()) {
    std::fputs(options.message.c_str(), stdout);
    return 0;
  }

  // The GL driver allocates and frees large blocks at every draw; by default
  // the C library hands the freed top of the heap back to the kernel each
  // time and takes it again with fresh page faults, which costs more than
  // the frame itself. Keep up to 16 MiB of free heap instead.
  mallopt(M_TRIM_THRESHOLD, 16 << 20);
  // A closed pipe (a lost connection) must end the process through the
  // window system's connection-loss handling, not kill it.
  std::signal(SIGPIPE, SIG_IGN);

  int endingSignal = 0;
  const int status = chooseBackend(options, std::getenv("WAYLAND_DISPLAY")) == CommandLine::Backend::Wayland
                         ? runOnWayland(options, &endingSignal)
                         : runOnX11(options, &endingSignal);
  // Ended by a signal: end by it again, as the parent expects.
  if (endingSignal != 0) endBySignal(endingSignal);
  return status;
}
