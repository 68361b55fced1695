#pragma once
// A drawing surface with its own OpenGL context, as the saver view sees it.
//
// The view makes the context current before any OpenGL call, draws, presents
// the frame with flushBuffer() and releases the context again; it sizes the
// world, the viewport and the glow buffers from bounds(). Each window system
// implements it in its host back end (a GLX window on X11, an EGL window on
// Wayland); the headless one draws into a framebuffer object
// (platform/egl/egl_surface.h).
//
// A surface is used from one thread. Every call is safe on a surface whose
// window has gone away: it fails (false) or does nothing, and never crashes.

namespace moonwisp {

// Size of the surface in pixels; truncated toward zero these are the sizes
// the world and the GL resources use.
struct SurfaceBounds {
  double width = 0;
  double height = 0;
};

class GLSurface {
 public:
  virtual ~GLSurface() = default;
  GLSurface(const GLSurface&) = delete;
  GLSurface& operator=(const GLSurface&) = delete;

  // Every OpenGL call that follows, until release(), goes to this context.
  // False when the context cannot be made current. It need not ask the window
  // system whether the window still exists: the host learns that a window
  // went away from its events and then calls surfaceLost().
  virtual bool makeCurrent() = 0;
  // No context is current on this thread afterwards.
  virtual void release() = 0;
  // Shows what was drawn (swaps the back buffer to the screen). With swap
  // interval 1 on a display that supports it, this waits for the refresh.
  virtual void flushBuffer() = 0;
  // Current size of the drawable.
  virtual SurfaceBounds bounds() const = 0;
  // Asks for a swap interval (0 or 1). True when the interval was applied;
  // false when the surface cannot pace its swaps (the caller then paces them).
  virtual bool setSwapInterval(int interval) = 0;
  // The drawable has gone (its window was destroyed): from now on every call
  // fails or does nothing, so that no driver touches the dead drawable.
  virtual void surfaceLost() {}

 protected:
  GLSurface() = default;
};

}  // namespace moonwisp
