#include "host/x11/x11_host.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/core/system_log.h"
#include "host/x11/glx_context.h"
#include "host/x11/x11_error_handler.h"

namespace moonwisp {
namespace {

constexpr int64_t kNsPerSecond = 1000000000;

int quitOnConnectionLoss(Display*) {
  // Nothing can be drawn or released on a display that is gone; Xlib would
  // end the process after this handler anyway, so end it quietly now.
  _exit(0);
}

Cursor makeBlankCursor(Display* display, Window window) {
  static const char empty[1] = {0};
  const Pixmap bitmap = XCreateBitmapFromData(display, window, empty, 1, 1);
  if (bitmap == None) return None;
  XColor black{};
  const Cursor cursor = XCreatePixmapCursor(display, bitmap, bitmap, &black, &black, 0, 0);
  XFreePixmap(display, bitmap);
  return cursor;
}

}  // namespace

void installX11ConnectionLossHandler() { XSetIOErrorHandler(quitOnConnectionLoss); }

X11Host::X11Host(Display* display, SaverHostOptions options, SaverViewFactory factory)
    : display_(display), options_(options), factory_(std::move(factory)), services_(display), rounds_(options) {
  installX11ErrorHandler();
  installX11ConnectionLossHandler();
  if (!signals_.ok()) systemLog("Warning: signals cannot wake the host; SIGTERM ends it abruptly");
}

X11Host::~X11Host() {
  for (Slot& slot : slots_) {
    destroyView(slot);
    destroyDrawingChild(slot);
  }
  slots_.clear();
  if (blankCursor_ != None) XFreeCursor(display_, blankCursor_);
  XSync(display_, False);
}

bool X11Host::addOwnWindow(int x, int y, int width, int height, bool fullScreen,
                             const std::string& title) {
  GLXFBConfig config{};
  std::unique_ptr<X11Window> window = createGlxCapableWindow(display_, width, height, title, &config);
  if (!window) return false;

  XClassHint hint{};
  std::string windowClass = kSaverWindowClass;
  hint.res_name = windowClass.data();
  hint.res_class = windowClass.data();
  XSetClassHint(display_, window->id(), &hint);
  // Lets window managers and tools tell which process draws the window.
  const long pid = static_cast<long>(getpid());
  XChangeProperty(display_, window->id(), XInternAtom(display_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
  if (fullScreen) {
    // A screen saver's window: no frame from the window manager, placed
    // exactly on its monitor, and no pointer over the picture.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    XChangeWindowAttributes(display_, window->id(), CWOverrideRedirect, &attributes);
    if (blankCursor_ == None) blankCursor_ = makeBlankCursor(display_, window->id());
    if (blankCursor_ != None) XDefineCursor(display_, window->id(), blankCursor_);
    // Any key, button or pointer motion ends it, as it ends a screen saver.
    XSelectInput(display_, window->id(),
                 ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask | PointerMotionMask);
    if (!pointerOrigin_) {
      Window root = 0;
      Window child = 0;
      int pointerX = 0;
      int pointerY = 0;
      int windowX = 0;
      int windowY = 0;
      unsigned int buttons = 0;
      if (XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &pointerX, &pointerY, &windowX,
                        &windowY, &buttons))
        pointerOrigin_ = PointerPosition{pointerX, pointerY};
    }
  }
  XMoveWindow(display_, window->id(), x, y);
  window->show();
  if (fullScreen) XRaiseWindow(display_, window->id());

  Slot slot;
  slot.id = window->id();
  slot.drawable = slot.id;
  slot.own = std::move(window);
  slot.fullScreen = fullScreen;
  slots_.push_back(std::move(slot));
  return true;
}

bool X11Host::addFullScreenWindows(const std::string& title) {
  std::vector<MonitorRect> monitors;
  if (!queryMonitors(display_, DefaultRootWindow(display_), &monitors) || monitors.empty()) {
    // One window over the whole screen is the best we can do.
    const int screen = DefaultScreen(display_);
    monitors.assign(1, MonitorRect{1, 0, 0, DisplayWidth(display_, screen), DisplayHeight(display_, screen), true});
  }
  bool any = false;
  for (const MonitorRect& monitor : monitors)
    any = addOwnWindow(monitor.x, monitor.y, monitor.width, monitor.height, true, title) || any;
  return any;
}

bool X11Host::addForeignWindow(Window window) {
  XWindowAttributes attributes{};
  {
    X11ErrorTrap trap(display_);
    // Structure events tell us when it is resized or destroyed.
    XSelectInput(display_, window, ExposureMask | StructureNotifyMask);
    if (!XGetWindowAttributes(display_, window, &attributes) || trap.check() != 0) {
      systemLog("Error: there is no window 0x%lx", static_cast<unsigned long>(window));
      return false;
    }
  }
  Slot slot;
  slot.id = window;
  slot.drawable = window;
  slot.mapped = attributes.map_state != IsUnmapped;
  GLXFBConfig config{};
  if (!chooseGlxFBConfig(display_, XScreenNumberOfScreen(attributes.screen), XVisualIDFromVisual(attributes.visual),
                         &config)) {
    slot.drawable = makeDrawingChild(window, attributes, &slot.drawableColormap);
    if (slot.drawable == 0) {
      systemLog("Error: window 0x%lx cannot take OpenGL, nor a child window that can",
                static_cast<unsigned long>(window));
      slot.drawable = window;  // the view logs its own failure and shows nothing
    }
  }
  slots_.push_back(std::move(slot));
  return true;
}

Window X11Host::makeDrawingChild(Window parent, const XWindowAttributes& attributes, Colormap* colormap) {
  const int screen = XScreenNumberOfScreen(attributes.screen);
  GLXFBConfig config{};
  if (!chooseGlxFBConfig(display_, screen, 0, &config)) return 0;
  XVisualInfo* visual = glXGetVisualFromFBConfig(display_, config);
  if (!visual) return 0;
  X11ErrorTrap trap(display_);
  *colormap = XCreateColormap(display_, RootWindow(display_, screen), visual->visual, AllocNone);
  XSetWindowAttributes settings{};
  settings.colormap = *colormap;
  settings.background_pixel = BlackPixel(display_, screen);
  settings.border_pixel = 0;
  settings.event_mask = ExposureMask;
  const Window child = XCreateWindow(display_, parent, 0, 0, static_cast<unsigned>(std::max(1, attributes.width)),
                                     static_cast<unsigned>(std::max(1, attributes.height)), 0, visual->depth,
                                     InputOutput, visual->visual, CWColormap | CWBackPixel | CWBorderPixel | CWEventMask,
                                     &settings);
  XFree(visual);
  if (child != None) XMapWindow(display_, child);
  if (trap.check() != 0 || child == None) {
    if (child != None) XDestroyWindow(display_, child);
    XFreeColormap(display_, *colormap);
    *colormap = 0;
    return 0;
  }
  return child;
}

void X11Host::destroyDrawingChild(Slot& slot) {
  if (slot.drawable == slot.id || slot.drawable == 0) return;
  X11ErrorTrap trap(display_);  // gone already when the foreign window was destroyed
  XDestroyWindow(display_, slot.drawable);
  XFreeColormap(display_, slot.drawableColormap);
  slot.drawable = slot.id;
  slot.drawableColormap = 0;
}

X11Host::Slot* X11Host::slotOf(Window window) {
  for (Slot& slot : slots_)
    if (slot.id == window || slot.drawable == window) return &slot;
  return nullptr;
}

void X11Host::createView(Slot& slot) {
  XWindowAttributes attributes{};
  int rootX = 0;
  int rootY = 0;
  {
    X11ErrorTrap trap(display_);
    Window child = 0;
    const bool ok = XGetWindowAttributes(display_, slot.drawable, &attributes) &&
                    XTranslateCoordinates(display_, slot.drawable, attributes.root, 0, 0, &rootX, &rootY, &child);
    if (!ok || trap.check() != 0 || attributes.width < 1 || attributes.height < 1) return;
  }
  const ViewRect frame{static_cast<double>(rootX), static_cast<double>(rootY),
                       static_cast<double>(attributes.width), static_cast<double>(attributes.height)};
  services_.setTargetWindow(slot.drawable, &slot.framesShown);
  slot.view = factory_(frame, options_.preview, services_);
  services_.setTargetWindow(0);
  if (!slot.view) {
    slot.refused = true;
    return;
  }
  slot.width = frame.width;
  slot.height = frame.height;
  slot.configured = false;
  slot.view->startAnimation();
  slot.deadline.start(monotonicNanoseconds(), viewPeriodNs(options_, *slot.view));
}

void X11Host::destroyView(Slot& slot) {
  if (!slot.view) return;
  if (slot.gone) {
    // Its drawable went with the window: the view ends without drawing.
    slot.view->surfaceLost();
  }
  if (slot.view->isAnimating()) slot.view->stopAnimation();
  slot.view.reset();
}

void X11Host::handleEvent(XEvent& event) {
  Slot* slot = slotOf(event.xany.window);
  switch (event.type) {
    case MapNotify:
      if (slot && event.xmap.window == slot->id) {
        // Ticks pick up from now, not from before the window was hidden.
        if (slot->view && !slot->mapped) slot->deadline.start(monotonicNanoseconds(), viewPeriodNs(options_, *slot->view));
        slot->mapped = true;
        // Keys typed at a screen saver must not reach the hidden window that
        // has the focus; the grab also brings them to us to end the run.
        if (slot->fullScreen)
          XGrabKeyboard(display_, slot->id, False, GrabModeAsync, GrabModeAsync, CurrentTime);
      }
      break;
    case UnmapNotify:
      // Nobody sees a hidden (e.g. minimised) window: draw nothing until it is back.
      if (slot && event.xunmap.window == slot->id) slot->mapped = false;
      break;
    case Expose:
      if (slot && slot->view && event.xexpose.count == 0) slot->view->drawRect(slot->view->bounds());
      break;
    case ConfigureNotify:
      if (slot && event.xconfigure.window == slot->id) slot->configured = true;
      break;
    case ClientMessage:
      if (slot && slot->own && static_cast<Atom>(event.xclient.data.l[0]) == slot->own->deleteWindowAtom())
        quit_ = true;
      break;
    case KeyPress:
      if (slot && slot->fullScreen) {
        quit_ = true;
      } else if (slot && slot->own) {
        const KeySym key = XLookupKeysym(&event.xkey, 0);
        if (key == XK_q || key == XK_Q || key == XK_Escape) quit_ = true;
      }
      break;
    case ButtonPress:
      if (slot && slot->fullScreen) quit_ = true;
      break;
    case MotionNotify:
      if (slot && slot->fullScreen) {
        // Measured in root coordinates: the pointer may cross from one
        // monitor's window to another's.
        const PointerPosition at{event.xmotion.x_root, event.xmotion.y_root};
        if (!pointerOrigin_)
          pointerOrigin_ = at;
        else if (std::hypot(at.x - pointerOrigin_->x, at.y - pointerOrigin_->y) > kPointerMotionSlop)
          quit_ = true;
      }
      break;
    case DestroyNotify:
      if (slot && event.xdestroywindow.window == slot->id) {
        slot->gone = true;
        quit_ = true;
      }
      break;
    default:
      break;
  }
}

void X11Host::updateViews() {
  for (Slot& slot : slots_) {
    if (!slot.view) {
      if (slot.mapped && !slot.refused) createView(slot);
      continue;
    }
    if (!slot.configured) continue;
    slot.configured = false;
    // Sizes are fixed when a view is made, so a new size needs a new view.
    const SurfaceBounds size = slot.own ? slot.own->size() : [&] {
      XWindowAttributes attributes{};
      X11ErrorTrap trap(display_);
      if (!XGetWindowAttributes(display_, slot.id, &attributes) || trap.check() != 0) return SurfaceBounds{};
      return SurfaceBounds{static_cast<double>(attributes.width), static_cast<double>(attributes.height)};
    }();
    if (size.width < 1 || size.height < 1) continue;  // gone; DestroyNotify follows
    if (size.width == slot.width && size.height == slot.height) continue;
    destroyView(slot);
    if (slot.drawable != slot.id) {
      XResizeWindow(display_, slot.drawable, static_cast<unsigned>(size.width), static_cast<unsigned>(size.height));
    }
    createView(slot);
  }
}

// A view that says it has nothing new to show until exposed costs nothing
// until then: no ticks, and no wake-ups for it.
bool X11Host::ticks(const Slot& slot) {
  return slot.view && slot.mapped && slot.view->isAnimating() && !slot.view->isIdleUntilExposed();
}

int X11Host::run() {
  const int connection = ConnectionNumber(display_);
  rounds_.start(monotonicNanoseconds());
  while (!quit_) {
    while (!quit_ && XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      handleEvent(event);
    }
    if (const int signal = signals_.take(); signal != 0) {
      endingSignal_ = signal;
      quit_ = true;
    }
    if (quit_) break;
    updateViews();

    int64_t now = monotonicNanoseconds();
    uint64_t mostShown = 0;
    for (Slot& slot : slots_) {
      if (ticks(slot)) rounds_.tick(*slot.view, slot.deadline, &now);
      mostShown = std::max(mostShown, slot.framesShown);
    }
    if (rounds_.finish(now, mostShown, &quit_) || quit_) continue;  // look at events and deadlines again first

    // Sleep until the next deadline, an X event or a signal.
    int64_t wake = -1;
    for (const Slot& slot : slots_)
      if (ticks(slot)) FrameRounds::wakeFor(slot.deadline, &wake);
    rounds_.wakeForReport(&wake);
    // Flushing may read events into Xlib's queue, where poll() cannot see
    // them: flush first, then look at the queue, and only then sleep.
    XFlush(display_);
    if (XEventsQueued(display_, QueuedAlready) > 0) continue;
    pollfd fds[2] = {{connection, POLLIN, 0}, {signals_.fd(), POLLIN, 0}};
    timespec timeout{};
    if (wake >= 0) {
      const int64_t wait = std::max<int64_t>(0, wake - monotonicNanoseconds());
      timeout.tv_sec = static_cast<time_t>(wait / kNsPerSecond);
      timeout.tv_nsec = static_cast<long>(wait % kNsPerSecond);
    }
    ppoll(fds, signals_.ok() ? 2 : 1, wake >= 0 ? &timeout : nullptr, nullptr);
  }
  for (Slot& slot : slots_) destroyView(slot);
  XSync(display_, False);
  return 0;
}

}  // namespace moonwisp
