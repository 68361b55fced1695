// Which monitor is main and which monitors a rectangle shares a pixel with,
// on made-up layouts; a server without XRandR is one monitor, the screen.
#include <gtest/gtest.h>

#include "host/x11/x11_host_services.h"
#include "host/x11/x11_monitors.h"
#include "support/x_server.h"

namespace {

using moonwisp::MonitorRect;

TEST(MonitorsTest, TheMainMonitorIsThePrimaryOneElseTheFirst) {
  const MonitorRect left{7, 0, 0, 640, 480, false};
  const MonitorRect right{9, 640, 0, 640, 480, false};
  MonitorRect primaryRight = right;
  primaryRight.primary = true;
  MonitorRect primaryLeft = left;
  primaryLeft.primary = true;
  const struct {
    std::vector<MonitorRect> monitors;
    uint32_t main;
  } cases[] = {
      {{}, 0},
      {{left, right}, 7},
      {{left, primaryRight}, 9},  // the primary need not come first
      {{primaryLeft, right}, 7},
      {{right, left, primaryRight}, 9},
  };
  for (const auto& c : cases) EXPECT_EQ(moonwisp::mainMonitorId(c.monitors), c.main) << c.monitors.size();
}

TEST(MonitorsTest, ARectangleTouchesAMonitorOnlyWhenTheyShareAPixel) {
  const MonitorRect monitor{9, 640, 0, 640, 480, false};
  const struct {
    double x, y, width, height;
    bool touches;
  } cases[] = {
      {640, 0, 640, 480, true},     {600, 100, 100, 100, true},  {1279.5, 479.5, 1, 1, true},
      {540, 0, 100, 100, false},    {1280, 0, 10, 10, false},    {700, 480, 10, 10, false},
      {700, -10, 10, 10, false},    {700, 10, 0, 10, false},     {700, 10, 10, -5, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(moonwisp::rectTouchesMonitor(c.x, c.y, c.width, c.height, monitor), c.touches)
        << c.x << "," << c.y << " " << c.width << "x" << c.height;
}

TEST(MonitorsTest, AServerWithoutRandrIsOneMainMonitorTheScreen) {
  moonwisp::test::PrivateXServer server("800x600x24", false);
  MOONWISP_NEEDS_SERVER(!server.name().empty(), "Xvfb cannot be started");
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  moonwisp::X11HostServices services(display);
  uint32_t ids[4] = {};
  uint32_t count = 0;
  EXPECT_EQ(services.getDisplaysWithRect({700, 500, 500, 500}, 4, ids, &count), 0);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(ids[0], services.mainDisplayID());
  EXPECT_EQ(services.getDisplaysWithRect({800, 0, 50, 50}, 4, ids, &count), 0);
  EXPECT_EQ(count, 0u);
  XCloseDisplay(display);
}

}  // namespace
