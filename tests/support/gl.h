#pragma once
// Helpers for tests that draw with OpenGL: a headless context of a given size
// and the pixels of what was drawn.
#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/egl/egl_surface.h"

namespace moonwisp::test {

// RGBA pixels read back from the current framebuffer, rows bottom-up as GL
// gives them.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;

  // Pixels whose brightest colour channel is above threshold.
  int countAbove(int threshold) const {
    int n = 0;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) n += std::max({rgba[i], rgba[i + 1], rgba[i + 2]}) > threshold;
    return n;
  }
};

inline Picture readPicture(int width, int height) {
  Picture picture{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glFinish();
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
  return picture;
}

// Green over the whole surface, read back before the swap (a GLX front buffer
// reads back black under Xvfb): a drawable smaller than its bounds shows.
inline bool drawsOverAllOf(GLSurface& surface) {
  const int width = int(surface.bounds().width), height = int(surface.bounds().height);
  if (!surface.makeCurrent()) return false;
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  const bool covered = readPicture(width, height).countAbove(200) == width * height;
  surface.flushBuffer();
  surface.release();
  return covered;
}

// A headless context made current for the lifetime of the object.
class HeadlessContext {
 public:
  HeadlessContext(int width, int height) {
    surface_ = EglSurface::create(width, height, &error_);
    if (surface_ && !surface_->makeCurrent()) surface_.reset();
  }
  ~HeadlessContext() {
    if (surface_) surface_->release();
  }
  bool ok() const { return surface_ != nullptr; }
  const std::string& error() const { return error_; }

 private:
  std::unique_ptr<EglSurface> surface_;
  std::string error_;
};

}  // namespace moonwisp::test
