#pragma once
// What the saver views get from the Wayland host: an EGL surface on the
// wl_surface the host is about to give a view, and the outputs as displays.
// A Wayland client never learns where its surfaces lie, so the displays a
// view's frame touches are the outputs its surface is on: its own output for
// a full-screen view, the outputs the compositor said it entered for a window.
#include <functional>
#include <string>
#include <vector>

#include "host/wayland/wayland_outputs.h"
#include "host/wayland/wayland_surface.h"
#include "host/SaverHostServices.h"

namespace moonwisp {

// Where the next view goes.
struct WaylandViewTarget {
  wl_surface* surface = nullptr;
  int width = 0;   // pixels
  int height = 0;
  std::vector<uint32_t> outputs;  // display ids of the outputs the surface is on
  std::function<void()> beforeSwap;
  uint64_t* framesShown = nullptr;  // where the frames shown on it are counted
};

class WaylandHostServices final : public SaverHostServices {
 public:
  WaylandHostServices(const WaylandEglDisplay& egl, const WaylandOutputs& outputs) : egl_(egl), outputs_(outputs) {}

  // The target of the views made until it is cleared (null).
  void setTarget(const WaylandViewTarget* target) { target_ = target; }
  // The surface made by the last createSurface call since setTarget; the
  // view owns it.
  WaylandSurface* lastSurface() const { return lastSurface_; }

  std::unique_ptr<GLSurface> createSurface(ViewRect frame) override;
  int32_t getDisplaysWithRect(ViewRect rect, uint32_t maxDisplays, uint32_t* displays, uint32_t* count) override;
  uint32_t mainDisplayID() override { return outputs_.mainId(); }

 private:
  const WaylandEglDisplay& egl_;
  const WaylandOutputs& outputs_;
  const WaylandViewTarget* target_ = nullptr;
  WaylandSurface* lastSurface_ = nullptr;
};

}  // namespace moonwisp
