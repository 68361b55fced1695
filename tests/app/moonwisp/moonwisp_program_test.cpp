// The moonwisp program as users and XScreenSaver run it, each test on an X
// server of its own (no other window can cover the pixels it reads): every
// mode draws into the right window, every way of ending it ends it cleanly
// (status 0, or killed by the very signal sent), bad arguments get one clear
// line, and a lost X server ends it quietly.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <regex>
#include <sstream>

#include "support/x_server.h"

namespace {

using namespace moonwisp::test;

const std::string kMoonwisp = MOONWISP_PATH;

std::string hex(Window window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(window));
  return text;
}

struct Report {
  double fps, cpu;  // frames a second, and the CPU share in per cent
};

// Every --fps report printed so far.
std::vector<Report> fpsReports(const ChildProcess& program) {
  std::istringstream lines(program.output());
  std::vector<Report> found;
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("moonwisp: ");
    Report report{};
    if (at != std::string::npos &&
        std::sscanf(line.c_str() + at, "moonwisp: %lf frames/s, CPU %lf%%", &report.fps, &report.cpu) == 2)
      found.push_back(report);
  }
  return found;
}

// How often its main thread has slept and woken again.
long wakeUps(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::atol(line.c_str() + 24);
  return -1;
}

class ProgramTest : public testing::Test {
 protected:
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }
  void openDisplay(const std::string& screen = "1280x800x24") {
    server_ = std::make_unique<PrivateXServer>(screen);
    MOONWISP_NEEDS_SERVER(!server_->name().empty(), "Xvfb cannot be started");
    display_ = XOpenDisplay(server_->name().c_str());
    ASSERT_NE(display_, nullptr);
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  // Its own empty settings, this test's X server (unless `extra` sets DISPLAY), no Wayland session.
  std::vector<std::string> env(const std::string& extra = "") const {
    // A program stuck past its time prints its stack on SIGABRT; what the libraries it loads keep
    // for the life of the process, the shared suppressions name.
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::vector<std::string> result{"XDG_CONFIG_HOME=" + config_.path(), "WAYLAND_DISPLAY",
                                    "DBUS_SESSION_BUS_ADDRESS",
                                    "LSAN_OPTIONS=suppressions=" MOONWISP_LSAN_SUPPRESSIONS,
                                    "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":handle_abort=1"};
    if (extra.rfind("DISPLAY", 0) != 0) result.push_back("DISPLAY=" + (server_ ? server_->name() : ""));
    if (!extra.empty()) result.push_back(extra);
    return result;
  }
  void setPreference(const std::string& key, const std::string& value) {
    ChildProcess tool({MOONWISP_PREFS_PATH, "write", key, value}, env());
    ASSERT_TRUE(exitedWith(tool.waitFor(allowedMs(10000)), 0)) << tool.output();
  }
  std::string preferencesText() {
    ChildProcess tool({MOONWISP_PREFS_PATH, "path"}, env());
    EXPECT_TRUE(exitedWith(tool.waitFor(allowedMs(10000)), 0)) << tool.output();
    return readFile(tool.output().substr(0, tool.output().find('\n')));
  }
  // A key pressed in the window, as sent to it rather than typed.
  void sendKey(Window window, KeySym key) {
    XEvent event{};
    event.xkey.type = KeyPress;
    event.xkey.window = window;
    event.xkey.keycode = XKeysymToKeycode(display_, key);
    XSendEvent(display_, window, False, KeyPressMask, &event);
    XFlush(display_);
  }
  // Ends it with the signal; a crash or a leak on the way out would end it otherwise.
  void expectEndBy(ChildProcess& program, int signal = SIGTERM) {
    ASSERT_TRUE(program.running()) << program.report();
    program.signal(signal);
    EXPECT_TRUE(killedBy(program.waitFor(allowedMs(5000)), signal)) << program.report();
  }

  TestFolder config_;
  std::unique_ptr<PrivateXServer> server_;
  Display* display_ = nullptr;
};

TEST_F(ProgramTest, EveryWayOfEndingItsWindowEndsItCleanly) {
  openDisplay();
  const struct {
    const char* how;
    int signal;  // 0: it must end with status 0
  } endings[] = {{"close", 0},    {"q", 0},        {"Escape", 0},          {"TERM", SIGTERM},
                 {"INT", SIGINT}, {"HUP", SIGHUP}, {"X server lost", 0}};  // last: the server is gone
  for (const auto& ending : endings) {
    SCOPED_TRACE(ending.how);
    ChildProcess program({kMoonwisp, "--geometry", "200x150"}, env());
    Window window = 0;
    const auto shown = [&] { return (window = windowOfProcess(display_, program.pid())) != 0; };
    ASSERT_TRUE(waitUntil(shown, 15000)) << program.report();
    if (&ending == endings) {
      // A class of its own: the bundle's identifier names the settings panel.
      XClassHint hint{};
      ASSERT_TRUE(XGetClassHint(display_, window, &hint));
      EXPECT_EQ(std::string(hint.res_name) + " " + hint.res_class,
                "org.moonwisp.Moonwisp.Saver org.moonwisp.Moonwisp.Saver");
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
    // Butterflies on screen: the ending comes in the middle of the animation.
    ASSERT_TRUE(waitForPicture(display_, window, 0, 0, 200, 150, 15000)) << program.report();
    if (ending.signal != 0) {
      expectEndBy(program, ending.signal);
      continue;
    } else if (ending.how == std::string("X server lost")) {
      // Our connection dies with the server: kept reachable, never touched again.
      [[maybe_unused]] static Display* volatile lost = nullptr;
      lost = std::exchange(display_, nullptr);
      XSetIOErrorHandler([](Display*) { return 0; });
      server_->process().signal(SIGTERM);  // it removes its lock file and socket, as SIGKILL would not
    } else if (ending.how == std::string("close")) {
      // What a window manager sends when the user closes the window.
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = window;
      event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
      XSendEvent(display_, window, False, NoEventMask, &event);
    } else {
      sendKey(window, XStringToKeysym(ending.how));
    }
    if (display_) XFlush(display_);
    EXPECT_TRUE(exitedWith(program.waitFor(allowedMs(5000)), 0)) << program.report();
  }
}

// Full screen, any real input (through XTEST, as a user's) ends it with
// status 0, as it ends a screen saver; a jiggle of the pointer, or a key
// other than q or Escape in a window of its own, does not. That window rests
// while hidden and follows its size.
TEST_F(ProgramTest, AnyInputEndsFullScreenButNotAWindowWhichRestsWhileHiddenAndFollowsItsSize) {
  openDisplay();
  const Window root = DefaultRootWindow(display_);
  const struct {
    std::vector<std::string> xdotool;  // empty: a synthetic key "a" sent to its own window
    bool fullScreen;
    bool ends;
  } inputs[] = {{{"key", "a"}, true, true}, {{"key", "space"}, true, true}, {{"click", "1"}, true, true},
                {{"click", "3"}, true, true}, {{"mousemove_relative", "--", "40", "-30"}, true, true},
                {{"mousemove_relative", "--", "3", "-2"}, true, false}, {{}, false, false}};
  for (const auto& input : inputs) {
    SCOPED_TRACE(testing::PrintToString(input.xdotool) + (input.fullScreen ? " full screen" : " window"));
    // The pointer starts each run where the server put it, the middle of the screen.
    ASSERT_TRUE(server_->run({"xdotool", "mousemove", "640", "400"}));
    ChildProcess program(input.fullScreen ? std::vector<std::string>{kMoonwisp, "--fps", "--fullscreen"}
                                          : std::vector<std::string>{kMoonwisp, "--fps", "--geometry", "200x150"},
                         env());
    Window window = 0;
    ASSERT_TRUE(waitUntil([&] { return (window = windowOfProcess(display_, program.pid())) != 0; }, 15000))
        << program.report();
    ASSERT_TRUE(waitForPicture(display_, input.fullScreen ? root : window, 0, 0, 200, 150, 15000))
        << program.report();
    if (input.xdotool.empty()) {
      sendKey(window, XK_a);
    } else {
      std::vector<std::string> command{"xdotool"};
      command.insert(command.end(), input.xdotool.begin(), input.xdotool.end());
      ASSERT_TRUE(server_->run(command));
    }
    if (input.ends) {
      EXPECT_TRUE(exitedWith(program.waitFor(allowedMs(5000)), 0)) << program.report();
      continue;
    }
    // Two more reports a second apart: it has looked at its events since.
    const size_t reports = fpsReports(program).size();
    EXPECT_TRUE(waitUntil([&] { return fpsReports(program).size() >= reports + 2; }, 30000)) << program.report();
    if (!input.fullScreen) {
      // Unmapped, its window draws nothing and costs nothing: two whole
      // seconds without a frame, with the time of one at most spent.
      XUnmapWindow(display_, window);
      XSync(display_, False);
      const auto idle = [&] {
        const std::vector<Report> shown = fpsReports(program);
        const size_t n = shown.size();
        return n >= 2 && shown[n - 1].fps == 0 && shown[n - 2].fps == 0 && shown[n - 1].cpu < 10;
      };
      EXPECT_TRUE(waitUntil(idle, 30000)) << program.report();
      XMapWindow(display_, window);
      XSync(display_, False);
      EXPECT_TRUE(waitUntil([&] { return fpsReports(program).back().fps > 0; }, 30000)) << program.report();
      // Resized, the picture fills the new size (a view made for it): this
      // part lies outside wherever the old 200x150 picture would sit.
      XResizeWindow(display_, window, 640, 400);
      XSync(display_, False);
      EXPECT_TRUE(waitForPicture(display_, window, 220, 0, 420, 400, 20000)) << program.report();
    }
    expectEndBy(program);
  }
}

TEST_F(ProgramTest, XScreenSaversModesDrawIntoTheGivenWindowAndEndWithIt) {
  openDisplay();
  const Window target = createPlainWindow(display_, 300, 180);
  const struct {
    std::vector<std::string> argv;
    std::string variable;
  } modes[] = {
      {{kMoonwisp, "-root"}, "XSCREENSAVER_WINDOW=" + hex(target)},
      {{kMoonwisp, "-root", "--window-id", std::to_string(target)}, ""},  // as a settings panel appends it
      {{kMoonwisp, "--preview", "--window-id", hex(target)}, ""},         // the settings dialog's preview
      // Last: its window is destroyed. Slow frames make that fall between two
      // frames, where a saver spends most of its time: Mesa's software driver
      // has been seen to crash in its own threads when the window goes in the
      // middle of a frame.
      {{kMoonwisp, "-window-id", hex(target), "--interval-us", "500000"}, ""},
  };
  for (const auto& mode : modes) {
    SCOPED_TRACE(testing::PrintToString(mode.argv));
    XClearWindow(display_, target);
    XSync(display_, False);
    ChildProcess program(mode.argv, env(mode.variable));
    EXPECT_TRUE(waitForPicture(display_, target, 0, 0, 300, 180, 15000)) << program.report();
    if (&mode != &modes[3]) {
      expectEndBy(program);
      continue;
    }
    XDestroyWindow(display_, target);
    XSync(display_, False);
    // A frame that starts just as the window goes can keep the software GL
    // driver busy for many seconds (seen: 25) before the loop sees the news.
    EXPECT_TRUE(exitedWith(program.waitFor(allowedMs(60000)), 0)) << program.report();
  }
}

// Bad arguments and missing windows or displays get one clear line; tiny and
// huge windows draw their frames and end.
TEST_F(ProgramTest, EachRunEndsWithItsStatusAndMessage) {
  openDisplay();
  const struct {
    std::vector<std::string> argv;
    std::string variable;
    int status;
    std::string says;
  } runs[] = {
      {{kMoonwisp, "-window-id", "0x1fffffff"}, "", 2, "there is no window 0x1fffffff"},  // the last XID
      {{kMoonwisp, "-root"}, "XSCREENSAVER_WINDOW=nonsense", 2, "\"nonsense\""},
      {{kMoonwisp, "--fullscreen", "--geometry", "100x100"}, "", 2, "--geometry"},
      {{kMoonwisp, "--bogus"}, "", 2, "--bogus"},
      {{kMoonwisp}, "DISPLAY", 1, "no X display"},
      {{kMoonwisp}, "DISPLAY=:4321", 1, "\":4321\""},
      {{kMoonwisp, "--geometry", "1x1", "--frames", "3"}, "", 0, ""},
      {{kMoonwisp, "--geometry", "7680x4320", "--frames", "3"}, "", 0, ""},
  };
  for (const auto& run : runs) {
    ChildProcess program(run.argv, env(run.variable));
    const auto status = program.waitFor(allowedMs(60000));
    const std::string output = program.output();
    SCOPED_TRACE(testing::PrintToString(run.argv) + " " + run.variable + ": " + output);
    EXPECT_TRUE(exitedWith(status, run.status)) << describe(status);
    if (run.status == 0) continue;
    EXPECT_EQ(output.rfind("moonwisp: ", 0), 0u);
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1);
    EXPECT_NE(output.find(run.says), std::string::npos);
  }
}

TEST_F(ProgramTest, FullScreenFillsBothMonitorsOrKeepsTheSecondaryBlackAndStill) {
  openDisplay("1280x400x24");
  ASSERT_TRUE(server_->run({"xrandr", "--setmonitor", "*left", "640/169x400/106+0+0", "screen"}));
  ASSERT_TRUE(server_->run({"xrandr", "--setmonitor", "right", "640/169x400/106+640+0", "none"}));
  const Window root = DefaultRootWindow(display_);
  for (const bool mainOnly : {false, true}) {
    SCOPED_TRACE(mainOnly ? "main display only" : "both displays");
    // The command line's setting wins over the stored one, for this run only.
    setPreference("mainscreenonly", mainOnly ? "false" : "true");
    const std::string stored = preferencesText();
    ASSERT_NE(stored, "");
    ChildProcess program({kMoonwisp, "--fullscreen", "--fps", mainOnly ? "--main-display-only" : "-all-displays"},
                         env());
    EXPECT_TRUE(waitForPicture(display_, root, 0, 0, 640, 400, 15000)) << program.report();
    EXPECT_TRUE(mainOnly || waitForPicture(display_, root, 640, 0, 640, 400, 15000));
    // However long a loaded machine takes to start: two reports after the
    // picture (the secondary had that long to draw), one that counted frames.
    const auto counted = [&program] {
      const std::vector<Report> reports = fpsReports(program);
      return reports.size() >= 2 && std::any_of(reports.begin(), reports.end(), [](auto& r) { return r.fps > 0; });
    };
    EXPECT_TRUE(waitUntil(counted, 30000)) << program.report();
    EXPECT_TRUE(!mainOnly || pixelsAbove(display_, root, 640, 0, 640, 400, 0) == 0);
    expectEndBy(program);
    // The timer's 60 a second, never more; a report counts rounds in which any view drew.
    for (const Report& report : fpsReports(program))
      EXPECT_LE(report.fps, mainOnly ? 70.0 : 130.0) << program.output();
    EXPECT_EQ(preferencesText(), stored);
  }
  // XScreenSaver's process for the secondary monitor (main display only set in
  // its dialog) shows its black frame and then costs nothing: no frames, no
  // CPU, no wake-ups but the report's once a second, until it is exposed.
  const Window target = createPlainWindow(display_, 640, 400);
  XMoveWindow(display_, target, 640, 0);
  XSetWindowBackground(display_, target, WhitePixel(display_, DefaultScreen(display_)));
  XClearWindow(display_, target);
  XSync(display_, False);
  ChildProcess program({kMoonwisp, "-window-id", hex(target), "--fps", "-main-display-only"}, env());
  const auto black = [&] { return pixelsAbove(display_, target, 0, 0, 640, 400, 40) == 0; };
  EXPECT_TRUE(waitUntil(black, 15000)) << program.report();
  // Its start is over by the second report; three more, counted by its own clock.
  ASSERT_TRUE(waitUntil([&] { return fpsReports(program).size() >= 2; }, 30000)) << program.report();
  const size_t idleFrom = fpsReports(program).size();
  const long wokenBefore = wakeUps(program.pid());
  ASSERT_TRUE(waitUntil([&] { return fpsReports(program).size() >= idleFrom + 3; }, 30000)) << program.report();
  // A 60 Hz timer left running would wake it about 180 times.
  EXPECT_LT(wakeUps(program.pid()) - wokenBefore, 40) << program.output();
  for (size_t i = idleFrom; i < fpsReports(program).size(); ++i)
    EXPECT_LT(fpsReports(program)[i].cpu, 10.0) << program.output();
  // Exposed (the server paints the white background), it draws black again.
  XClearArea(display_, target, 0, 0, 0, 0, True);
  XSync(display_, False);
  EXPECT_TRUE(waitUntil(black, 15000)) << program.report();
  expectEndBy(program);
  for (const Report& report : fpsReports(program)) EXPECT_EQ(report.fps, 0.0) << program.output();
}

// --frames N ends after N frames shown, the one drawn at the start among them;
// the first four frames of a view are black, the fifth has butterflies.
TEST_F(ProgramTest, FramesEndsAfterExactlyThatManyFrames) {
  openDisplay();
  const Window target = createPlainWindow(display_, 300, 180);
  for (const auto& [frames, lit] : {std::pair{4, false}, std::pair{5, true}}) {
    SCOPED_TRACE(frames);
    XClearWindow(display_, target);
    XSync(display_, False);
    ChildProcess program({kMoonwisp, "-window-id", hex(target), "--frames", std::to_string(frames)}, env());
    ASSERT_TRUE(exitedWith(program.waitFor(allowedMs(60000)), 0)) << program.report();
    // Its window keeps the last frame it showed.
    EXPECT_EQ(pixelsAbove(display_, target, 0, 0, 300, 180, 0) > 0, lit);
  }
}

}  // namespace
