#pragma once
// The screen-saver host on X11: one saver view per window (a window of our
// own, one borderless window per monitor, or a foreign window such as
// XScreenSaver's), all driven from one thread. It calls the views' lifecycle
// in order (create, startAnimation, animateOneFrame at each tick while
// animating, drawRect on Expose, stopAnimation, destroy), fires the ticks on
// absolute monotonic deadlines and sleeps in poll() on the X connection and a
// signal pipe until the next deadline, event or signal. A view that is idle
// until exposed gets no ticks and no wake-ups until then.
#include <X11/Xlib.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/frame_deadline.h"
#include "host/frame_rounds.h"
#include "host/host_options.h"
#include "host/signal_pipe.h"
#include "host/x11/x11_host_services.h"
#include "host/x11/x11_window.h"

namespace moonwisp {

class X11Host {
 public:
  // The factory makes the view of each window.
  X11Host(Display* display, SaverHostOptions options, SaverViewFactory factory);
  // Stops and destroys every view, then destroys the windows of our own.
  ~X11Host();
  X11Host(const X11Host&) = delete;
  X11Host& operator=(const X11Host&) = delete;

  // A window of our own, width x height at (x, y) of the root window, shown at
  // once; its view is made when the server has mapped it. fullScreen: no
  // frame, above every window, no pointer, the keyboard grabbed (keys must
  // not reach the window hidden under it), and any input ends the run.
  // False, with the reason logged, when the window cannot be made.
  bool addOwnWindow(int x, int y, int width, int height, bool fullScreen, const std::string& title);
  // One full-screen window per monitor. False when none can be made.
  bool addFullScreenWindows(const std::string& title);
  // An existing window that we draw into but never change (when its visual
  // cannot take OpenGL, we draw into a child window of ours that covers it).
  // False, with the reason logged, when there is no such window.
  bool addForeignWindow(Window window);

  // Runs until a window is closed, q or Escape is pressed in a window of ours,
  // any key, button or pointer motion of more than kPointerMotionSlop pixels
  // comes to a full-screen one, a foreign window is destroyed, SIGTERM/SIGINT/SIGHUP arrives, or
  // a window has shown maxFrames frames. Returns the exit status (0). A lost connection
  // to the X server ends the process with status 0 at once.
  int run();

  // The signal that ended run(), 0 when something else ended it. The caller
  // ends the process by it (endBySignal) once everything is released.
  int endingSignal() const { return endingSignal_; }

 private:
  struct Slot {
    std::unique_ptr<X11Window> own;  // null for a foreign window
    Window id = 0;
    // Where the view draws: the window itself, or a child of ours with a GL
    // visual when a foreign window's visual has no GLX configuration.
    Window drawable = 0;
    Colormap drawableColormap = 0;
    bool fullScreen = false;
    bool mapped = false;
    bool configured = false;  // a ConfigureNotify came since the view was made
    bool refused = false;     // the factory made no view; not asked again
    bool gone = false;        // the window was destroyed: nothing may draw into it
    double width = 0;         // the size the view was made for
    double height = 0;
    std::unique_ptr<ScreenSaverView> view;
    FrameDeadline deadline;
    uint64_t framesShown = 0;  // by all of its views
  };

  Slot* slotOf(Window window);
  static bool ticks(const Slot& slot);
  void handleEvent(XEvent& event);
  void updateViews();
  void createView(Slot& slot);
  void destroyView(Slot& slot);
  Window makeDrawingChild(Window parent, const XWindowAttributes& attributes, Colormap* colormap);
  void destroyDrawingChild(Slot& slot);

  Display* display_;
  SaverHostOptions options_;
  SaverViewFactory factory_;
  X11HostServices services_;
  SignalPipe signals_;
  std::deque<Slot> slots_;  // a deque: a view's surface counts into its slot, which must not move
  bool quit_ = false;
  int endingSignal_ = 0;
  Cursor blankCursor_ = 0;
  // Where the pointer was when full screen began (root coordinates); motion
  // is measured from there.
  struct PointerPosition {
    int x;
    int y;
  };
  std::optional<PointerPosition> pointerOrigin_;
  FrameRounds rounds_;
};

// Makes a lost X connection end the process quietly with status 0.
void installX11ConnectionLossHandler();

}  // namespace moonwisp
