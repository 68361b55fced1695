#pragma once
// A saver view with a child OpenGL surface covering it: fixed pixel format,
// swap interval 1. Its context is the one every drawing call goes to.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/gl/gl_surface.h"
#include "host/SaverHostServices.h"
#include "host/ScreenSaverView.h"

namespace moonwisp {

class NorvScreenSaverViewMoonwisp : public ScreenSaverView {
 public:
  NorvScreenSaverViewMoonwisp(ViewRect frame, bool isPreview, SaverHostServices& host);
  ~NorvScreenSaverViewMoonwisp() override;

  void surfaceLost() override;
  // Names MoonwispView, the one view built on this class: the constructor
  // logs before the subclass exists, so an override there would not be called.
  std::string description() const override { return describe("MoonwispView"); }

 protected:
  // Context operations that do nothing when there is no child surface.
  bool makeContextCurrent();
  void clearCurrentContext();
  void flushBuffer();
  void setSwapInterval(int interval);
  void setChildHidden(bool hidden) { childHidden_ = hidden; }
  SaverHostServices& host() const { return host_; }

  int32_t screen_w;
  int32_t screen_h;

 private:
  SaverHostServices& host_;
  std::unique_ptr<GLSurface> view_;  // the child surface; null when it could not be made
  bool childHidden_ = false;
};

}  // namespace moonwisp
