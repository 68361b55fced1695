#include "host/wayland/wayland_display.h"

#include <cstdlib>

#include "platform/core/translation.h"

namespace moonwisp {

WaylandDisplay::WaylandDisplay() : display_(wl_display_connect(nullptr)) {
  if (display_) return;
  const char* name = std::getenv("WAYLAND_DISPLAY");
  error_ = formatTranslated(_("cannot connect to the Wayland compositor \"%s\""), name && *name ? name : "wayland-0");
}

WaylandDisplay::~WaylandDisplay() {
  if (display_) wl_display_disconnect(display_);
}

}  // namespace moonwisp
