// The moonwisp program under X: its modes draw into the right window, and it
// ends cleanly (no crash, nothing left behind) on signals, then killed by the
// signal, and with status 0 on a closed or destroyed window and on a lost X
// server; bad arguments give status 2.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include <csignal>

#include "support/x_server.h"
#include "platform/gl/glx_context.h"

namespace {

using moonwisp::test::ChildProcess;
using moonwisp::test::describe;
using moonwisp::test::exitedWith;
using moonwisp::test::killedBy;
using moonwisp::test::PrivateXServer;

const std::string kMoonwisp = MOONWISP_PATH;
const std::string kPrefsTool = MOONWISP_PREFS_PATH;

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

std::string hex(Window window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(window));
  return text;
}

// Every test runs the program with its own, empty settings.
class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string dir = moonwisp::test::temporaryPattern("moonwisp-config");
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    configHome_ = dir;
    XSetErrorHandler(ignoreXErrors);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
    display_ = nullptr;
    server_.reset();
    ChildProcess({"/bin/rm", "-rf", configHome_}).waitFor(5000);
  }
  // An X server of the test's own: no other test's window can cover the
  // pixels it reads.
  void openDisplay() {
    server_ = std::make_unique<PrivateXServer>("1280x800x24");
    MOONWISP_NEEDS_SERVER(!server_->name().empty(), "Xvfb cannot be started");
    display_ = XOpenDisplay(server_->name().c_str());
    ASSERT_NE(display_, nullptr);
  }
  std::vector<std::string> env(const std::string& display = "") const {
    // In a sanitizer build a program stuck past its time prints its stack on SIGABRT.
    std::string asan = "handle_abort=1";
    if (const char* inherited = std::getenv("ASAN_OPTIONS")) asan = std::string(inherited) + ":" + asan;
    // Under X whatever session runs the tests (no WAYLAND_DISPLAY).
    std::vector<std::string> result{"XDG_CONFIG_HOME=" + configHome_, "ASAN_OPTIONS=" + asan, "WAYLAND_DISPLAY"};
    if (!display.empty())
      result.push_back("DISPLAY=" + display);
    else if (server_ && !server_->name().empty())
      result.push_back("DISPLAY=" + server_->name());
    return result;
  }
  void setPreference(const std::string& key, const std::string& value) {
    ChildProcess tool({kPrefsTool, "write", key, value}, env());
    ASSERT_TRUE(exitedWith(tool.waitFor(10000), 0)) << tool.output();
  }
  // Ends a running program with SIGTERM and expects it to end by that signal
  // (a leak or a crash on the way out would end it otherwise).
  void expectCleanEnd(ChildProcess& program, int signal = SIGTERM, int withinMs = 1000) {
    ASSERT_TRUE(program.running()) << describe(program.waitFor(0)) << "\n" << program.output();
    program.signal(signal);
    const auto status = program.waitFor(moonwisp::test::allowedMs(withinMs));
    EXPECT_TRUE(killedBy(status, signal)) << describe(status) << "\n" << program.report();
  }

  std::string configHome_;
  std::unique_ptr<PrivateXServer> server_;
  Display* display_ = nullptr;
};

TEST_F(ProgramTest, EachEndingSignalEndsItWithinASecondByThatSignal) {
  openDisplay();
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    ChildProcess program({kMoonwisp, "--geometry", "160x100"}, env());
    ASSERT_TRUE(moonwisp::test::waitForWindowOfProcess(display_, program.pid(), 10000)) << program.output();
    moonwisp::test::sleepMs(300);  // let it draw a few frames
    expectCleanEnd(program, signal);
  }
}

TEST_F(ProgramTest, ClosingTheWindowOrPressingQOrEscapeEndsIt) {
  openDisplay();
  const Atom protocols = XInternAtom(display_, "WM_PROTOCOLS", False);
  const Atom deleteWindow = XInternAtom(display_, "WM_DELETE_WINDOW", False);
  for (const char* how : {"close", "q", "Escape"}) {
    ChildProcess program({kMoonwisp, "--geometry", "160x100"}, env());
    const Window window = moonwisp::test::waitForWindowOfProcess(display_, program.pid(), 10000);
    ASSERT_NE(window, 0u) << program.output();
    moonwisp::test::sleepMs(300);
    XEvent event{};
    if (std::string(how) == "close") {
      // What a window manager sends when the user closes the window.
      event.xclient.type = ClientMessage;
      event.xclient.window = window;
      event.xclient.message_type = protocols;
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(deleteWindow);
      XSendEvent(display_, window, False, NoEventMask, &event);
    } else {
      event.xkey.type = KeyPress;
      event.xkey.window = window;
      event.xkey.root = DefaultRootWindow(display_);
      event.xkey.same_screen = True;
      event.xkey.keycode = XKeysymToKeycode(display_, XStringToKeysym(how));
      XSendEvent(display_, window, False, KeyPressMask, &event);
    }
    XFlush(display_);
    const auto status = program.waitFor(moonwisp::test::allowedMs(2000));
    EXPECT_TRUE(exitedWith(status, 0)) << how << ": " << program.report();
  }
}

TEST_F(ProgramTest, FpsPrintsFramesPerSecondAndCpuUseOnceASecond) {
  openDisplay();
  ChildProcess program({kMoonwisp, "--geometry", "32x32", "--fps"}, env());
  // A line a second: wait for three (the first second may see no frame yet
  // on a busy machine), however long a loaded machine takes to print them.
  const auto lines = [&program] {
    std::vector<std::pair<double, double>> found;
    const std::string output = program.output();
    for (size_t at = 0; (at = output.find("moonwisp: ", at)) != std::string::npos; ++at) {
      double fps = 0;
      double cpu = 0;
      if (std::sscanf(output.c_str() + at, "moonwisp: %lf frames/s, CPU %lf%%", &fps, &cpu) == 2)
        found.emplace_back(fps, cpu);
    }
    return found;
  };
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (lines().size() < 3 && program.running() && std::chrono::steady_clock::now() < deadline)
    moonwisp::test::sleepMs(50);
  expectCleanEnd(program);
  const auto seen = lines();
  ASSERT_GE(seen.size(), 3u) << program.output();
  double fastest = 0;
  for (const auto& [fps, cpu] : seen) {
    EXPECT_LE(fps, 70.0);  // the timer's 60 per second, not more
    EXPECT_GE(cpu, 0.0);
    fastest = std::max(fastest, fps);
  }
  EXPECT_GT(fastest, 0.0) << program.output();
}

TEST_F(ProgramTest, WindowIdAndRootModesDrawIntoTheGivenWindow) {
  openDisplay();
  {
    const Window target = moonwisp::test::createPlainWindow(display_, 320, 200);
    ChildProcess program({kMoonwisp, "-window-id", hex(target)}, env());
    EXPECT_TRUE(moonwisp::test::waitForPicture(display_, target, 0, 0, 320, 200, 15000)) << program.output();
    expectCleanEnd(program);
    XDestroyWindow(display_, target);
  }
  {
    // XScreenSaver names its window in the environment, in hex.
    const Window target = moonwisp::test::createPlainWindow(display_, 300, 180);
    auto environment = env();
    environment.push_back("XSCREENSAVER_WINDOW=" + hex(target));
    ChildProcess program({kMoonwisp, "-root"}, environment);
    EXPECT_TRUE(moonwisp::test::waitForPicture(display_, target, 0, 0, 300, 180, 15000)) << program.output();
    expectCleanEnd(program);
    // Decimal ids work too, with the double-dash spelling, and a window id
    // appended to a -root command line wins (as a settings panel does it).
    XClearWindow(display_, target);
    XSync(display_, False);
    ASSERT_EQ(moonwisp::test::windowLevels(display_, target, 0, 0, 300, 180).countAbove(0), 0);
    ChildProcess decimal({kMoonwisp, "-root", "--window-id", std::to_string(target)}, env());
    EXPECT_TRUE(moonwisp::test::waitForPicture(display_, target, 0, 0, 300, 180, 15000)) << decimal.output();
    expectCleanEnd(decimal);
    XDestroyWindow(display_, target);
  }
}

TEST_F(ProgramTest, APreviewDrawsIntoTheSettingsWindowsArea) {
  openDisplay();
  const Window area = moonwisp::test::createPlainWindow(display_, 240, 150);
  // The preview builds the settings sheet with GTK, whose font caches live as
  // long as the process: the shared suppressions name them.
  auto environment = env();
  environment.insert(environment.end(), {"LSAN_OPTIONS=suppressions=" MOONWISP_LSAN_SUPPRESSIONS,
                                         "DBUS_SESSION_BUS_ADDRESS"});
  ChildProcess program({kMoonwisp, "--preview", "--window-id", hex(area)}, environment);
  EXPECT_TRUE(moonwisp::test::waitForPicture(display_, area, 0, 0, 240, 150, 15000)) << program.output();
  expectCleanEnd(program);
  XDestroyWindow(display_, area);
}

// A TrueColor visual for which the server has no double-buffered GLX
// configuration with a depth buffer (toolkits may pick one), or 0.
VisualID visualWithoutGlx(Display* display) {
  XVisualInfo pattern{};
  pattern.screen = DefaultScreen(display);
  pattern.c_class = TrueColor;
  pattern.depth = 24;
  int count = 0;
  XVisualInfo* visuals = XGetVisualInfo(display, VisualScreenMask | VisualClassMask | VisualDepthMask, &pattern, &count);
  VisualID found = 0;
  for (int i = 0; i < count && found == 0; ++i) {
    GLXFBConfig config{};
    if (!moonwisp::chooseGlxFBConfig(display, pattern.screen, visuals[i].visualid, &config)) found = visuals[i].visualid;
  }
  if (visuals) XFree(visuals);
  return found;
}

TEST_F(ProgramTest, AForeignWindowWhoseVisualCannotTakeOpenGLStillShowsThePicture) {
  openDisplay();
  const VisualID visualId = visualWithoutGlx(display_);
  if (visualId == 0) GTEST_SKIP() << "every visual of this server takes OpenGL";
  XVisualInfo pattern{};
  pattern.visualid = visualId;
  int count = 0;
  XVisualInfo* info = XGetVisualInfo(display_, VisualIDMask, &pattern, &count);
  ASSERT_NE(info, nullptr);
  const Window root = DefaultRootWindow(display_);
  XSetWindowAttributes attributes{};
  attributes.colormap = XCreateColormap(display_, root, info->visual, AllocNone);
  attributes.border_pixel = 0;
  attributes.background_pixel = 0;
  const Window target = XCreateWindow(display_, root, 0, 0, 240, 160, 0, info->depth, InputOutput, info->visual,
                                      CWColormap | CWBorderPixel | CWBackPixel, &attributes);
  XFree(info);
  XMapWindow(display_, target);
  XSync(display_, False);
  ChildProcess program({kMoonwisp, "-window-id", hex(target)}, env());
  EXPECT_TRUE(moonwisp::test::waitForPicture(display_, target, 0, 0, 240, 160, 15000)) << program.output();
  // It follows the window's size too.
  XResizeWindow(display_, target, 400, 300);
  XSync(display_, False);
  EXPECT_TRUE(moonwisp::test::waitForPicture(display_, target, 240, 0, 160, 300, 15000)) << program.output();
  expectCleanEnd(program);
  XDestroyWindow(display_, target);
  XFreeColormap(display_, attributes.colormap);
}

TEST_F(ProgramTest, DestroyingTheForeignWindowEndsIt) {
  openDisplay();
  const Window target = moonwisp::test::createPlainWindow(display_, 200, 120);
  ChildProcess program({kMoonwisp, "-window-id", hex(target)}, env());
  ASSERT_TRUE(moonwisp::test::waitForPicture(display_, target, 0, 0, 200, 120, 15000)) << program.output();
  XDestroyWindow(display_, target);
  XSync(display_, False);
  const auto status = program.waitFor(moonwisp::test::allowedMs(2000));
  EXPECT_TRUE(exitedWith(status, 0)) << program.report();
}

TEST_F(ProgramTest, BadArgumentsAndMissingWindowsGiveOneLineAndStatusTwo) {
  openDisplay();
  const Window gone = moonwisp::test::createPlainWindow(display_, 10, 10);
  XDestroyWindow(display_, gone);
  XSync(display_, False);
  const std::vector<std::vector<std::string>> cases = {
      {"-window-id", hex(gone)},
      {"--window-id", "banana"},
      {"--window-id", "0"},
      {"--geometry", "0x100"},
      {"--geometry", "40000x10"},
      {"--geometry", "wide"},
      {"--bogus"},
      {"--root", "--fullscreen"},
      {"--fullscreen", "--geometry", "100x100"},
      {"--preview"},
      {"--interval-us", "-5"},
      {"extra"},
  };
  for (const auto& arguments : cases) {
    std::vector<std::string> argv{kMoonwisp};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildProcess program(argv, env());
    const auto status = program.waitFor(10000);
    const std::string output = program.output();
    EXPECT_TRUE(exitedWith(status, 2)) << arguments[0] << ": " << describe(status) << "\n" << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
    EXPECT_EQ(output.rfind("moonwisp: ", 0), 0u) << output;
  }
  auto environment = env();
  environment.push_back("XSCREENSAVER_WINDOW=nonsense");
  ChildProcess badVariable({kMoonwisp, "-root"}, environment);
  EXPECT_TRUE(exitedWith(badVariable.waitFor(10000), 2)) << badVariable.output();
}

TEST_F(ProgramTest, WithoutADisplayItSaysSoAndEndsWithStatusOne) {
  auto environment = env();
  environment.push_back("DISPLAY");
  ChildProcess unset({kMoonwisp}, environment);
  EXPECT_TRUE(exitedWith(unset.waitFor(10000), 1)) << unset.output();
  EXPECT_NE(unset.output().find("no X display"), std::string::npos) << unset.output();

  ChildProcess unreachable({kMoonwisp}, env(":4321"));
  EXPECT_TRUE(exitedWith(unreachable.waitFor(10000), 1)) << unreachable.output();
  EXPECT_NE(unreachable.output().find(":4321"), std::string::npos) << unreachable.output();
}

TEST_F(ProgramTest, AWindowResizedTenTimesInASecondSurvivesAndDrawsAtItsLastSize) {
  openDisplay();
  ChildProcess program({kMoonwisp, "--geometry", "200x150"}, env());
  const Window window = moonwisp::test::waitForWindowOfProcess(display_, program.pid(), 10000);
  ASSERT_NE(window, 0u) << program.output();
  ASSERT_TRUE(moonwisp::test::waitForPicture(display_, window, 0, 0, 200, 150, 15000)) << program.output();
  for (int i = 0; i < 10; ++i) {
    XResizeWindow(display_, window, 120 + 37 * i, 90 + 23 * i);
    XFlush(display_);
    moonwisp::test::sleepMs(100);
  }
  XResizeWindow(display_, window, 400, 300);
  XSync(display_, False);
  // The picture fills the new size: butterflies show where the first window
  // did not reach.
  EXPECT_TRUE(moonwisp::test::waitForPicture(display_, window, 200, 0, 200, 300, 15000)) << program.output();
  expectCleanEnd(program);
}

TEST_F(ProgramTest, TinyAndHugeWindowsSurvive) {
  openDisplay();
  for (const char* geometry : {"1x1", "7680x4320"}) {
    ChildProcess program({kMoonwisp, "--geometry", geometry, "--frames", "2"}, env());
    const auto status = program.waitFor(40000);
    EXPECT_TRUE(exitedWith(status, 0)) << geometry << ": " << program.report();
  }
}

TEST_F(ProgramTest, LosingTheXServerEndsItQuietlyWithStatusZero) {
  PrivateXServer server;
  MOONWISP_NEEDS_SERVER(!server.name().empty(), "Xvfb cannot be started");
  // Kept reachable: a connection to a dead server cannot be closed.
  static Display* display = nullptr;
  display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  ChildProcess program({kMoonwisp, "--geometry", "200x150"}, env(server.name()));
  const Window window = moonwisp::test::waitForWindowOfProcess(display, program.pid(), 10000);
  ASSERT_NE(window, 0u) << program.output();
  EXPECT_TRUE(moonwisp::test::waitForPicture(display, window, 0, 0, 200, 150, 15000)) << program.output();
  // Our own connection goes down with the server; nothing may touch it after.
  XSetIOErrorHandler([](Display*) -> int { return 0; });
  server.process().signal(SIGKILL);
  const auto status = program.waitFor(moonwisp::test::allowedMs(5000));
  EXPECT_TRUE(exitedWith(status, 0)) << program.report();
  EXPECT_EQ(program.output().find("Sanitizer"), std::string::npos) << program.output();
}

TEST_F(ProgramTest, FullScreenOnTwoMonitorsKeepsTheSecondaryBlackWhenAskedTo) {
  PrivateXServer server{"1280x400x24"};
  MOONWISP_NEEDS_SERVER(!server.name().empty(), "Xvfb cannot be started");
  ASSERT_TRUE(server.run({"xrandr", "--setmonitor", "*left", "640/169x400/106+0+0", "screen"}));
  ASSERT_TRUE(server.run({"xrandr", "--setmonitor", "right", "640/169x400/106+640+0", "none"}));
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  const Window root = DefaultRootWindow(display);

  // Both monitors draw by default.
  {
    ChildProcess program({kMoonwisp, "--fullscreen"}, env(server.name()));
    EXPECT_TRUE(moonwisp::test::waitForPicture(display, root, 0, 0, 640, 400, 15000)) << program.output();
    EXPECT_TRUE(moonwisp::test::waitForPicture(display, root, 640, 0, 640, 400, 15000)) << program.output();
    expectCleanEnd(program);
  }
  // With "mainscreenonly" the secondary stays black while the main one draws.
  setPreference("mainscreenonly", "true");
  {
    ChildProcess program({kMoonwisp, "--fullscreen"}, env(server.name()));
    EXPECT_TRUE(moonwisp::test::waitForPicture(display, root, 0, 0, 640, 400, 15000)) << program.output();
    for (int sample = 0; sample < 5; ++sample) {
      EXPECT_EQ(moonwisp::test::windowLevels(display, root, 640, 0, 640, 400).countAbove(0), 0);
      moonwisp::test::sleepMs(200);
    }
    expectCleanEnd(program);
  }
  // XScreenSaver's process for the secondary monitor shows its black frame
  // and then draws nothing more: its timer stops.
  {
    const Window target = moonwisp::test::createPlainWindow(display, 640, 400);
    XMoveWindow(display, target, 640, 0);
    XSync(display, False);
    ChildProcess program({kMoonwisp, "-window-id", hex(target), "--fps"}, env(server.name()));
    moonwisp::test::sleepMs(2600);
    expectCleanEnd(program);
    const std::string output = program.output();
    int lines = 0;
    for (size_t at = 0; (at = output.find("moonwisp: ", at)) != std::string::npos; ++at) {
      double fps = -1;
      if (std::sscanf(output.c_str() + at, "moonwisp: %lf frames/s", &fps) != 1) continue;
      ++lines;
      EXPECT_EQ(fps, 0.0) << output;
    }
    EXPECT_GE(lines, 2) << output;
    XDestroyWindow(display, target);
  }
  XCloseDisplay(display);
}

}  // namespace
