// Monitors as the saver's displays, on a private Xvfb split into monitors with
// xrandr --setmonitor: which monitors a rectangle touches, which is main, and
// what a server without monitors answers.
#include <gtest/gtest.h>

#include "host/x11/x11_host_services.h"
#include "host/x11/x11_monitors.h"
#include "support/x_server.h"

namespace {

using moonwisp::MonitorRect;
using moonwisp::ViewRect;
using moonwisp::X11HostServices;

class MonitorsTest : public testing::Test {
 protected:
  void SetUp() override {
    MOONWISP_NEEDS_SERVER(!server_.name().empty(), "Xvfb cannot be started");
    display_ = XOpenDisplay(server_.name().c_str());
    ASSERT_NE(display_, nullptr);
  }
  void TearDown() override {
    if (display_) XCloseDisplay(display_);
  }
  // Two side-by-side 640x480 monitors; primaryName names the primary one, or
  // neither when empty.
  void splitScreen(const std::string& primaryName) {
    ASSERT_TRUE(server_.run({"xrandr", "--setmonitor", primaryName == "left" ? "*left" : "left",
                             "640/169x480/127+0+0", "screen"}));
    ASSERT_TRUE(server_.run({"xrandr", "--setmonitor", primaryName == "right" ? "*right" : "right",
                             "640/169x480/127+640+0", "none"}));
  }
  std::vector<uint32_t> displaysOf(X11HostServices& services, ViewRect rect) {
    uint32_t ids[8] = {};
    uint32_t count = 99;
    EXPECT_EQ(services.getDisplaysWithRect(rect, 8, ids, &count), 0);
    return std::vector<uint32_t>(ids, ids + count);
  }

  moonwisp::test::PrivateXServer server_{"1280x480x24"};
  Display* display_ = nullptr;
};

TEST_F(MonitorsTest, RectanglesTouchTheMonitorsTheyShareAPixelWith) {
  splitScreen("right");
  std::vector<MonitorRect> monitors;
  ASSERT_TRUE(moonwisp::queryMonitors(display_, DefaultRootWindow(display_), &monitors));
  ASSERT_EQ(monitors.size(), 2u);
  X11HostServices services(display_);
  const uint32_t left = monitors[0].x == 0 ? monitors[0].id : monitors[1].id;
  const uint32_t right = monitors[0].x == 0 ? monitors[1].id : monitors[0].id;
  EXPECT_NE(left, right);
  EXPECT_EQ(services.mainDisplayID(), right);

  EXPECT_EQ(displaysOf(services, {0, 0, 640, 480}), std::vector<uint32_t>{left});
  EXPECT_EQ(displaysOf(services, {640, 0, 640, 480}), std::vector<uint32_t>{right});
  EXPECT_EQ(displaysOf(services, {600, 100, 100, 100}).size(), 2u);  // spans both
  // Touching an edge is not sharing a pixel; off-screen touches nothing.
  EXPECT_EQ(displaysOf(services, {540, 0, 100, 100}), std::vector<uint32_t>{left});
  EXPECT_TRUE(displaysOf(services, {2000, 2000, 10, 10}).empty());
  EXPECT_TRUE(displaysOf(services, {10, 10, 0, 0}).empty());

  // The list is cut at the caller's limit.
  uint32_t one[1] = {};
  uint32_t count = 0;
  EXPECT_EQ(services.getDisplaysWithRect({0, 0, 1280, 480}, 1, one, &count), 0);
  EXPECT_EQ(count, 1u);
}

TEST_F(MonitorsTest, WithoutAPrimaryMonitorTheFirstIsMain) {
  splitScreen("");
  std::vector<MonitorRect> monitors;
  ASSERT_TRUE(moonwisp::queryMonitors(display_, DefaultRootWindow(display_), &monitors));
  ASSERT_EQ(monitors.size(), 2u);
  EXPECT_FALSE(monitors[0].primary || monitors[1].primary);
  EXPECT_EQ(moonwisp::mainMonitorId(monitors), monitors[0].id);
  X11HostServices services(display_);
  EXPECT_EQ(services.mainDisplayID(), monitors[0].id);
  EXPECT_EQ(moonwisp::mainMonitorId({}), 0u);
}

TEST_F(MonitorsTest, TheWholeScreenIsOneMonitorUntilItIsSplit) {
  std::vector<MonitorRect> monitors;
  ASSERT_TRUE(moonwisp::queryMonitors(display_, DefaultRootWindow(display_), &monitors));
  ASSERT_EQ(monitors.size(), 1u);
  EXPECT_EQ(monitors[0].width, 1280);
  EXPECT_EQ(monitors[0].height, 480);
  X11HostServices services(display_);
  EXPECT_EQ(displaysOf(services, {0, 0, 1280, 480}), std::vector<uint32_t>{services.mainDisplayID()});
}

TEST(MonitorsWithoutRandr, TheScreenIsTheOneMainMonitor) {
  moonwisp::test::PrivateXServer server("800x600x24", false);
  MOONWISP_NEEDS_SERVER(!server.name().empty(), "Xvfb cannot be started");
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  std::vector<MonitorRect> monitors;
  ASSERT_TRUE(moonwisp::queryMonitors(display, DefaultRootWindow(display), &monitors));
  ASSERT_EQ(monitors.size(), 1u);
  EXPECT_EQ(monitors[0].width, 800);
  EXPECT_EQ(monitors[0].height, 600);
  EXPECT_TRUE(monitors[0].primary);
  X11HostServices services(display);
  uint32_t ids[4] = {};
  uint32_t count = 0;
  EXPECT_EQ(services.getDisplaysWithRect({100, 100, 50, 50}, 4, ids, &count), 0);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(ids[0], services.mainDisplayID());
  XCloseDisplay(display);
}

TEST(HostServicesWithoutDisplay, QueriesFailAndNoSurfaceIsMade) {
  X11HostServices services(nullptr);
  uint32_t ids[2] = {};
  uint32_t count = 7;
  EXPECT_NE(services.getDisplaysWithRect({0, 0, 10, 10}, 2, ids, &count), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(services.mainDisplayID(), 0u);
  EXPECT_EQ(services.createSurface({0, 0, 10, 10}), nullptr);
}

}  // namespace
