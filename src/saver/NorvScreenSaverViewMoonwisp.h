#pragma once
// A saver view with a child OpenGL surface covering it: fixed pixel format,
// swap interval 1. Its context is the one every drawing call goes to.
#include <cstdint>
#include <memory>

#include "platform/gl/gl_surface.h"
#include "host/SaverHostServices.h"
#include "host/ScreenSaverView.h"

namespace moonwisp {

class NorvScreenSaverViewMoonwisp : public ScreenSaverView {
 public:
  NorvScreenSaverViewMoonwisp(ViewRect frame, bool isPreview, SaverHostServices& host);
  ~NorvScreenSaverViewMoonwisp() override;

  // The child surface; null when it could not be created.
  GLSurface* view() const { return view_.get(); }
  GLSurface* openGLContext() const { return view_.get(); }
  void surfaceLost() override;

 protected:
  // Context operations that do nothing when there is no child surface.
  bool makeContextCurrent();
  void clearCurrentContext();
  void flushBuffer();
  void setSwapInterval(int interval);
  void setChildHidden(bool hidden) { childHidden_ = hidden; }
  bool childHidden() const { return childHidden_; }
  SaverHostServices& host() const { return host_; }

  int8_t ispreview;
  int32_t screen_w;
  int32_t screen_h;

 private:
  SaverHostServices& host_;
  std::unique_ptr<GLSurface> view_;
  bool childHidden_ = false;
};

}  // namespace moonwisp
