// The headless surface: a current context drawing into a framebuffer of the
// requested size, and clear refusals of sizes it cannot make.
#include <EGL/egl.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <utility>

#include "support/gl.h"
#include "platform/gl/egl_context.h"

namespace moonwisp {
namespace {

TEST(EglSurface, DrawsIntoAFramebufferOfTheRequestedSize) {
  std::string error;
  auto surface = EglSurface::create(67, 33, &error);
  auto other = EglSurface::create(8, 8);
  ASSERT_TRUE(surface && other) << error;
  EXPECT_EQ(surface->bounds().width, 67.0);
  EXPECT_EQ(surface->bounds().height, 33.0);
  ASSERT_TRUE(other->makeCurrent());
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  other.reset();  // surfaces share the display but not their pictures or lives
  ASSERT_TRUE(surface->makeCurrent());
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 67);
  EXPECT_EQ(viewport[3], 33);
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 67, 0, 33, -1, 1);
  glColor4f(0, 1, 0, 1);
  glRecti(0, 0, 10, 10);  // fixed-function drawing: a 2.1 context
  surface->flushBuffer();
  const test::Picture picture = test::readPicture(67, 33);
  EXPECT_EQ(picture.at(2, 2)[1], 255);
  EXPECT_EQ(picture.at(2, 2)[0], 0);
  EXPECT_EQ(picture.at(66, 32)[0], 255);
  surface->release();
  EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
}

TEST(EglSurface, SizesItCannotMakeAreRefusedWithAReason) {
  for (const auto& size : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-5, 5}, std::pair{1 << 20, 4}}) {
    std::string error;
    EXPECT_EQ(EglSurface::create(size.first, size.second, &error), nullptr);
    EXPECT_FALSE(error.empty());
  }
  // The last surface ended the shared display; a new one starts it again.
  auto tiny = EglSurface::create(1, 1);
  ASSERT_TRUE(tiny);
  EXPECT_TRUE(tiny->makeCurrent());
  tiny->release();
}

}  // namespace
}  // namespace moonwisp
