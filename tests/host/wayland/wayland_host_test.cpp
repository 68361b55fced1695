// The moonwisp program under a headless sway with two outputs: a window and
// full-screen toplevels draw, outputs come and go, a hidden window draws
// nothing, and each way of ending ends it cleanly. The saver's windows and
// the settings panel each have an app id of their own.
#include <gtest/gtest.h>

#include "support/sway.h"

namespace moonwisp::test {
namespace {

class WaylandProgramTest : public testing::Test {
 protected:
  void SetUp() override { MOONWISP_NEEDS_SERVER(sway_.ok(), sway_.reason()); }
  std::vector<std::string> env() const {
    std::vector<std::string> all = sway_.clientEnv();
    all.push_back("XDG_CONFIG_HOME=" + config_.path());
    return all;
  }

  TestFolder config_;
  HeadlessSway sway_;
};

// The saver's window has an app id of its own, not the settings panel's.
const char* const kSaverWindow = "[app_id=\"^org.moonwisp.Moonwisp.Saver$\"]";

TEST_F(WaylandProgramTest, AWindowFollowsItsSizeRestsWhileHiddenAndEndsOnQ) {
  ChildProcess program({MOONWISP_PATH, "--fps"}, env());  // WAYLAND_DISPLAY alone chooses Wayland
  ASSERT_TRUE(sway_.waitForPicture("HEADLESS-1")) << program.report();

  // A new size is drawn in full: the rest of the output shows sway's grey.
  ASSERT_TRUE(sway_.swaymsg({kSaverWindow, "floating", "enable"}));
  ASSERT_TRUE(sway_.swaymsg({kSaverWindow, "resize", "set", "900", "600"}));
  EXPECT_TRUE(waitUntil([&] { return sway_.screenshot("HEADLESS-1").grey == 1280 * 800 - 900 * 600; }));

  // Frames follow the compositor's frame callbacks: none (a report of 0.0
  // frames/s) while another workspace hides the window.
  ASSERT_TRUE(sway_.swaymsg({"workspace", "9"}));
  const size_t hiddenFrom = program.output().size();
  EXPECT_TRUE(waitUntil([&] {
    return program.output().find(" 0.0 frames/s", hiddenFrom) != std::string::npos;
  })) << program.output();
  ASSERT_TRUE(sway_.swaymsg({"workspace", "1"}));
  EXPECT_TRUE(sway_.waitForPicture("HEADLESS-1")) << program.report();

  // wtype's pause lets the program take its virtual keyboard before the key.
  ASSERT_TRUE(sway_.run({"wtype", "-s", "2000", "q"}));
  EXPECT_TRUE(exitedWith(program.waitFor(allowedMs(5000)), 0)) << program.report();
}

// The settings panel is the application of the desktop file of its name, on
// Wayland too; GTK draws it, with its preview off screen.
TEST_F(WaylandProgramTest, TheSettingsPanelHasTheDesktopFilesAppId) {
  std::vector<std::string> environment = env();
  // GTK tries Wayland only with a runtime folder, whatever WAYLAND_DISPLAY says.
  environment.push_back("XDG_RUNTIME_DIR=" + config_.path());
  environment.push_back("NO_AT_BRIDGE=1");
  ChildProcess panel({MOONWISP_CONFIG_PATH}, environment);
  EXPECT_TRUE(waitUntil([&] { return sway_.swaymsg({"[app_id=\"^org.moonwisp.Moonwisp$\"]", "focus"}); }))
      << panel.report();
  panel.signal(SIGTERM);
  EXPECT_TRUE(killedBy(panel.waitFor(allowedMs(5000)), SIGTERM)) << panel.report();
}

TEST_F(WaylandProgramTest, FullScreenFollowsOutputsEndsBySignalAndKeepsTheSecondBlackUntilSwayDies) {
  ChildProcess program({MOONWISP_PATH, "--fullscreen"}, env());
  EXPECT_TRUE(sway_.waitForPicture("HEADLESS-1")) << program.report();
  EXPECT_TRUE(sway_.waitForPicture("HEADLESS-2")) << program.report();
  // An output that goes takes its view with it; one that comes gets a new one.
  ASSERT_TRUE(sway_.swaymsg({"output", "HEADLESS-2", "disable"}));
  ASSERT_TRUE(sway_.swaymsg({"output", "HEADLESS-2", "enable"}));
  EXPECT_TRUE(sway_.waitForPicture("HEADLESS-2")) << program.report();
  // A signal ends it within a second, then by that same signal.
  program.signal(SIGTERM);
  EXPECT_TRUE(killedBy(program.waitFor(allowedMs(1000)), SIGTERM)) << program.report();

  // Main display only: the first output announced is the main one; the
  // second is covered in black and stays so.
  ASSERT_EQ(runChild({MOONWISP_PREFS_PATH, "write", "mainscreenonly", "true"}, env()).status, 0);
  ChildProcess mainOnly({MOONWISP_PATH, "--fullscreen"}, env());
  ASSERT_TRUE(sway_.waitForPicture("HEADLESS-1")) << mainOnly.report();
  EXPECT_TRUE(waitUntil([&] { return sway_.screenshot("HEADLESS-2").grey == 0; }));
  const OutputPicture second = sway_.screenshot("HEADLESS-2");
  EXPECT_TRUE(second.taken && second.bright == 0 && second.grey == 0) << second.bright << " bright";
  // A compositor that dies ends it with status 0.
  sway_.process().signal(SIGKILL);
  EXPECT_TRUE(exitedWith(mainOnly.waitFor(allowedMs(5000)), 0)) << mainOnly.report();
}

TEST(WaylandProgram, WithoutACompositorItSaysSoAndEndsWithStatusOne) {
  ChildProcess program({MOONWISP_PATH, "--wayland"}, {"WAYLAND_DISPLAY=/nonexistent/wayland-9", "DISPLAY"});
  EXPECT_TRUE(exitedWith(program.waitFor(allowedMs(10000)), 1)) << program.report();
  EXPECT_NE(program.output().find("Wayland compositor"), std::string::npos) << program.output();
}

}  // namespace
}  // namespace moonwisp::test
