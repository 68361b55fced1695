#include "host/x11/x11_error_handler.h"

#include "platform/core/system_log.h"

namespace moonwisp {
namespace {

// The innermost live trap; X calls come from one thread.
X11ErrorTrap* activeTrap = nullptr;

}  // namespace

int handleX11Error(Display* display, XErrorEvent* event) {
  for (X11ErrorTrap* trap = activeTrap; trap; trap = trap->outer_) {
    if (trap->display_ == display && event->serial >= trap->firstSerial_) {
      if (trap->error_ == 0) trap->error_ = event->error_code;
      return 0;
    }
  }
  char text[256] = "";
  XGetErrorText(display, event->error_code, text, sizeof text);
  systemLog("X error: %s (request %d.%d, resource 0x%lx)", text, event->request_code,
            event->minor_code, static_cast<unsigned long>(event->resourceid));
  return 0;
}

void installX11ErrorHandler() {
  static const bool installed = [] {
    XSetErrorHandler(handleX11Error);
    return true;
  }();
  (void)installed;
}

X11ErrorTrap::X11ErrorTrap(Display* display)
    : display_(display), outer_(activeTrap), firstSerial_(NextRequest(display)) {
  installX11ErrorHandler();
  activeTrap = this;
}

X11ErrorTrap::~X11ErrorTrap() {
  // Errors of the trapped requests that arrive later are only logged.
  activeTrap = outer_;
}

int X11ErrorTrap::check() {
  XSync(display_, False);
  return error_;
}

}  // namespace moonwisp
