#include "platform/gl/x11_error_handler.h"

#include "platform/core/system_log.h"

namespace moonwisp {
namespace {

// The innermost live trap; X calls come from one thread.
X11ErrorTrap* activeTrap = nullptr;

}  // namespace

int handleX11Error(Display* display, XErrorEvent* event) {
  for (X11ErrorTrap* trap = activeTrap; trap; trap = trap->outer_) {
    if (trap->display_ == display) {
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

X11ErrorTrap::X11ErrorTrap(Display* display) : display_(display), outer_(activeTrap) {
  installX11ErrorHandler();
  // Errors of earlier requests belong to the logging handler, not to us.
  XSync(display_, False);
  activeTrap = this;
}

X11ErrorTrap::~X11ErrorTrap() {
  XSync(display_, False);
  activeTrap = outer_;
}

int X11ErrorTrap::check() {
  XSync(display_, False);
  return error_;
}

}  // namespace moonwisp
