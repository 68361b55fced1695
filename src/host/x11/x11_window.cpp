#include "host/x11/x11_window.h"

#include "platform/core/system_log.h"
#include "host/x11/x11_error_handler.h"

namespace moonwisp {

std::unique_ptr<X11Window> X11Window::create(Display* display, int width, int height,
                                             const XVisualInfo& visual, const std::string& title) {
  if (!display) return nullptr;
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
    systemLog("Error: window size %d x %d is outside 1..%d", width, height, kMaxSide);
    return nullptr;
  }
  X11ErrorTrap trap(display);
  const Window root = RootWindow(display, visual.screen);
  const Colormap colormap = XCreateColormap(display, root, visual.visual, AllocNone);
  XSetWindowAttributes attributes{};
  attributes.colormap = colormap;
  attributes.background_pixel = BlackPixel(display, visual.screen);
  attributes.border_pixel = 0;
  attributes.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask;
  const Window window = XCreateWindow(display, root, 0, 0, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), 0, visual.depth, InputOutput,
                                      visual.visual,
                                      CWColormap | CWBackPixel | CWBorderPixel | CWEventMask,
                                      &attributes);
  if (const int error = trap.check(); error != 0 || window == None) {
    systemLog("Error: cannot create a %d x %d window (X error %d)", width, height, error);
    if (window != None) XDestroyWindow(display, window);
    XFreeColormap(display, colormap);
    return nullptr;
  }
  XStoreName(display, window, title.c_str());
  std::unique_ptr<X11Window> result(new X11Window(display, window, true, visual.visualid, visual.screen));
  result->colormap_ = colormap;
  result->deleteAtom_ = XInternAtom(display, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(display, window, &result->deleteAtom_, 1);
  return result;
}

std::unique_ptr<X11Window> X11Window::adopt(Display* display, Window id) {
  if (!display) return nullptr;
  XWindowAttributes attributes{};
  Status ok;
  {
    X11ErrorTrap trap(display);
    ok = XGetWindowAttributes(display, id, &attributes);
    if (trap.check() != 0) ok = 0;
  }
  if (!ok || !attributes.visual) {
    systemLog("Error: there is no window 0x%lx", static_cast<unsigned long>(id));
    return nullptr;
  }
  const int screen = XScreenNumberOfScreen(attributes.screen);
  return std::unique_ptr<X11Window>(
      new X11Window(display, id, false, XVisualIDFromVisual(attributes.visual), screen));
}

X11Window::~X11Window() {
  if (!owned_) return;
  X11ErrorTrap trap(display_);
  XDestroyWindow(display_, window_);
  if (colormap_ != None) XFreeColormap(display_, colormap_);
}

SurfaceBounds X11Window::size() const {
  XWindowAttributes attributes{};
  X11ErrorTrap trap(display_);
  if (!XGetWindowAttributes(display_, window_, &attributes) || trap.check() != 0) return {};
  return {static_cast<double>(attributes.width), static_cast<double>(attributes.height)};
}

void X11Window::show() {
  if (!owned_) return;
  XMapWindow(display_, window_);
  XFlush(display_);
}

}  // namespace moonwisp
