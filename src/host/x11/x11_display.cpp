#include "host/x11/x11_display.h"

#include <cstdlib>

#include "host/x11/x11_error_handler.h"
#include "platform/core/translation.h"

namespace moonwisp {

X11Display::X11Display() : display_(XOpenDisplay(nullptr)) {
  if (display_) return;
  const char* name = std::getenv("DISPLAY");
  error_ = name && *name ? formatTranslated(_("cannot open the X display \"%s\""), name)
                         : std::string(_("no X display (DISPLAY is not set)"));
}

X11Display::~X11Display() {
  if (display_) XCloseDisplay(display_);
}

bool X11Display::windowExists(Window window) const {
  X11ErrorTrap trap(display_);
  XWindowAttributes attributes{};
  const Status ok = XGetWindowAttributes(display_, window, &attributes);
  return trap.check() == 0 && ok;
}

}  // namespace moonwisp
