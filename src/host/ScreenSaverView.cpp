#include "host/ScreenSaverView.h"

#include <cstdio>

namespace moonwisp {

ScreenSaverView::ScreenSaverView(ViewRect frame, bool isPreview) : frame_(frame), isPreview_(isPreview) {}
ScreenSaverView::~ScreenSaverView() = default;

void ScreenSaverView::startAnimation() { animating_ = true; }
void ScreenSaverView::stopAnimation() { animating_ = false; }
void ScreenSaverView::animateOneFrame() {}
void ScreenSaverView::drawRect(ViewRect) {}
void ScreenSaverView::surfaceLost() {}
bool ScreenSaverView::hasConfigureSheet() const { return false; }
ui::Window* ScreenSaverView::configureSheet() { return nullptr; }
bool ScreenSaverView::performGammaFade() { return true; }

std::string ScreenSaverView::description() const { return describe("ScreenSaverView"); }

std::string ScreenSaverView::describe(const char* className) const {
  char text[160];
  std::snprintf(text, sizeof text, "<%s %p: frame (%g, %g, %g, %g)%s>", className, static_cast<const void*>(this),
                frame_.x, frame_.y, frame_.width, frame_.height, isPreview_ ? ", preview" : "");
  return text;
}

}  // namespace moonwisp
