// The host loop with recording views on a private X server: the lifecycle in
// order, ticks on the view's interval without bursts after a slow frame,
// Expose as drawRect, a new view for a new size, and a clean end on a signal,
// a closed window or a destroyed foreign window.
// gtest first: X11 defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "host/x11/x11_host.h"

#include <csignal>
#include <functional>
#include <thread>

#include "host/ScreenSaverView.h"
#include "support/x_server.h"

namespace {

using moonwisp::X11Host;
using moonwisp::SaverHostOptions;
using moonwisp::ScreenSaverView;
using moonwisp::ViewRect;

struct Record {
  std::vector<std::string> events;
  std::vector<int64_t> frameTimes;
  int64_t startTime = 0;  // when the view's animation started
  std::function<void(int frame)> onFrame;  // runs inside animateOneFrame
  int idleAfterFrames = 0;                 // > 0: idle until exposed after so many frames
};

class RecordingView : public ScreenSaverView {
 public:
  RecordingView(ViewRect frame, bool isPreview, Record& record) : ScreenSaverView(frame, isPreview), record_(record) {
    setAnimationTimeInterval(0.01);
    record_.events.push_back("create " + std::to_string(int(frame.width)) + "x" + std::to_string(int(frame.height)) +
                             (isPreview ? " preview" : ""));
  }
  ~RecordingView() override { record_.events.push_back("destroy"); }
  void startAnimation() override {
    record_.startTime = moonwisp::monotonicNanoseconds();
    ScreenSaverView::startAnimation();
    record_.events.push_back("start");
  }
  void stopAnimation() override {
    record_.events.push_back("stop");
    ScreenSaverView::stopAnimation();
  }
  void animateOneFrame() override {
    record_.events.push_back("frame");
    record_.frameTimes.push_back(moonwisp::monotonicNanoseconds());
    if (record_.onFrame) record_.onFrame(static_cast<int>(record_.frameTimes.size()));
  }
  void drawRect(ViewRect) override { record_.events.push_back("draw"); }
  bool isIdleUntilExposed() const override {
    return record_.idleAfterFrames > 0 && static_cast<int>(record_.frameTimes.size()) >= record_.idleAfterFrames;
  }

 private:
  Record& record_;
};

// The events with runs of "frame" folded into one "frames" entry.
std::vector<std::string> folded(const std::vector<std::string>& events) {
  std::vector<std::string> result;
  for (const std::string& event : events) {
    if (event == "frame") {
      if (result.empty() || result.back() != "frames") result.push_back("frames");
    } else {
      result.push_back(event);
    }
  }
  return result;
}

class X11HostTest : public testing::Test {
 protected:
  void SetUp() override {
    MOONWISP_NEEDS_SERVER(!server_.name().empty(), "Xvfb cannot be started");
    display_ = XOpenDisplay(server_.name().c_str());
    ASSERT_NE(display_, nullptr);
    // A second connection, as another client (a window manager, XScreenSaver) would have.
    other_ = XOpenDisplay(server_.name().c_str());
    ASSERT_NE(other_, nullptr);
  }
  void TearDown() override {
    if (other_) XCloseDisplay(other_);
    if (display_) XCloseDisplay(display_);
  }
  std::unique_ptr<X11Host> makeHost(SaverHostOptions options) {
    return std::make_unique<X11Host>(display_, options,
                                       [this](ViewRect frame, bool isPreview, moonwisp::SaverHostServices&) {
                                         return std::make_unique<RecordingView>(frame, isPreview, record_);
                                       });
  }
  Window ownWindow() {
    Window found = moonwisp::test::windowOfProcess(other_, getpid());
    return found;
  }

  moonwisp::test::PrivateXServer server_;
  Display* display_ = nullptr;
  Display* other_ = nullptr;
  Record record_;
};

TEST_F(X11HostTest, CallsTheLifecycleInOrderAndTicksOnTheViewsInterval) {
  SaverHostOptions options;
  options.maxFrames = 20;
  auto host = makeHost(options);
  ASSERT_TRUE(host->addOwnWindow(0, 0, 100, 80, false, "host test"));
  EXPECT_EQ(host->run(), 0);
  EXPECT_EQ(host->frames(), 20u);
  host.reset();
  const std::vector<std::string> expected{"create 100x80", "start", "frames", "stop", "destroy"};
  std::vector<std::string> events = record_.events;
  events.erase(std::remove(events.begin(), events.end(), "draw"), events.end());  // Expose may come at any time
  const std::vector<std::string> seen = folded(events);
  EXPECT_EQ(seen, expected);
  // Ticks fall on a 10 ms grid that starts with the animation: a frame that
  // ran late is followed by the next grid point, which may be nearer than a
  // period, but never by a second frame before that point (a burst). The
  // host starts its grid just after startAnimation returns: 1 ms of slack.
  constexpr int64_t kPeriod = 10000000;
  constexpr int64_t kSlack = 1000000;
  for (size_t i = 1; i < record_.frameTimes.size(); ++i) {
    const int64_t before = (record_.frameTimes[i - 1] - record_.startTime - kSlack) / kPeriod;
    const int64_t after = (record_.frameTimes[i] - record_.startTime) / kPeriod;
    EXPECT_GT(after, before) << "frames " << i << " and " << i + 1 << " share a grid interval";
  }
  ASSERT_EQ(record_.frameTimes.size(), 20u);
  EXPECT_GE(record_.frameTimes.back() - record_.frameTimes.front(), 18 * 10000000LL);
}

TEST_F(X11HostTest, ASlowFrameSkipsTheTicksItMissedInsteadOfCatchingUp) {
  SaverHostOptions options;
  options.maxFrames = 8;
  record_.onFrame = [](int frame) {
    if (frame == 3) moonwisp::test::sleepMs(55);  // misses five 10 ms deadlines
  };
  auto host = makeHost(options);
  ASSERT_TRUE(host->addOwnWindow(0, 0, 50, 50, false, "host test"));
  EXPECT_EQ(host->run(), 0);
  ASSERT_EQ(record_.frameTimes.size(), 8u);
  for (size_t i = 4; i < record_.frameTimes.size(); ++i)
    EXPECT_GE(record_.frameTimes[i] - record_.frameTimes[i - 1], 4000000) << "frame " << i + 1 << " came in a burst";
}

TEST_F(X11HostTest, ExposeRedrawsAndANewSizeGetsANewView) {
  SaverHostOptions options;
  options.maxFrames = 40;
  record_.onFrame = [this](int frame) {
    const Window window = ownWindow();
    if (frame == 5) XClearArea(other_, window, 0, 0, 0, 0, True);  // asks for an Expose
    if (frame == 10) XResizeWindow(other_, window, 150, 120);
    if (frame == 11) XMoveWindow(other_, window, 30, 30);  // same size: the view stays
    XFlush(other_);
  };
  auto host = makeHost(options);
  ASSERT_TRUE(host->addOwnWindow(0, 0, 100, 80, false, "host test"));
  EXPECT_EQ(host->run(), 0);
  host.reset();
  std::vector<std::string> events = record_.events;
  ASSERT_NE(std::find(events.begin(), events.end(), "draw"), events.end());
  events.erase(std::remove(events.begin(), events.end(), "draw"), events.end());
  const std::vector<std::string> seen = folded(events);
  const std::vector<std::string> expected{"create 100x80", "start", "frames", "stop", "destroy",
                                          "create 150x120", "start", "frames", "stop", "destroy"};
  EXPECT_EQ(seen, expected);
}

TEST_F(X11HostTest, AHiddenWindowGetsNoFramesUntilItIsShownAgain) {
  SaverHostOptions options;
  options.maxFrames = 6;
  std::thread showAgain;
  record_.onFrame = [this, &showAgain](int frame) {
    if (frame != 3) return;
    const Window window = ownWindow();
    XUnmapWindow(other_, window);
    XFlush(other_);
    showAgain = std::thread([name = server_.name(), window] {
      moonwisp::test::sleepMs(300);
      Display* display = XOpenDisplay(name.c_str());
      XMapWindow(display, window);
      XCloseDisplay(display);
    });
  };
  auto host = makeHost(options);
  ASSERT_TRUE(host->addOwnWindow(0, 0, 40, 30, false, "host test"));
  EXPECT_EQ(host->run(), 0);
  showAgain.join();
  ASSERT_EQ(record_.frameTimes.size(), 6u);
  EXPECT_GE(record_.frameTimes[3] - record_.frameTimes[2], 250000000);
}

TEST_F(X11HostTest, ASignalEndsTheRunAfterTheCurrentFrame) {
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    record_ = Record{};
    record_.onFrame = [number](int frame) {
      if (frame == 3) raise(number);
    };
    auto host = makeHost(SaverHostOptions{});
    ASSERT_TRUE(host->addOwnWindow(0, 0, 40, 30, false, "host test"));
    EXPECT_EQ(host->run(), 0);
    EXPECT_EQ(host->frames(), 3u);
    EXPECT_EQ(host->endingSignal(), number);
    host.reset();
    ASSERT_GE(record_.events.size(), 2u);
    EXPECT_EQ(record_.events[record_.events.size() - 2], "stop");
    EXPECT_EQ(record_.events.back(), "destroy");
  }
}

TEST_F(X11HostTest, AForeignWindowGetsAPreviewViewAndItsDestructionEndsTheRun) {
  const Window foreign = moonwisp::test::createPlainWindow(other_, 64, 48);
  XMoveWindow(other_, foreign, 20, 10);
  XSync(other_, False);
  record_.onFrame = [this, foreign](int frame) {
    if (frame == 4) {
      XDestroyWindow(other_, foreign);
      XFlush(other_);
    }
  };
  SaverHostOptions options;
  options.preview = true;
  auto host = makeHost(options);
  ASSERT_TRUE(host->addForeignWindow(foreign));
  EXPECT_FALSE(host->addForeignWindow(foreign + 1000));  // no such window
  EXPECT_EQ(host->run(), 0);
  EXPECT_GE(host->frames(), 4u);
  host.reset();
  ASSERT_FALSE(record_.events.empty());
  EXPECT_EQ(record_.events.front(), "create 64x48 preview");
  EXPECT_EQ(record_.events.back(), "destroy");
}

TEST_F(X11HostTest, TheWindowManagersCloseEndsTheRun) {
  record_.onFrame = [this](int frame) {
    if (frame != 2) return;
    XEvent event{};
    const Window window = ownWindow();
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(other_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(other_, "WM_DELETE_WINDOW", False));
    XSendEvent(other_, window, False, NoEventMask, &event);
    XFlush(other_);
  };
  auto host = makeHost(SaverHostOptions{});
  ASSERT_TRUE(host->addOwnWindow(0, 0, 40, 30, false, "host test"));
  EXPECT_EQ(host->run(), 0);
  host.reset();
  EXPECT_EQ(record_.events.back(), "destroy");
}

TEST_F(X11HostTest, FullScreenMakesOneBorderlessWindowPerMonitor) {
  ASSERT_TRUE(server_.run({"xrandr", "--setmonitor", "*left", "320/85x480/127+0+0", "screen"}));
  ASSERT_TRUE(server_.run({"xrandr", "--setmonitor", "right", "320/85x480/127+320+0", "none"}));
  SaverHostOptions options;
  options.maxFrames = 3;
  auto host = makeHost(options);
  ASSERT_TRUE(host->addFullScreenWindows("host test"));
  EXPECT_EQ(host->run(), 0);
  host.reset();
  EXPECT_EQ(std::count(record_.events.begin(), record_.events.end(), "create 320x480"), 2);
  EXPECT_EQ(std::count(record_.events.begin(), record_.events.end(), "destroy"), 2);
}

TEST_F(X11HostTest, AViewIdleUntilExposedGetsNoTicksButItsExposes) {
  record_.idleAfterFrames = 2;
  std::thread exposeThenEnd;
  record_.onFrame = [&](int frame) {
    if (frame != 2) return;
    exposeThenEnd = std::thread([this] {
      // At 100 ticks a second, a host that kept ticking would do so many times here.
      moonwisp::test::sleepMs(300);
      XClearArea(other_, ownWindow(), 0, 0, 0, 0, True);
      XSync(other_, False);
      raise(SIGTERM);
    });
  };
  auto host = makeHost(SaverHostOptions{});
  ASSERT_TRUE(host->addOwnWindow(0, 0, 40, 30, false, "host test"));
  EXPECT_EQ(host->run(), 0);
  exposeThenEnd.join();
  EXPECT_EQ(host->frames(), 2u);
  EXPECT_EQ(host->endingSignal(), SIGTERM);
  const auto lastFrame = std::find(record_.events.rbegin(), record_.events.rend(), "frame");
  EXPECT_NE(std::find(record_.events.rbegin(), lastFrame, "draw"), lastFrame) << "no drawRect after the last frame";
}

}  // namespace
