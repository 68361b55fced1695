#include "host/wayland/wayland_host_services.h"

#include "host/counted_surface.h"
#include "platform/core/system_log.h"

namespace moonwisp {

std::unique_ptr<GLSurface> WaylandHostServices::createSurface(ViewRect /*frame*/) {
  // The surface covers the whole target, which the host sized to the frame.
  lastSurface_ = nullptr;
  if (!target_) return nullptr;
  std::string error;
  std::unique_ptr<WaylandSurface> surface =
      WaylandSurface::create(egl_, target_->surface, target_->width, target_->height, target_->beforeSwap, &error);
  if (!surface) {
    systemLog("Error: %s", error.c_str());
    return nullptr;
  }
  lastSurface_ = surface.get();
  return countFramesShown(std::move(surface), target_->framesShown);
}

int32_t WaylandHostServices::getDisplaysWithRect(ViewRect /*rect*/, uint32_t maxDisplays, uint32_t* displays,
                                                 uint32_t* count) {
  if (count) *count = 0;
  if (!target_) return 1;
  uint32_t found = 0;
  for (const uint32_t id : target_->outputs) {
    if (found >= maxDisplays) break;
    if (!outputs_.byId(id)) continue;
    if (displays) displays[found] = id;
    ++found;
  }
  if (count) *count = found;
  return 0;
}

}  // namespace moonwisp
