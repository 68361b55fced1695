#pragma once
// A view's surface that counts the frames it shows, whichever call shows them:
// a view draws its first frame when it starts and the others on the timer's
// ticks, and `--frames N` ends the run after exactly N.
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/gl/gl_surface.h"

namespace moonwisp {

class CountedSurface final : public GLSurface {
 public:
  CountedSurface(std::unique_ptr<GLSurface> surface, uint64_t* shown) : surface_(std::move(surface)), shown_(shown) {}

  bool makeCurrent() override { return surface_->makeCurrent(); }
  void release() override { surface_->release(); }
  void flushBuffer() override {
    surface_->flushBuffer();
    ++*shown_;
  }
  SurfaceBounds bounds() const override { return surface_->bounds(); }
  bool setSwapInterval(int interval) override { return surface_->setSwapInterval(interval); }
  void surfaceLost() override { surface_->surfaceLost(); }

 private:
  std::unique_ptr<GLSurface> surface_;
  uint64_t* shown_;
};

// `surface` counted into *shown; null stays null, and so does a null counter's surface.
inline std::unique_ptr<GLSurface> countFramesShown(std::unique_ptr<GLSurface> surface, uint64_t* shown) {
  if (!surface || !shown) return surface;
  return std::make_unique<CountedSurface>(std::move(surface), shown);
}

}  // namespace moonwisp
