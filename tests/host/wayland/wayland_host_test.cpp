// The moonwisp program under a Wayland compositor (headless sway): a window
// and full-screen toplevels draw, outputs come and go, hidden surfaces cost
// nothing, and it ends with status 0 on q, any key in full screen, signals
// and a compositor that dies.
#include <gtest/gtest.h>

#include <csignal>

#include "support/sway.h"

namespace {

using moonwisp::test::allowedMs;
using moonwisp::test::ChildProcess;
using moonwisp::test::exitedWith;
using moonwisp::test::killedBy;
using moonwisp::test::HeadlessSway;

const std::string kMoonwisp = MOONWISP_PATH;
const std::string kPrefsTool = MOONWISP_PREFS_PATH;
const std::string kConfigPanel = MOONWISP_CONFIG_PATH;

// The rates of the "moonwisp: R frames/s, ..." lines that --fps prints.
std::vector<double> frameRates(const std::string& text) {
  std::vector<double> rates;
  const std::string prefix = "moonwisp: ";
  for (size_t at = text.find(prefix); at != std::string::npos; at = text.find(prefix, at + 1)) {
    const size_t end = text.find(" frames/s", at);
    if (end != std::string::npos && end < text.find('\n', at))
      rates.push_back(std::stod(text.substr(at + prefix.size())));
  }
  return rates;
}

class WaylandProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string dir = moonwisp::test::temporaryPattern("moonwisp-config");
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    configHome_ = dir;
    sway_ = std::make_unique<HeadlessSway>();
    if (!sway_->ok()) {
      if (std::getenv("CI")) FAIL() << sway_->reason();
      GTEST_SKIP() << sway_->reason();
    }
  }
  void TearDown() override {
    sway_.reset();
    ChildProcess({"rm", "-rf", configHome_}).waitFor(10000);
  }
  std::vector<std::string> env() const {
    std::vector<std::string> result = sway_->clientEnv();
    result.push_back("XDG_CONFIG_HOME=" + configHome_);
    return result;
  }
  std::unique_ptr<ChildProcess> start(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), kMoonwisp);
    return std::make_unique<ChildProcess>(arguments, env());
  }
  void expectEndsWithStatusZero(ChildProcess& program, int withinMs) {
    EXPECT_TRUE(exitedWith(program.waitFor(allowedMs(withinMs)), 0)) << program.report();
    EXPECT_EQ(program.output().find("Sanitizer"), std::string::npos) << program.output();
  }
  // A signal ends it cleanly, and then by that same signal.
  void expectEndsBySignal(ChildProcess& program, int signal, int withinMs = 1000) {
    program.signal(signal);
    EXPECT_TRUE(killedBy(program.waitFor(allowedMs(withinMs)), signal)) << program.report();
    EXPECT_EQ(program.output().find("Sanitizer"), std::string::npos) << program.output();
  }

  std::string configHome_;
  std::unique_ptr<HeadlessSway> sway_;
};

TEST_F(WaylandProgramTest, AWindowDrawsCarriesItsNamesFollowsItsSizeAndEndsOnQ) {
  // WAYLAND_DISPLAY alone (no X server) chooses Wayland.
  auto program = start({});
  ASSERT_TRUE(sway_->waitForPicture("HEADLESS-1")) << program->report();
  std::string tree;
  ASSERT_TRUE(sway_->swaymsg({"-t", "get_tree"}, &tree));
  EXPECT_NE(tree.find("\"app_id\": \"org.moonwisp.Moonwisp\""), std::string::npos) << tree;
  EXPECT_NE(tree.find("\"name\": \"Moonwisp\""), std::string::npos) << tree;

  // Each new size is a new view, drawn at that size. (One size at a time:
  // sway may drop a resize asked for while the window's last one is under way.)
  const std::string window = "[app_id=org.moonwisp.Moonwisp]";
  ASSERT_TRUE(sway_->swaymsg({window, "floating", "enable"}));
  for (const auto& [width, height] : {std::pair{200, 100}, std::pair{900, 600}, std::pair{640, 400}}) {
    ASSERT_TRUE(sway_->swaymsg({window, "resize", "set", std::to_string(width), std::to_string(height)}));
    const int uncovered = 1280 * 800 - width * height;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(allowedMs(20000));
    moonwisp::test::OutputPicture picture;
    do picture = sway_->screenshot("HEADLESS-1");
    while (picture.grey != uncovered && std::chrono::steady_clock::now() < end);
    EXPECT_EQ(picture.grey, uncovered) << width << " x " << height << "\n" << program->report();
  }
  EXPECT_TRUE(sway_->waitForPicture("HEADLESS-1")) << program->report();

  // wtype's virtual keyboard appears first; the pause lets the program take it
  // before the key comes.
  ASSERT_TRUE(sway_->run({"wtype", "-s", "2000", "q"}));
  expectEndsWithStatusZero(*program, 5000);
}

TEST_F(WaylandProgramTest, EachEndingSignalEndsItWithinASecondByThatSignal) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    auto program = start({"--fullscreen"});
    ASSERT_TRUE(sway_->waitForPicture("HEADLESS-1")) << program->report();
    expectEndsBySignal(*program, signal);
  }
}

TEST_F(WaylandProgramTest, FullScreenCoversEveryOutputFollowsOutputsAndEndsOnAnyKey) {
  auto program = start({"--fullscreen"});
  EXPECT_TRUE(sway_->waitForPicture("HEADLESS-1")) << program->report();
  EXPECT_TRUE(sway_->waitForPicture("HEADLESS-2")) << program->report();

  // An output that goes takes its view; when it comes back it gets a new one.
  ASSERT_TRUE(sway_->swaymsg({"output", "HEADLESS-2", "disable"}));
  ASSERT_TRUE(sway_->waitForPicture("HEADLESS-1")) << program->report();
  ASSERT_TRUE(program->running()) << program->report();
  ASSERT_TRUE(sway_->swaymsg({"output", "HEADLESS-2", "enable"}));
  EXPECT_TRUE(sway_->waitForPicture("HEADLESS-2")) << program->report();

  ASSERT_TRUE(sway_->run({"wtype", "-s", "2000", "x"}));
  expectEndsWithStatusZero(*program, 5000);
}

TEST_F(WaylandProgramTest, MainDisplayOnlyKeepsTheSecondOutputBlack) {
  ChildProcess prefs({kPrefsTool, "write", "mainscreenonly", "true"}, env());
  ASSERT_TRUE(exitedWith(prefs.waitFor(10000), 0)) << prefs.output();
  auto program = start({"--fullscreen"});
  // The first output announced is the main one.
  ASSERT_TRUE(sway_->waitForPicture("HEADLESS-1")) << program->report();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(allowedMs(20000));
  moonwisp::test::OutputPicture second;
  do second = sway_->screenshot("HEADLESS-2");
  while (second.grey > 0 && std::chrono::steady_clock::now() < end);
  EXPECT_EQ(second.grey, 0) << "the second output is not covered";
  for (int sample = 0; sample < 5; ++sample) {
    second = sway_->screenshot("HEADLESS-2");
    EXPECT_TRUE(second.taken);
    EXPECT_EQ(second.bright, 0);
    EXPECT_EQ(second.grey, 0);
  }
  expectEndsBySignal(*program, SIGTERM);
}

// Frames follow the compositor's frame callbacks: never more than the 60 Hz
// timer, and none at all while nothing shows the window.
TEST_F(WaylandProgramTest, AHiddenWindowDrawsNoFrames) {
  auto program = start({"--fps"});
  ASSERT_TRUE(sway_->waitForPicture("HEADLESS-1")) << program->report();
  ASSERT_TRUE(sway_->swaymsg({"[app_id=org.moonwisp.Moonwisp]", "move", "container", "to", "workspace", "9"}));
  const size_t hiddenFrom = program->output().size();
  // Once hidden, a whole second without a frame shows as 0.0 frames/s.
  bool idle = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(allowedMs(20000));
  while (!idle && std::chrono::steady_clock::now() < end) {
    moonwisp::test::sleepMs(200);
    for (const double rate : frameRates(program->output().substr(hiddenFrom))) idle = idle || rate == 0.0;
  }
  EXPECT_TRUE(idle) << program->output();
  const std::vector<double> rates = frameRates(program->output());
  EXPECT_GE(rates.size(), 2u) << program->output();
  for (const double rate : rates) EXPECT_LE(rate, 62.0) << program->output();
  expectEndsBySignal(*program, SIGTERM);
}

// The settings panel on GTK's Wayland back end: its preview is drawn off
// screen and painted by the toolkit, so it needs no X11 window.
TEST_F(WaylandProgramTest, TheSettingsPanelShowsALivePreview) {
  std::vector<std::string> environment = env();
  environment.insert(environment.end(), {"GDK_BACKEND=wayland", "XDG_RUNTIME_DIR=" + sway_->runtimeDir(),
                                         "NO_AT_BRIDGE=1", "G_DEBUG=fatal-criticals"});
  ChildProcess panel({kConfigPanel}, environment);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(allowedMs(20000));
  moonwisp::test::OutputPicture shown;
  do shown = sway_->screenshot("HEADLESS-1");
  while (shown.colourful < 200 && panel.running() && std::chrono::steady_clock::now() < end);
  EXPECT_GE(shown.colourful, 200) << panel.report();
  ASSERT_TRUE(panel.running()) << panel.report();
  EXPECT_EQ(panel.output(), "");
}

TEST_F(WaylandProgramTest, AKilledCompositorEndsItWithStatusZero) {
  auto program = start({"--fullscreen"});
  ASSERT_TRUE(sway_->waitForPicture("HEADLESS-2")) << program->report();
  sway_->process().signal(SIGKILL);
  expectEndsWithStatusZero(*program, 5000);
}

TEST(WaylandProgram, WithoutACompositorItSaysSoAndEndsWithStatusOne) {
  ChildProcess program({kMoonwisp, "--wayland"}, {"WAYLAND_DISPLAY=/nonexistent/wayland-9", "DISPLAY"});
  const auto status = program.waitFor(allowedMs(10000));
  EXPECT_TRUE(exitedWith(status, 1)) << program.report();
  EXPECT_NE(program.output().find("Wayland compositor"), std::string::npos) << program.output();
}

}  // namespace
