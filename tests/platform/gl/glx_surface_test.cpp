// The X11 + GLX surface under the test X server: our own window, a foreign
// window adopted by id, and the failures a host must survive.
// gtest first: X11 defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/gl.h"
#include "platform/core/system_log.h"
#include "platform/gl/glx_context.h"
#include "platform/gl/x11_error_handler.h"

using moonwisp::GlxSurface;

namespace {

class GlxSurfaceTest : public testing::Test {
 protected:
  void SetUp() override {
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
      if (std::getenv("CI")) FAIL() << "no X display";
      GTEST_SKIP() << "no X display";
    }
    moonwisp::setSystemLogSink([this](const std::string& line) { log_.push_back(line); });
  }
  void TearDown() override {
    moonwisp::setSystemLogSink(nullptr);
    if (display_) XCloseDisplay(display_);
  }
  bool logged(const std::string& fragment) const {
    for (const auto& line : log_)
      if (line.find(fragment) != std::string::npos) return true;
    return false;
  }

  Display* display_ = nullptr;
  std::vector<std::string> log_;
};

// Draws a green square in the lower-left corner over red, and reads the back
// buffer before the swap (the front buffer reads back black under Xvfb).
void drawAndCheck(int width, int height) {
  glViewport(0, 0, width, height);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, width, 0, height, -1, 1);
  glColor4f(0, 1, 0, 1);
  glRecti(0, 0, 4, 4);
  glReadBuffer(GL_BACK);
  const auto picture = moonwisp::test::readPicture(width, height);
  EXPECT_EQ(picture.at(1, 1)[1], 255);
  EXPECT_EQ(picture.at(1, 1)[0], 0);
  EXPECT_EQ(picture.at(width - 1, height - 1)[0], 255);
}

}  // namespace

TEST_F(GlxSurfaceTest, OwnWindowDrawsPresentsAndReportsItsSize) {
  auto surface = GlxSurface::createWindow(display_, 160, 100, "moonwisp test");
  ASSERT_TRUE(surface);
  EXPECT_TRUE(surface->window().owned());
  EXPECT_EQ(surface->bounds().width, 160.0);
  EXPECT_EQ(surface->bounds().height, 100.0);
  ASSERT_TRUE(surface->makeCurrent());
  EXPECT_NE(glXGetCurrentContext(), nullptr);

  GLint bits[4] = {};
  glGetIntegerv(GL_RED_BITS, &bits[0]);
  glGetIntegerv(GL_ALPHA_BITS, &bits[1]);
  glGetIntegerv(GL_DEPTH_BITS, &bits[2]);
  GLboolean doubleBuffered = GL_FALSE;
  glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
  EXPECT_EQ(bits[0], 8);
  EXPECT_GE(bits[2], 16);
  EXPECT_TRUE(doubleBuffered);

  drawAndCheck(160, 100);
  surface->flushBuffer();
  // The swap interval is set only where the server offers swap control.
  const bool offered = moonwisp::glxHasSwapControl(display_, DefaultScreen(display_));
  EXPECT_EQ(surface->setSwapInterval(1), offered);
  surface->release();
  EXPECT_EQ(glXGetCurrentContext(), nullptr);
  EXPECT_FALSE(surface->setSwapInterval(1));  // needs the context current
}

TEST_F(GlxSurfaceTest, WindowSizesOutsideWhatXAcceptsAreRefused) {
  EXPECT_EQ(GlxSurface::createWindow(display_, 0, 100, "t"), nullptr);
  EXPECT_EQ(GlxSurface::createWindow(display_, 100, -1, "t"), nullptr);
  EXPECT_EQ(GlxSurface::createWindow(display_, 40000, 10, "t"), nullptr);
  EXPECT_TRUE(logged("outside"));
  auto tiny = GlxSurface::createWindow(display_, 1, 1, "t");
  ASSERT_TRUE(tiny);
  EXPECT_TRUE(tiny->makeCurrent());
  tiny->release();
}

TEST_F(GlxSurfaceTest, ForeignWindowIsDrawnIntoAndLeftInPlace) {
  auto own = GlxSurface::createWindow(display_, 64, 48, "host");
  ASSERT_TRUE(own);
  // A second client's view of the same window, as XScreenSaver hands it over.
  const Window id = own->window().id();
  auto foreign = GlxSurface::createForWindow(display_, id);
  ASSERT_TRUE(foreign);
  EXPECT_FALSE(foreign->window().owned());
  EXPECT_EQ(foreign->bounds().width, 64.0);
  ASSERT_TRUE(foreign->makeCurrent());
  drawAndCheck(64, 48);
  foreign->flushBuffer();
  foreign->release();
  foreign.reset();
  // Releasing the adopted surface did not destroy the window.
  XWindowAttributes attributes;
  EXPECT_NE(XGetWindowAttributes(display_, id, &attributes), 0);
}

TEST_F(GlxSurfaceTest, ForeignWindowWithTheDefaultVisualIsAdopted) {
  const Window plain = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 50, 30, 0, 0, 0);
  XSync(display_, False);
  auto surface = GlxSurface::createForWindow(display_, plain);
  ASSERT_TRUE(surface) << "no GL config for the default visual";
  ASSERT_TRUE(surface->makeCurrent());
  drawAndCheck(50, 30);
  surface->release();
  surface.reset();
  XDestroyWindow(display_, plain);
}

TEST_F(GlxSurfaceTest, MissingAndVanishedWindowsFailWithoutEndingTheProcess) {
  EXPECT_EQ(GlxSurface::createForWindow(display_, 0x7ffffff0), nullptr);
  EXPECT_TRUE(logged("no window 0x7ffffff0"));

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
  surface->release();
  XSync(display_, False);
  surface.reset();
  // An error outside any trap is logged, not fatal.
  log_.clear();
  XMapWindow(display_, plain);
  XSync(display_, False);
  EXPECT_TRUE(logged("X error"));
}

TEST(GlxExtensions, SwapControlIsReadFromTheExtensionString) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    if (std::getenv("CI")) FAIL() << "no X display";
    GTEST_SKIP() << "no X display";
  }
  const char* list = glXQueryExtensionsString(display, DefaultScreen(display));
  const bool listed = list && (std::strstr(list, "GLX_EXT_swap_control") || std::strstr(list, "GLX_MESA_swap_control"));
  EXPECT_EQ(moonwisp::glxHasSwapControl(display, DefaultScreen(display)), static_cast<bool>(listed));
  XCloseDisplay(display);
}
