// The saver's picture drawn into an X window (GLX) is the headless picture
// (EGL): both paths run the same driver, and nothing in the drawing may depend
// on the surface. Mesa blends into the window's BGRX buffer and the headless
// RGBA buffer with slightly different rounding, so a few pixels differ by a
// level or two (a few more after the glow's blur passes).
#include <gtest/gtest.h>

#include "math/Random.h"
#include "platform/gl/glx_context.h"
#include "saver/gl_resources.h"
#include "support/gl.h"
#include "support/x_server.h"
#include "world/VelWorldSettings.h"
#include "world/render/VelWorldRender.h"

namespace {

// The 40th frame of a seeded world as the frame step draws it.
moonwisp::test::Picture drawFrames(moonwisp::GLSurface& surface, int8_t glow) {
  EXPECT_TRUE(surface.makeCurrent());
  setSaverViewGLState(200, 120);
  GLuint textures[kTextureCount] = {}, lists[kDisplayListCount] = {};
  bool loaded = false;
  glDataLoad(textures, lists, &loaded, 200, 120);
  seedRandom(5);
  VelWorld world{};
  EXPECT_EQ(initializeVelWorldFromSettings(&world, defaultVelWorldSettings(220, 1, glow, 200, 120)), 0);
  moonwisp::test::Picture picture;
  for (int frame = 1; frame <= 40; ++frame, surface.flushBuffer()) {
    glClear(GL_COLOR_BUFFER_BIT);
    updateVelWorld(&world, 16667);
    drawVelWorld(&world, nullptr, textures, lists, 1.0f);
    if (frame == 40) picture = moonwisp::test::readPicture(200, 120);
  }
  freeVelWorld(&world);
  glDataDispose(textures, lists, &loaded);
  surface.release();
  return picture;
}

TEST(WindowAndHeadlessPictures, AreTheSameWithAndWithoutGlow) {
  moonwisp::test::PrivateXServer server("320x200x24");
  MOONWISP_NEEDS_SERVER(!server.name().empty(), "Xvfb cannot be started");
  Display* display = XOpenDisplay(server.name().c_str());
  ASSERT_NE(display, nullptr);
  auto window = moonwisp::GlxSurface::createWindow(display, 200, 120, "picture test");
  std::string error;
  auto headless = moonwisp::EglSurface::create(200, 120, &error);
  ASSERT_TRUE(window && headless) << error;
  for (int8_t glow : {0, 1}) {
    const auto onWindow = drawFrames(*window, glow), offScreen = drawFrames(*headless, glow);
    EXPECT_GT(offScreen.countAbove(40), 100) << "glow " << int(glow) << ": hardly anything drawn";
    size_t differing = 0;
    int largest = 0;
    for (size_t i = 0; i < onWindow.rgba.size(); ++i) {
      differing += i % 4 == 0 && std::memcmp(&onWindow.rgba[i], &offScreen.rgba[i], 3) != 0;
      if (i % 4 < 3) largest = std::max(largest, std::abs(onWindow.rgba[i] - offScreen.rgba[i]));
    }
    EXPECT_LE(differing * 100, 200 * 120 * 3) << "glow " << int(glow);  // 3% of the pixels
    EXPECT_LE(largest, 3) << "glow " << int(glow);
  }
  window.reset();
  XCloseDisplay(display);
}

}  // namespace
