// The GLX surface under the test X server: our own window, a foreign one
// adopted by id and a lost one; each draws into a picture of its size, sizes
// it cannot make are refused, and a lost window fails without ending the process.
// gtest first: X11 defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "support/gl.h"
#include "support/process.h"
#include "platform/core/system_log.h"
#include "host/x11/glx_context.h"

namespace moonwisp {
namespace {

TEST(GlxSurface, WindowsAreDrawnIntoAndLostOnesFailWithoutEndingTheProcess) {
  Display* display = XOpenDisplay(nullptr);
  MOONWISP_NEEDS_SERVER(display != nullptr, "no X display");
  std::string log;
  setSystemLogSink([&log](const std::string& line) { log += line + "\n"; });
  for (const auto& size : {std::pair{0, 100}, std::pair{100, -1}, std::pair{40000, 10}})
    EXPECT_EQ(GlxSurface::createWindow(display, size.first, size.second, "t"), nullptr);
  EXPECT_EQ(GlxSurface::createForWindow(display, 0x7ffffff0), nullptr);
  auto own = GlxSurface::createWindow(display, 160, 100, "moonwisp test");
  ASSERT_TRUE(own);
  EXPECT_TRUE(test::drawsOverAllOf(*own));
  // XScreenSaver hands over a window by id: ours seen by a second client, or
  // a plain one with the default visual. Both stay when we let go of them.
  const Window plain = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 50, 30, 0, 0, 0);
  for (const Window id : {own->window().id(), plain}) {
    auto adopted = GlxSurface::createForWindow(display, id);
    ASSERT_TRUE(adopted);
    EXPECT_TRUE(test::drawsOverAllOf(*adopted));
    adopted.reset();
    XWindowAttributes attributes;
    EXPECT_NE(XGetWindowAttributes(display, id, &attributes), 0);
  }
  // A window destroyed under us: drawing and presenting must not crash, and
  // an X error outside any trap is logged, not fatal.
  auto lost = GlxSurface::createForWindow(display, plain);
  XDestroyWindow(display, plain);
  XSync(display, False);
  if (lost->makeCurrent()) lost->flushBuffer();
  EXPECT_EQ(lost->bounds().width, 0.0);
  lost.reset();
  XMapWindow(display, plain);
  XSync(display, False);
  for (const char* line : {"outside", "no window 0x7ffffff0", "X error"})
    EXPECT_NE(log.find(line), std::string::npos) << log;
  setSystemLogSink(nullptr);
  own.reset();  // before its display
  XCloseDisplay(display);
}

}  // namespace
}  // namespace moonwisp
