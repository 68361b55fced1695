#pragma once
// An X11 window to draw into: either one of our own, created with the visual
// that the GL context needs, or a foreign one (XScreenSaver's window, the
// settings dialog's preview area) adopted by its id and never destroyed by us.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <string>

#include "platform/gl/gl_surface.h"

namespace moonwisp {

class X11Window {
 public:
  // Largest side X accepts for a window we create.
  static constexpr int kMaxSide = 32767;

  // A new top-level window of width x height (1..kMaxSide) with the given
  // visual, not yet mapped. Null, with the reason logged, when the size is out
  // of range or the server refuses.
  static std::unique_ptr<X11Window> create(Display* display, int width, int height,
                                           const XVisualInfo& visual, const std::string& title);
  // An existing window. Null, with the reason logged, when no such window exists.
  static std::unique_ptr<X11Window> adopt(Display* display, Window id);

  ~X11Window();
  X11Window(const X11Window&) = delete;
  X11Window& operator=(const X11Window&) = delete;

  Display* display() const { return display_; }
  Window id() const { return window_; }
  bool owned() const { return owned_; }
  VisualID visualId() const { return visualId_; }
  int screen() const { return screen_; }
  // The WM_DELETE_WINDOW atom our own windows take part in (None for foreign ones).
  Atom deleteWindowAtom() const { return deleteAtom_; }

  // Current size in pixels; 0 x 0 once the window is gone.
  SurfaceBounds size() const;
  // Maps (shows) a window of our own; foreign windows are left as they are.
  void show();

 private:
  X11Window(Display* display, Window window, bool owned, VisualID visual, int screen)
      : display_(display), window_(window), owned_(owned), visualId_(visual), screen_(screen) {}

  Display* display_;
  Window window_;
  bool owned_;
  VisualID visualId_;
  int screen_;
  Colormap colormap_ = None;
  Atom deleteAtom_ = None;
};

}  // namespace moonwisp
