#pragma once
// The screen-saver host on Wayland: one saver view per xdg-shell toplevel (a
// window of our own, or one full-screen toplevel per output, outputs that
// come later included), all driven from one thread. It calls the views'
// lifecycle in order (create, startAnimation, animateOneFrame while
// animating, stopAnimation, destroy) and draws a surface only when its tick
// is due on absolute monotonic deadlines AND the compositor's frame callback
// for the surface's last frame has come, so a hidden surface costs nothing.
// It sleeps in poll() on the Wayland connection and a signal pipe.
#include <wayland-client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/wayland/wayland_host_services.h"
#include "host/wayland/wayland_input.h"
#include "host/wayland/wayland_outputs.h"
#include "host/wayland/wayland_surface.h"
#include "host/frame_deadline.h"
#include "host/frame_rounds.h"
#include "host/host_options.h"
#include "host/signal_pipe.h"

struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;

namespace moonwisp {

class WaylandHost {
 public:
  // The options' preview flag is not used: Wayland views are never previews.
  WaylandHost(wl_display* display, SaverHostOptions options, SaverViewFactory factory);
  // Stops and destroys every view, then every toplevel.
  ~WaylandHost();
  WaylandHost(const WaylandHost&) = delete;
  WaylandHost& operator=(const WaylandHost&) = delete;

  // Learns the compositor's globals and outputs and starts EGL. False, with
  // the reason logged, when the compositor lacks xdg-shell or EGL cannot run.
  bool initialize();
  // A resizable toplevel of width x height; each new size gets a new view.
  // Ends on close, q or Escape.
  bool addWindow(int width, int height, const std::string& title, const std::string& appId);
  // A full-screen toplevel on every output, and on each output that comes
  // later; an output that goes takes its view with it. Any key, button or
  // pointer motion ends it. False when there is no output.
  bool addFullScreenViews(const std::string& title, const std::string& appId);

  // Runs until the end (see above), SIGTERM/SIGINT/SIGHUP, maxFrames frames shown,
  // or the compositor going away. Returns the exit status (0).
  int run();

  // The signal that ended run(); 0 when none did.
  int endingSignal() const { return endingSignal_; }

 private:
  struct Slot {
    WaylandHost* host = nullptr;
    uint32_t outputId = 0;  // the output of a full-screen toplevel; 0 for a window
    wl_surface* surface = nullptr;
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    wl_callback* frameCallback = nullptr;
    bool frameDone = true;       // the compositor wants the next frame
    bool configured = false;     // the first configure has been acknowledged
    bool gone = false;           // its output went away: removed at the next update
    int pendingWidth = 0;        // the size of the configure under way (0: ours to pick)
    int pendingHeight = 0;
    bool refused = false;        // the factory made no view; not asked again
    int requestedWidth = 0;      // surface units: what a window asks for
    int requestedHeight = 0;
    int width = 0;               // the acknowledged size, surface units
    int height = 0;
    int scale = 1;               // buffer pixels per surface unit
    std::vector<uint32_t> enteredOutputs;
    int viewWidth = 0;           // the size (pixels) the view was made for
    int viewHeight = 0;
    std::unique_ptr<ScreenSaverView> view;
    WaylandSurface* glSurface = nullptr;  // owned by the view
    uint64_t framesShown = 0;             // by all of its views
    FrameDeadline deadline;
  };

  static void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version);
  static void onGlobalRemove(void* data, wl_registry* registry, uint32_t name);
  static void onPing(void* data, xdg_wm_base* base, uint32_t serial);
  static void onXdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial);
  static void onToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*);
  static void onToplevelClose(void* data, xdg_toplevel*);
  static void onSurfaceEnter(void* data, wl_surface*, wl_output* output);
  static void onSurfaceLeave(void* data, wl_surface*, wl_output* output);
  static void onFrameDone(void* data, wl_callback* callback, uint32_t);

  Slot* addSlot(uint32_t outputId, int width, int height, const std::string& title, const std::string& appId);
  void removeSlot(Slot* slot);
  void outputReady(const WaylandOutput& output);
  void outputGone(const WaylandOutput& output);
  void handleInput(const WaylandInputEvent& event);
  void requestFrame(Slot& slot);
  void updateViews();
  void createView(Slot& slot);
  void destroyView(Slot& slot);
  bool dispatch();
  bool waitForEvents(int64_t wakeNs);

  static bool ticks(const Slot& slot);

  wl_display* display_;
  SaverHostOptions options_;
  SaverViewFactory factory_;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  WaylandOutputs outputs_;
  WaylandInput input_;
  std::unique_ptr<WaylandEglDisplay> egl_;
  std::unique_ptr<WaylandHostServices> services_;
  SignalPipe signals_;
  std::vector<std::unique_ptr<Slot>> slots_;
  bool fullScreen_ = false;
  std::string title_;
  std::string appId_;
  bool quit_ = false;
  bool lost_ = false;  // the compositor went away
  int endingSignal_ = 0;
  FrameRounds rounds_;
};

}  // namespace moonwisp
