// The GLX surface under the test X server (our own window, a foreign one
// adopted by id, a lost one) and the headless EGL surface: each draws into a
// picture of its size, and sizes they cannot make are refused.
// gtest first: X11 defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <EGL/egl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <string>
#include <utility>

#include "support/gl.h"
#include "support/process.h"
#include "platform/core/system_log.h"
#include "platform/gl/glx_context.h"

namespace moonwisp {
namespace {

// Draws green in the lower-left corner over red and reads it back before the
// swap (a GLX front buffer reads back black under Xvfb).
void drawAndCheck(GLSurface& surface) {
  const int width = static_cast<int>(surface.bounds().width);
  const int height = static_cast<int>(surface.bounds().height);
  ASSERT_TRUE(surface.makeCurrent());
  glViewport(0, 0, width, height);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width, 0, height, -1, 1);
  glColor4f(0, 1, 0, 1);
  glRecti(0, 0, 4, 4);  // fixed-function drawing: a 2.1 context
  const test::Picture picture = test::readPicture(width, height);
  EXPECT_EQ(picture.at(1, 1)[1], 255);
  EXPECT_EQ(picture.at(1, 1)[0], 0);
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
  std::string error;
  auto surface = EglSurface::create(67, 33, &error);
  ASSERT_TRUE(surface) << error;
  drawAndCheck(*surface);
  EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
}

class GlxSurfaceTest : public testing::Test {
 protected:
  void SetUp() override {
    display_ = XOpenDisplay(nullptr);
    MOONWISP_NEEDS_SERVER(display_ != nullptr, "no X display");
    setSystemLogSink([this](const std::string& line) { log_ += line + "\n"; });
  }
  void TearDown() override {
    setSystemLogSink(nullptr);
    if (display_) XCloseDisplay(display_);
  }
  Display* display_ = nullptr;
  std::string log_;
};

TEST_F(GlxSurfaceTest, OwnAndAdoptedWindowsAreDrawnIntoAndAdoptedOnesLeftInPlace) {
  for (const auto& size : {std::pair{0, 100}, std::pair{100, -1}, std::pair{40000, 10}})
    EXPECT_EQ(GlxSurface::createWindow(display_, size.first, size.second, "t"), nullptr);
  EXPECT_NE(log_.find("outside"), std::string::npos) << log_;
  auto own = GlxSurface::createWindow(display_, 160, 100, "moonwisp test");
  ASSERT_TRUE(own);
  EXPECT_EQ(own->bounds().width, 160.0);
  drawAndCheck(*own);
  // XScreenSaver hands over a window by id: ours seen by a second client, or
  // a plain one with the default visual.
  const Window plain = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 50, 30, 0, 0, 0);
  for (const Window id : {own->window().id(), plain}) {
    auto adopted = GlxSurface::createForWindow(display_, id);
    ASSERT_TRUE(adopted);
    drawAndCheck(*adopted);
    adopted.reset();
    XWindowAttributes attributes;
    EXPECT_NE(XGetWindowAttributes(display_, id, &attributes), 0);
  }
  XDestroyWindow(display_, plain);
}

TEST_F(GlxSurfaceTest, MissingAndVanishedWindowsFailWithoutEndingTheProcess) {
  EXPECT_EQ(GlxSurface::createForWindow(display_, 0x7ffffff0), nullptr);
  EXPECT_NE(log_.find("no window 0x7ffffff0"), std::string::npos) << log_;
  const Window plain = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 20, 20, 0, 0, 0);
  auto surface = GlxSurface::createForWindow(display_, plain);
  ASSERT_TRUE(surface);
  XDestroyWindow(display_, plain);
  XSync(display_, False);
  // Whether making it current notices the loss is up to the driver (the host
  // learns of it from DestroyNotify); drawing and presenting must not crash.
  if (surface->makeCurrent()) {
    glClear(GL_COLOR_BUFFER_BIT);
    surface->flushBuffer();
  }
  EXPECT_EQ(surface->bounds().width, 0.0);
  surface.reset();
  // An error outside any trap is logged, not fatal.
  log_.clear();
  XMapWindow(display_, plain);
  XSync(display_, False);
  EXPECT_NE(log_.find("X error"), std::string::npos) << log_;
}

}  // namespace
}  // namespace moonwisp
