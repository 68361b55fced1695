// The headless surface: a current context drawing into a framebuffer of the
// requested size, and clear refusals of sizes it cannot make.
#include <EGL/egl.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "support/gl.h"
#include "platform/gl/egl_context.h"

using moonwisp::EglSurface;
using moonwisp::test::readPicture;

TEST(EglSurface, DrawsIntoAFramebufferOfTheRequestedSize) {
  std::string error;
  auto surface = EglSurface::create(67, 33, &error);
  ASSERT_TRUE(surface) << error;
  EXPECT_EQ(surface->bounds().width, 67.0);
  EXPECT_EQ(surface->bounds().height, 33.0);
  ASSERT_TRUE(surface->makeCurrent());
  EXPECT_NE(eglGetCurrentContext(), EGL_NO_CONTEXT);

  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 67);
  EXPECT_EQ(viewport[3], 33);
  // The fixed-function pipeline is there: a 2.1 context.
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  ASSERT_NE(version, nullptr);
  EXPECT_GE(version[0], '2');

  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glColor4f(0, 1, 0, 1);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 67, 0, 33, -1, 1);
  glBegin(GL_QUADS);
  glVertex2f(0, 0);
  glVertex2f(10, 0);
  glVertex2f(10, 10);
  glVertex2f(0, 10);
  glEnd();
  surface->flushBuffer();
  const auto picture = readPicture(67, 33);
  EXPECT_EQ(picture.at(2, 2)[1], 255);
  EXPECT_EQ(picture.at(2, 2)[0], 0);
  EXPECT_EQ(picture.at(66, 32)[0], 255);
  EXPECT_FALSE(surface->setSwapInterval(1));

  surface->release();
  EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
}

TEST(EglSurface, SurfacesAreIndependentAndOutliveEachOther) {
  auto first = EglSurface::create(8, 8);
  auto second = EglSurface::create(16, 4);
  ASSERT_TRUE(first && second);
  ASSERT_TRUE(first->makeCurrent());
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  ASSERT_TRUE(second->makeCurrent());
  glClearColor(1, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  first.reset();
  ASSERT_TRUE(second->makeCurrent());
  EXPECT_EQ(readPicture(16, 4).at(15, 3)[0], 255);
  second->release();
  // The shared display was terminated with the last surface; a new one works.
  second.reset();
  auto third = EglSurface::create(2, 2);
  ASSERT_TRUE(third);
  EXPECT_TRUE(third->makeCurrent());
  third->release();
}

TEST(EglSurface, SizesItCannotMakeAreRefusedWithAReason) {
  for (const auto& size : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-5, 5}, std::pair{1 << 20, 4}}) {
    std::string error;
    EXPECT_EQ(EglSurface::create(size.first, size.second, &error), nullptr);
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
  auto tiny = EglSurface::create(1, 1);
  ASSERT_TRUE(tiny);
  EXPECT_TRUE(tiny->makeCurrent());
  tiny->release();
}
