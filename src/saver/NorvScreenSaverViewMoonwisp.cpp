#include "saver/NorvScreenSaverViewMoonwisp.h"

#include "platform/core/system_log.h"

namespace moonwisp {

NorvScreenSaverViewMoonwisp::NorvScreenSaverViewMoonwisp(ViewRect frame, bool isPreview, SaverHostServices& host)
    : ScreenSaverView(frame, isPreview),
      screen_w(int32_t(frame.width)),
      screen_h(int32_t(frame.height)),
      host_(host) {
  // Double-buffered RGBA8 with a 16-bit depth buffer, covering the view.
  view_ = host_.createSurface(frame);
  if (!view_) {
    systemLog("Error: %s failed to initialize NSOpenGLView!", description().c_str());
    return;
  }
  if (makeContextCurrent()) {
    setSwapInterval(1);
    clearCurrentContext();
  }
  if (!performGammaFade()) setChildHidden(true);
}

NorvScreenSaverViewMoonwisp::~NorvScreenSaverViewMoonwisp() = default;

bool NorvScreenSaverViewMoonwisp::makeContextCurrent() { return view_ && view_->makeCurrent(); }

void NorvScreenSaverViewMoonwisp::clearCurrentContext() {
  if (view_) view_->release();
}

void NorvScreenSaverViewMoonwisp::flushBuffer() {
  if (view_ && !childHidden_) view_->flushBuffer();
}

void NorvScreenSaverViewMoonwisp::surfaceLost() {
  if (view_) view_->surfaceLost();
}

void NorvScreenSaverViewMoonwisp::setSwapInterval(int interval) {
  // A surface that cannot pace its swaps leaves the pacing to the host's timer.
  if (view_) view_->setSwapInterval(interval);
}

}  // namespace moonwisp
