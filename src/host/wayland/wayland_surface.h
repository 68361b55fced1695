#pragma once
// The Wayland back end of GLSurface: a wl_egl_window over a wl_surface with
// its own desktop OpenGL compatibility context (Mesa's fixed-function
// pipeline, so the drawing is the same as on X11), double-buffered, without
// alpha so that the compositor shows the picture opaque.
//
// The compositor paces the frames: the host draws only after the surface's
// frame callback, and the swap itself never waits (swap interval 0).
#include <EGL/egl.h>
#include <wayland-client.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/gl/gl_surface.h"

struct wl_egl_window;

namespace moonwisp {

// One EGL display per Wayland connection, shared by every surface on it.
class WaylandEglDisplay {
 public:
  // Null, with the reason in *error, when EGL cannot run on this connection.
  static std::unique_ptr<WaylandEglDisplay> open(wl_display* display, std::string* error);
  ~WaylandEglDisplay();
  WaylandEglDisplay(const WaylandEglDisplay&) = delete;
  WaylandEglDisplay& operator=(const WaylandEglDisplay&) = delete;

  EGLDisplay display() const { return display_; }
  EGLConfig config() const { return config_; }

 private:
  WaylandEglDisplay(EGLDisplay display, EGLConfig config) : display_(display), config_(config) {}
  EGLDisplay display_;
  EGLConfig config_;
};

class WaylandSurface final : public GLSurface {
 public:
  // A width x height (pixels) drawable on surface. beforeSwap runs just
  // before each swap commits a frame, so that the host can ask for the
  // frame's callback in the same commit. Null, with the reason in *error,
  // when the window, the context or the EGL surface cannot be made.
  static std::unique_ptr<WaylandSurface> create(const WaylandEglDisplay& egl, wl_surface* surface, int width,
                                                int height, std::function<void()> beforeSwap,
                                                std::string* error);
  ~WaylandSurface() override;

  bool makeCurrent() override;
  void release() override;
  // Commits the back buffer to the compositor; never waits for the display.
  void flushBuffer() override;
  SurfaceBounds bounds() const override;
  // The swaps stay unpaced (interval 0) whatever is asked: the host's frame
  // callbacks do the pacing to the display, so the request counts as met.
  bool setSwapInterval(int interval) override;
  // The compositor is gone: nothing is drawn or swapped from now on.
  void surfaceLost() override { lost_ = true; }

 private:
  WaylandSurface() = default;

  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLContext context_ = EGL_NO_CONTEXT;
  EGLSurface surface_ = EGL_NO_SURFACE;
  wl_egl_window* window_ = nullptr;
  std::function<void()> beforeSwap_;
  int width_ = 0;
  int height_ = 0;
  bool lost_ = false;
};

}  // namespace moonwisp
