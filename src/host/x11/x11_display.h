#pragma once
// The connection to the X server that DISPLAY names, opened by a program
// before it makes the host and closed when this goes, after the host.
#include <X11/Xlib.h>

#include <string>

namespace moonwisp {

class X11Display {
 public:
  // Opens the display; when it cannot, get() is null and error() says why.
  X11Display();
  ~X11Display();
  X11Display(const X11Display&) = delete;
  X11Display& operator=(const X11Display&) = delete;

  Display* get() const { return display_; }
  const std::string& error() const { return error_; }
  // The root window of the default screen.
  Window rootWindow() const { return DefaultRootWindow(display_); }
  // Whether a window with this id exists (one round trip).
  bool windowExists(Window window) const;

 private:
  Display* display_;
  std::string error_;
};

}  // namespace moonwisp
