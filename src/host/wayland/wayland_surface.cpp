#include "host/wayland/wayland_surface.h"

#include <EGL/eglext.h>
#include <wayland-egl.h>

#include "platform/egl/egl_display.h"
#include "platform/gl/gl_driver.h"

namespace moonwisp {

std::unique_ptr<WaylandEglDisplay> WaylandEglDisplay::open(wl_display* connection, std::string* error) {
  const EGLDisplay display = openEglDisplay(EGL_PLATFORM_WAYLAND_KHR, connection, "the Wayland connection", error);
  if (display == EGL_NO_DISPLAY) return nullptr;
  EGLConfig config = nullptr;
  if (chooseEglConfig(display, EGL_WINDOW_BIT, &config))
    return std::unique_ptr<WaylandEglDisplay>(new WaylandEglDisplay(display, config));
  *error = "EGL has no window configuration for desktop OpenGL with 8-bit RGB";
  eglTerminate(display);
  return nullptr;
}

WaylandEglDisplay::~WaylandEglDisplay() {
  eglTerminate(display_);
  eglReleaseThread();
}

std::unique_ptr<WaylandSurface> WaylandSurface::create(const WaylandEglDisplay& egl, wl_surface* surface,
                                                       int width, int height, std::function<void()> beforeSwap,
                                                       std::string* error) {
  if (width < 1 || height < 1) {
    *error = "surface size " + std::to_string(width) + " x " + std::to_string(height) + " has a side below 1";
    return nullptr;
  }
  std::unique_ptr<WaylandSurface> result(new WaylandSurface());
  result->display_ = egl.display();
  result->width_ = width;
  result->height_ = height;
  result->beforeSwap_ = std::move(beforeSwap);
  if (!eglBindAPI(EGL_OPENGL_API)) {
    *error = "EGL cannot bind the desktop OpenGL API";
    return nullptr;
  }
  // The compatibility profile is what a context without a version gives:
  // the highest version Mesa offers with the fixed-function calls intact.
  const EGLint contextAttributes[] = {EGL_NONE};
  result->context_ = eglCreateContext(egl.display(), egl.config(), EGL_NO_CONTEXT, contextAttributes);
  if (result->context_ == EGL_NO_CONTEXT) {
    *error = "EGL cannot create a desktop OpenGL context";
    return nullptr;
  }
  result->window_ = wl_egl_window_create(surface, width, height);
  if (!result->window_) {
    *error = "cannot make a " + std::to_string(width) + " x " + std::to_string(height) + " EGL window";
    return nullptr;
  }
  const EGLint surfaceAttributes[] = {EGL_RENDER_BUFFER, EGL_BACK_BUFFER, EGL_NONE};
  result->surface_ = eglCreateWindowSurface(egl.display(), egl.config(),
                                            reinterpret_cast<EGLNativeWindowType>(result->window_),
                                            surfaceAttributes);
  if (result->surface_ == EGL_NO_SURFACE) {
    *error = "EGL cannot make a window surface";
    return nullptr;
  }
  if (!result->makeCurrent()) {
    *error = "EGL cannot make the context current";
    return nullptr;
  }
  keepGLDriversLoaded();
  // The host paces the swaps with frame callbacks; a swap that waited for
  // the compositor would stall every other surface of the process.
  eglSwapInterval(egl.display(), 0);
  result->release();
  return result;
}

WaylandSurface::~WaylandSurface() {
  if (display_ != EGL_NO_DISPLAY) {
    if (eglGetCurrentContext() == context_ && context_ != EGL_NO_CONTEXT)
      eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
  }
  if (window_) wl_egl_window_destroy(window_);
}

bool WaylandSurface::makeCurrent() {
  if (lost_) return false;
  return eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
}

void WaylandSurface::release() {
  if (eglGetCurrentContext() == context_)
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void WaylandSurface::flushBuffer() {
  if (lost_ || eglGetCurrentContext() != context_) return;
  if (beforeSwap_) beforeSwap_();
  eglSwapBuffers(display_, surface_);
}

SurfaceBounds WaylandSurface::bounds() const {
  return {static_cast<double>(width_), static_cast<double>(height_)};
}

bool WaylandSurface::setSwapInterval(int) { return true; }

}  // namespace moonwisp
