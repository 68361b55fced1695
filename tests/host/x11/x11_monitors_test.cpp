// Which monitor is main and which monitors a rectangle shares a pixel with,
// on made-up layouts (the program's full-screen test splits a real screen).
#include <gtest/gtest.h>

#include "host/x11/x11_monitors.h"

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

}  // namespace
