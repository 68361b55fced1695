#pragma once
// The headless back end of GLSurface: an OpenGL 2.1 compatibility context on
// Mesa's surfaceless EGL platform, drawing into a framebuffer object (RGBA8
// colour, 16-bit depth) of any size. No display is needed; the fixed-function
// calls, glCopyTexImage2D and glReadPixels all work on the framebuffer object,
// which stays bound while the context is current.
#include <memory>
#include <string>

#include "platform/gl/gl_surface.h"

namespace moonwisp {

class EglSurface final : public GLSurface {
 public:
  // A width x height surface (each side 1 up to the implementation's largest
  // renderbuffer). Null, with the reason in *error (and nothing left behind),
  // when EGL, the context or the framebuffer cannot be made.
  static std::unique_ptr<EglSurface> create(int width, int height, std::string* error = nullptr);

  ~EglSurface() override;

  bool makeCurrent() override;
  void release() override;
  // Nothing is shown anywhere: finishes the frame's commands (glFlush).
  void flushBuffer() override;
  SurfaceBounds bounds() const override;
  // There is no display to pace against: answers false.
  bool setSwapInterval(int interval) override;

  int width() const { return width_; }
  int height() const { return height_; }

  struct State;

 private:
  explicit EglSurface(std::unique_ptr<State> state, int width, int height);

  std::unique_ptr<State> state_;
  int width_;
  int height_;
};

}  // namespace moonwisp
