#pragma once
// The connection to the Wayland compositor that WAYLAND_DISPLAY names, opened
// by a program before it makes the host and closed when this goes, after the host.
#include <wayland-client.h>

#include <string>

namespace moonwisp {

class WaylandDisplay {
 public:
  // Connects; when it cannot, get() is null and error() says why.
  WaylandDisplay();
  ~WaylandDisplay();
  WaylandDisplay(const WaylandDisplay&) = delete;
  WaylandDisplay& operator=(const WaylandDisplay&) = delete;

  wl_display* get() const { return display_; }
  const std::string& error() const { return error_; }

 private:
  wl_display* display_;
  std::string error_;
};

}  // namespace moonwisp
