// The GLX surface under the test X server (our own window, a foreign one
// adopted by id, a lost one) and the headless EGL surface: each draws into a
// picture of its size, and sizes they cannot make are refused.
// gtest first: X11 defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <EGL/egl.h>
#include <GL/gl.h>
#include <X11/Xlib.h>

#include <string>
#include <utility>

#include "support/gl.h"
#include "support/process.h"
#include "platform/core/system_log.h"
#include "platform/gl/glx_context.h"

namespace moonwisp {
namespace {

// Green in the lower-left corner over red, read back before the swap (a GLX
// front buffer reads back black under Xvfb).
void drawAndCheck(GLSurface& surface) {
  const int width = static_cast<int>(surface.bounds().width);
  const int height = static_cast<int>(surface.bounds().height);
  ASSERT_TRUE(surface.makeCurrent());
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 4, 4);
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  const test::Picture picture = test::readPicture(width, height);
  EXPECT_TRUE(picture.at(1, 1)[1] == 255 && picture.at(1, 1)[0] == 0);
  EXPECT_EQ(picture.at(width - 1, height - 1)[0], 255);
  surface.flushBuffer();
  surface.release();
}

TEST(EglSurface, DrawsIntoAPictureOfItsSizeAndRefusesSizesItCannotMake) {
  for (const auto& size : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-5, 5}, std::pair{1 << 20, 4}}) {
    std::string error;
    EXPECT_EQ(EglSurface::create(size.first, size.second, &error), nullptr);
    EXPECT_FALSE(error.empty());
  }
  auto surface = EglSurface::create(67, 33);
  ASSERT_TRUE(surface);
  drawAndCheck(*surface);
  EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
}

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
  drawAndCheck(*own);
  // XScreenSaver hands over a window by id: ours seen by a second client, or
  // a plain one with the default visual. Both stay when we let go of them.
  const Window plain = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 50, 30, 0, 0, 0);
  for (const Window id : {own->window().id(), plain}) {
    auto adopted = GlxSurface::createForWindow(display, id);
    ASSERT_TRUE(adopted);
    drawAndCheck(*adopted);
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
