#pragma once
// The X11 + GLX back end of GLSurface: a double-buffered RGBA8 context with a
// depth buffer of at least 16 bits, bound to a window of our own or to a
// foreign window whose visual it matches.
#include <GL/glx.h>

#include <memory>
#include <string>

#include "platform/gl/gl_surface.h"
#include "host/x11/x11_window.h"

namespace moonwisp {

// Chooses a double-buffered, window-capable RGBA8 frame-buffer configuration
// with a depth buffer of at least 16 bits on `screen`. With `visual` not 0 only
// a configuration of that visual qualifies (a context of another visual cannot
// draw into the window); for a visual deeper than 8 bits per channel its best
// configuration is taken. False when none fits.
bool chooseGlxFBConfig(Display* display, int screen, VisualID visual, GLXFBConfig* config);

// A new, unmapped window of ours whose visual is that of a double-buffered
// RGBA8 configuration with depth on the default screen; the configuration in
// *config. Null, with the reason logged, when there is none.
std::unique_ptr<X11Window> createGlxCapableWindow(Display* display, int width, int height, const std::string& title,
                                                  GLXFBConfig* config);

// True when the server's GLX extension string names a swap-control extension
// (GLX_EXT_swap_control or GLX_MESA_swap_control). Only then may the swap
// interval be set: the entry points can exist although the server lacks them.
bool glxHasSwapControl(Display* display, int screen);

// The Display belongs to the caller and must outlive the surface.
class GlxSurface final : public GLSurface {
 public:
  // A new window of our own, width x height pixels, mapped. Null, with the
  // reason logged, when it cannot be made.
  static std::unique_ptr<GlxSurface> createWindow(Display* display, int width, int height,
                                                  const std::string& title);
  // Draws into an existing window, e.g. XScreenSaver's. Null, with the reason
  // logged, when the window does not exist or its visual has no GL config.
  static std::unique_ptr<GlxSurface> createForWindow(Display* display, Window window);

  ~GlxSurface() override;

  // No round trip to the X server: a foreign window destroyed meanwhile goes
  // unnoticed until the host's DestroyNotify; until then the drawing goes
  // nowhere and the X errors are logged.
  bool makeCurrent() override;
  void release() override;
  void flushBuffer() override;
  SurfaceBounds bounds() const override;
  bool setSwapInterval(int interval) override;
  void surfaceLost() override { lost_ = true; }

  X11Window& window() { return *window_; }
  const X11Window& window() const { return *window_; }

 private:
  GlxSurface(std::unique_ptr<X11Window> window, GLXContext context)
      : window_(std::move(window)), context_(context) {}
  static std::unique_ptr<GlxSurface> attach(std::unique_ptr<X11Window> window,
                                            GLXFBConfig config);

  std::unique_ptr<X11Window> window_;
  GLXContext context_;
  bool lost_ = false;
};

}  // namespace moonwisp
