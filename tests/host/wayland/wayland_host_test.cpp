// The moonwisp program under a headless sway with two outputs: a window and
// full-screen toplevels draw, a hidden window draws nothing, any input ends
// full screen, and each way of ending ends it cleanly; under a sway whose
// outputs really come and go, full screen keeps one window per output. The
// saver's windows and the settings panel each have an app id of their own.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/pluggable_outputs.h"
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
  EXPECT_TRUE(waitUntil([&] { return program.output().find(" 0.0 frames/s", hiddenFrom) != std::string::npos; }))
      << program.output();
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
  environment.insert(environment.end(), {"XDG_RUNTIME_DIR=" + config_.path(), "NO_AT_BRIDGE=1"});
  ChildProcess panel({MOONWISP_CONFIG_PATH}, environment);
  EXPECT_TRUE(waitUntil([&] { return sway_.swaymsg({"[app_id=\"^org.moonwisp.Moonwisp$\"]", "focus"}); }))
      << panel.report();
  panel.signal(SIGTERM);
  EXPECT_TRUE(killedBy(panel.waitFor(allowedMs(5000)), SIGTERM)) << panel.report();
}

TEST_F(WaylandProgramTest, FullScreenEndsBySignalAndKeepsTheSecondBlackUntilSwayDies) {
  ChildProcess program({MOONWISP_PATH, "--fullscreen"}, env());
  EXPECT_TRUE(sway_.waitForPicture("HEADLESS-1")) << program.report();
  EXPECT_TRUE(sway_.waitForPicture("HEADLESS-2")) << program.report();
  // A signal ends it within a second, then by that same signal.
  program.signal(SIGTERM);
  EXPECT_TRUE(killedBy(program.waitFor(allowedMs(1000)), SIGTERM)) << program.report();

  // Main display only: the first output announced is the main one (which
  // one that is, is sway's choice: 1.7 announces HEADLESS-1 first, 1.10
  // HEADLESS-2); the other is covered in black and stays so.
  ASSERT_EQ(runChild({MOONWISP_PREFS_PATH, "write", "mainscreenonly", "true"}, env()).status, 0);
  ChildProcess mainOnly({MOONWISP_PATH, "--fullscreen"}, env());
  std::string black;
  const auto oneDrawnOneBlack = [&] {
    for (const auto& [drawn, other] : {std::pair{"HEADLESS-1", "HEADLESS-2"}, std::pair{"HEADLESS-2", "HEADLESS-1"}}) {
      const OutputPicture picture = sway_.screenshot(drawn), covered = sway_.screenshot(other);
      if (picture.bright >= 200 && covered.taken && covered.bright == 0 && covered.grey == 0) black = other;
    }
    return !black.empty();
  };
  ASSERT_TRUE(waitUntil(oneDrawnOneBlack)) << mainOnly.report();
  const OutputPicture second = sway_.screenshot(black);
  EXPECT_TRUE(second.taken && second.bright == 0 && second.grey == 0) << second.bright << " bright";
  // A compositor that dies ends it with status 0.
  sway_.process().signal(SIGKILL);
  EXPECT_TRUE(exitedWith(mainOnly.waitFor(allowedMs(5000)), 0)) << mainOnly.report();
}

// A key (other than q), a button, or the pointer moving ends full screen
// with status 0; a jiggle of the pointer does not. The pointer is a virtual
// one that repeats its gesture until the program, which binds it once it has
// come, sees it.
TEST_F(WaylandProgramTest, AnyInputEndsFullScreenButAJiggleDoesNot) {
  const struct {
    std::vector<std::string> input;
    bool ends;
  } inputs[] = {{{"wtype", "-s", "2000", "a"}, true},  // the pause lets the program take the new keyboard
                {{VIRTUAL_POINTER_PATH, "button"}, true}, {{VIRTUAL_POINTER_PATH, "motion"}, true},
                {{VIRTUAL_POINTER_PATH, "jiggle"}, false}};
  for (const auto& input : inputs) {
    SCOPED_TRACE(testing::PrintToString(input.input));
    ChildProcess program({MOONWISP_PATH, "--fullscreen", "--fps"}, env());
    ASSERT_TRUE(sway_.waitForPicture("HEADLESS-1")) << program.report();
    ChildProcess device(input.input, sway_.clientEnv());
    if (input.ends) {
      EXPECT_TRUE(exitedWith(program.waitFor(allowedMs(20000)), 0)) << program.report() << device.report();
      continue;
    }
    // Three more reports, a second apart, with the pointer jiggling all along.
    const std::string before = program.output();
    const size_t reports = std::count(before.begin(), before.end(), '\n');
    EXPECT_TRUE(waitUntil([&] {
      const std::string output = program.output();
      return size_t(std::count(output.begin(), output.end(), '\n')) >= reports + 3;
    })) << program.report();
    EXPECT_TRUE(device.running()) << device.report();
    ASSERT_TRUE(program.running()) << program.report();
    program.signal(SIGTERM);
    EXPECT_TRUE(killedBy(program.waitFor(allowedMs(5000)), SIGTERM)) << program.report();
  }
}

// Full screen keeps exactly one window per output while outputs are unplugged
// and plugged in: counted in the compositor's tree, after checking that the
// output really went.
TEST_F(WaylandProgramTest, FullScreenKeepsOneWindowPerOutputAsOutputsComeAndGo) {
  PluggableOutputs outputs(sway_);
  MOONWISP_NEEDS_SERVER(outputs.ok(), outputs.reason());
  std::vector<std::string> environment = outputs.clientEnv();
  environment.push_back("XDG_CONFIG_HOME=" + config_.path());
  ChildProcess program({MOONWISP_PATH, "--fullscreen"}, environment);
  const auto windows = [&] { return outputs.windowsOf("org.moonwisp.Moonwisp.Saver"); };
  EXPECT_TRUE(waitUntil([&] { return windows() == 2; })) << windows() << " windows; " << program.report();

  const std::vector<std::string> names = outputs.outputNames();
  ASSERT_EQ(names.size(), 2u);
  ASSERT_TRUE(outputs.unplug(names[1]));
  ASSERT_TRUE(waitUntil([&] { return outputs.outputNames() == std::vector<std::string>{names[0]}; }))
      << "the output was not removed";
  EXPECT_TRUE(waitUntil([&] { return windows() == 1; })) << windows() << " windows; " << program.report();

  ASSERT_TRUE(outputs.plugIn());
  ASSERT_TRUE(waitUntil([&] { return outputs.outputNames().size() == 2; })) << "no output was added";
  EXPECT_TRUE(waitUntil([&] { return windows() == 2; })) << windows() << " windows; " << program.report();
  ASSERT_TRUE(program.running()) << program.report();
  program.signal(SIGTERM);
  EXPECT_TRUE(killedBy(program.waitFor(allowedMs(5000)), SIGTERM)) << program.report();
}

TEST(WaylandProgram, WithoutACompositorItSaysSoAndEndsWithStatusOne) {
  ChildProcess program({MOONWISP_PATH, "--wayland"}, {"WAYLAND_DISPLAY=/nonexistent/wayland-9", "DISPLAY"});
  EXPECT_TRUE(exitedWith(program.waitFor(allowedMs(10000)), 1)) << program.report();
  EXPECT_NE(program.output().find("Wayland compositor"), std::string::npos) << program.output();
}

}  // namespace
}  // namespace moonwisp::test
