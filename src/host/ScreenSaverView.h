#pragma once
// The host's view base class. The host creates a view per display (or a
// preview), calls startAnimation, then animateOneFrame every
// animationTimeInterval() seconds while isAnimating(), drawRect when the
// window must be redrawn, stopAnimation, and finally destroys it; all on one
// thread, one call at a time.
#include <string>

namespace moonwisp {

namespace ui {
class Window;
}

// A rectangle in pixels; a view's frame is in root-window coordinates.
struct ViewRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

class ScreenSaverView {
 public:
  ScreenSaverView(ViewRect frame, bool isPreview);
  virtual ~ScreenSaverView();
  ScreenSaverView(const ScreenSaverView&) = delete;
  ScreenSaverView& operator=(const ScreenSaverView&) = delete;

  // Start and stop the host's animation timer.
  virtual void startAnimation();
  virtual void stopAnimation();
  virtual void animateOneFrame();
  virtual void drawRect(ViewRect rect);
  // The host tells the view that its window is gone: from now on nothing
  // may touch the drawable, so stopping and destruction draw nothing.
  virtual void surfaceLost();

  // True while the view has nothing new to show until its window is exposed
  // or resized (a display kept black, say): the host then stops calling
  // animateOneFrame and sleeps, and still calls drawRect on an expose.
  virtual bool isIdleUntilExposed() const { return false; }

  virtual bool hasConfigureSheet() const;
  // The settings window, or null.
  virtual ui::Window* configureSheet();
  // Whether the host should fade the display when the saver starts.
  static bool performGammaFade();

  void setAnimationTimeInterval(double seconds) { animationTimeInterval_ = seconds; }
  double animationTimeInterval() const { return animationTimeInterval_; }
  // True between startAnimation and stopAnimation: the timer is running.
  bool isAnimating() const { return animating_; }
  bool isPreview() const { return isPreview_; }
  ViewRect frame() const { return frame_; }
  // The view's own rectangle: origin 0, the frame's size.
  ViewRect bounds() const { return {0, 0, frame_.width, frame_.height}; }
  // One line that names the view, for log messages.
  virtual std::string description() const;

 protected:
  // description()'s line, naming the view's class as given.
  std::string describe(const char* className) const;

 private:
  ViewRect frame_;
  bool isPreview_;
  bool animating_ = false;
  double animationTimeInterval_ = 1.0 / 30.0;
};

}  // namespace moonwisp
