#pragma once
// What a saver view needs from the host that creates it: a drawing surface
// that covers it, and the displays (monitors) a rectangle touches.
#include <cstdint>
#include <memory>

#include "platform/gl/gl_surface.h"
#include "host/ScreenSaverView.h"

namespace moonwisp {

class SaverHostServices {
 public:
  virtual ~SaverHostServices() = default;
  // A surface with its own OpenGL context covering the view whose frame is
  // given; null when none can be made.
  virtual std::unique_ptr<GLSurface> createSurface(ViewRect frame) = 0;
  // Lists up to maxDisplays identifiers of the displays that rect (root
  // coordinates) touches; 0 on success, non-zero when the query failed.
  virtual int32_t getDisplaysWithRect(ViewRect rect, uint32_t maxDisplays, uint32_t* displays,
                                      uint32_t* count) = 0;
  virtual uint32_t mainDisplayID() = 0;
};

}  // namespace moonwisp
