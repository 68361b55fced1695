#pragma once
// What the saver views get from the X11 host: a GLX surface on the window the
// host is about to give a view, and the XRandR monitors as displays.
#include <X11/Xlib.h>

#include <vector>

#include "host/x11/x11_monitors.h"
#include "host/SaverHostServices.h"

namespace moonwisp {

class X11HostServices final : public SaverHostServices {
 public:
  explicit X11HostServices(Display* display);

  // The window that the next createSurface call draws into, and where the
  // frames shown on it are counted.
  void setTargetWindow(Window window, uint64_t* framesShown = nullptr) {
    target_ = window;
    framesShown_ = framesShown;
  }

  std::unique_ptr<GLSurface> createSurface(ViewRect frame) override;
  int32_t getDisplaysWithRect(ViewRect rect, uint32_t maxDisplays, uint32_t* displays,
                              uint32_t* count) override;
  uint32_t mainDisplayID() override;

 private:
  Display* display_;
  Window target_ = 0;
  uint64_t* framesShown_ = nullptr;
  std::vector<MonitorRect> monitors_;  // kept to avoid an allocation per query
};

}  // namespace moonwisp
