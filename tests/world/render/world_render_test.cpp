// Drawing the butterfly world in a headless context: the state it leaves, the
// glow buffers it fills, and pictures of known scenes compared with a
// tolerance (Mesa's paths differ by a few levels).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "math/Random.h"
#include "support/gl.h"
#include "saver/gl_resources.h"
#include "world/render/VelWorldRender.h"

// Mesa's software driver leaks the draw context it makes for feedback mode
// (glRenderMode(GL_FEEDBACK), used below) when the GL context is destroyed. It
// has no symbols, so its module is the narrowest match; the same line is in
// tests/lsan.supp for runs that read that file.
extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\n"; }

using moonwisp::test::HeadlessContext;
using moonwisp::test::Picture;
using moonwisp::test::readPicture;

namespace {

// A hand-made world: the renderer reads only the fields set here.
struct SceneWorld {
  VelWorld world{};
  std::vector<VelButterfly> butterflies;

  SceneWorld(int width, int height, bool glow) {
    world.screen_width = width;
    world.screen_height = height;
    world.butterfly_size = 0.12f;
    world.color_from = Vector3FloatConstruct(0.4f, 0.9f, 1.0f);
    world.color_to = Vector3FloatConstruct(0.15f, 0.45f, 1.0f);
    world.glow = glow ? 1 : 0;
    butterflies.reserve(16);
  }
  VelButterfly& add(float x, float y, float z) {
    VelButterfly b{};
    b.position = Vector3FloatConstruct(x, y, z);
    b.facing = Vector3FloatConstruct(0, 0, -1);
    b.fade = 1.0f;
    b.color_mix = 0.5f;
    b.flap_angle = 0.0f;
    b.active = 1;
    butterflies.push_back(b);
    return butterflies.back();
  }
  const VelWorld* get() {
    world.butterfly_collection.num_butterflies = static_cast<int32_t>(butterflies.size());
    world.butterfly_collection.max_num_butterflies = static_cast<int32_t>(butterflies.size());
    world.butterfly_collection.butterflies = butterflies.empty() ? nullptr : butterflies.data();
    return &world;
  }
};

class WorldRenderTest : public testing::Test {
 protected:
  void open(int width, int height) {
    context_ = std::make_unique<HeadlessContext>(width, height);
    ASSERT_TRUE(context_->ok()) << context_->error();
    width_ = width;
    height_ = height;
    setSaverViewGLState(width, height);
    glClear(GL_COLOR_BUFFER_BIT);
    glDataLoad(textures_, lists_, &loaded_, width, height);
    ASSERT_TRUE(loaded_);
  }
  void TearDown() override {
    if (context_ && context_->ok()) glDataDispose(textures_, lists_, &loaded_);
  }
  Picture draw(SceneWorld& scene, const GLuint* lists = nullptr) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    drawVelWorld(scene.get(), nullptr, textures_, lists ? lists : lists_, 1.0f);
    return readPicture(width_, height_);
  }

  std::unique_ptr<HeadlessContext> context_;
  int width_ = 0;
  int height_ = 0;
  GLuint textures_[kTextureCount] = {};
  GLuint lists_[kDisplayListCount] = {};
  bool loaded_ = false;
};

struct GlState {
  GLint blendSrc, blendDst, matrixMode, modelviewDepth, projectionDepth, texture;
  GLint viewport[4];
  GLfloat colour[4];
  GLfloat modelview[16], projection[16];
  GLboolean blend;
};

GlState readState() {
  GlState s{};
  glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
  glGetIntegerv(GL_BLEND_DST, &s.blendDst);
  glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelviewDepth);
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projectionDepth);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
  glGetIntegerv(GL_VIEWPORT, s.viewport);
  glGetFloatv(GL_CURRENT_COLOR, s.colour);
  glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview);
  glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
  s.blend = glIsEnabled(GL_BLEND);
  return s;
}

// Sum of absolute level differences relative to the total level of `a`.
double relativeDifference(const Picture& a, const Picture& b, bool mirrorB) {
  double diff = 0, total = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      const int bx = mirrorB ? a.width - 1 - x : x;
      diff += std::abs(a.level(x, y) - b.level(bx, y));
      total += a.level(x, y);
    }
  return total > 0 ? diff / total : diff;
}

}  // namespace

TEST(WorldRenderFunctions, FlapValueAndQuadEmitters) {
  EXPECT_NEAR(flap_func(0), 0.5f, 1e-6f);
  EXPECT_NEAR(flap_func(15), 1.0f, 1e-6f);
  EXPECT_NEAR(flap_func(45), 0.0f, 1e-6f);
  EXPECT_NEAR(flap_func(60), 0.5f, 1e-6f);  // six beats per turn
}

TEST_F(WorldRenderTest, StateOnReturnWithoutGlowKeepsTheViewportAndStacks) {
  open(96, 64);
  SceneWorld scene(96, 64, false);
  scene.add(0.3f, 0.5f, 0.2f).color_mix = 0.0f;
  VelButterfly& last = scene.add(0.6f, 0.4f, 0.5f);
  last.color_mix = 0.25f;
  last.fade = 0.5f;
  scene.add(0.5f, 0.5f, 0.5f).active = 0;  // highest index, but inactive

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glTranslatef(0.25f, 0.5f, 0.75f);
  glViewport(3, 4, 50, 40);
  const GlState before = readState();
  drawVelWorld(scene.get(), nullptr, textures_, lists_, 1.0f);
  const GlState after = readState();

  EXPECT_EQ(after.blendSrc, GL_SRC_ALPHA);
  EXPECT_EQ(after.blendDst, GL_ONE);
  EXPECT_TRUE(after.blend);
  EXPECT_EQ(after.matrixMode, GL_MODELVIEW);
  EXPECT_EQ(after.modelviewDepth, before.modelviewDepth);
  EXPECT_EQ(after.projectionDepth, before.projectionDepth);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(after.modelview[i], before.modelview[i]);
    EXPECT_EQ(after.projection[i], before.projection[i]);
  }
  EXPECT_EQ(static_cast<GLuint>(after.texture), textures_[0]);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(after.viewport[i], before.viewport[i]);
  // The colour of butterfly 1: from + (to - from) * 0.25, alpha 2f - f^2 at f = 0.5.
  EXPECT_NEAR(after.colour[0], 0.4f + (0.15f - 0.4f) * 0.25f, 1e-6f);
  EXPECT_NEAR(after.colour[1], 0.9f + (0.45f - 0.9f) * 0.25f, 1e-6f);
  EXPECT_NEAR(after.colour[2], 1.0f, 1e-6f);
  EXPECT_NEAR(after.colour[3], 0.75f, 1e-6f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(WorldRenderTest, StateOnReturnWithGlowCoversTheWholeView) {
  open(96, 64);
  SceneWorld scene(96, 64, true);
  scene.add(0.5f, 0.5f, 0.1f).color_mix = 1.0f;
  glViewport(3, 4, 50, 40);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  const GlState before = readState();
  drawVelWorld(scene.get(), nullptr, textures_, lists_, 1.0f);
  const GlState after = readState();
  EXPECT_EQ(after.blendSrc, GL_SRC_ALPHA);
  EXPECT_EQ(after.blendDst, GL_ONE);
  EXPECT_TRUE(after.blend);
  EXPECT_EQ(after.matrixMode, GL_MODELVIEW);
  EXPECT_EQ(after.modelviewDepth, before.modelviewDepth);
  EXPECT_EQ(after.projectionDepth, before.projectionDepth);
  EXPECT_EQ(static_cast<GLuint>(after.texture), textures_[0]);
  EXPECT_EQ(after.viewport[0], 0);
  EXPECT_EQ(after.viewport[1], 0);
  EXPECT_EQ(after.viewport[2], 96);
  EXPECT_EQ(after.viewport[3], 64);
  EXPECT_NEAR(after.colour[0], 0.15f, 1e-6f);
  EXPECT_NEAR(after.colour[1], 0.45f, 1e-6f);
  EXPECT_NEAR(after.colour[3], 1.0f, 1e-6f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(WorldRenderTest, GlowCopiesFillBuffersOfThePowerOfTwoSides) {
  open(1920, 1200);
  SceneWorld scene(1920, 1200, true);
  scene.add(0.5f, 0.5f, 0.3f);
  draw(scene);
  auto side = [](GLuint name) {
    glBindTexture(GL_TEXTURE_2D, name);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    return std::pair{w, h};
  };
  EXPECT_EQ(side(textures_[1]), (std::pair{1024, 1024}));
  EXPECT_EQ(side(textures_[2]), (std::pair{512, 512}));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(WorldRenderTest, OneButterflyLightsTheCentreAndNotTheCorners) {
  open(128, 128);
  SceneWorld scene(128, 128, false);
  scene.add(0.5f, 0.5f, 0.0f);
  const Picture picture = draw(scene);
  EXPECT_GT(picture.maxLevel(48, 48, 80, 80), 100);
  EXPECT_EQ(picture.maxLevel(0, 0, 24, 24), 0);
  EXPECT_EQ(picture.maxLevel(104, 0, 128, 24), 0);
  EXPECT_EQ(picture.maxLevel(0, 104, 24, 128), 0);
  EXPECT_EQ(picture.maxLevel(104, 104, 128, 128), 0);
  // Wings both sides of the body.
  EXPECT_GT(picture.maxLevel(40, 40, 64, 88), 50);
  EXPECT_GT(picture.maxLevel(64, 40, 88, 88), 50);
}

TEST_F(WorldRenderTest, FadeZeroDrawsBlackWithAndWithoutGlow) {
  open(128, 96);
  for (bool glow : {false, true}) {
    SceneWorld scene(128, 96, glow);
    scene.add(0.5f, 0.5f, 0.0f).fade = 0.0f;
    scene.add(0.2f, 0.7f, 0.5f).fade = 0.0f;
    EXPECT_EQ(draw(scene).maxLevel(0, 0, 128, 96), 0) << "glow " << glow;
  }
}

TEST_F(WorldRenderTest, GlowSpreadsLightAroundTheButterflies) {
  open(256, 160);
  SceneWorld sharp(256, 160, false);
  sharp.add(0.5f, 0.5f, 0.0f);
  SceneWorld glowing(256, 160, true);
  glowing.add(0.5f, 0.5f, 0.0f);
  const Picture off = draw(sharp);
  const Picture on = draw(glowing);
  int litOnlyWithGlow = 0;
  for (int y = 0; y < 160; ++y)
    for (int x = 0; x < 256; ++x) litOnlyWithGlow += off.level(x, y) == 0 && on.level(x, y) > 2;
  EXPECT_GT(litOnlyWithGlow, off.countAbove(2) / 4);
  EXPECT_GT(on.meanLevel(), off.meanLevel());
  // The sharp flock is drawn again on top: the brightest pixel stays as bright.
  EXPECT_GE(on.maxLevel(0, 0, 256, 160), off.maxLevel(0, 0, 256, 160) - 3);
  // Still dark far from the butterfly.
  EXPECT_EQ(on.maxLevel(0, 0, 16, 16), 0);
}

TEST_F(WorldRenderTest, WithoutListsEachButterflyIsAFlatSquareSprite) {
  open(128, 128);
  // A plain white texture, so that the sprite's whole square shows.
  GLuint white = 0;
  glGenTextures(1, &white);
  glBindTexture(GL_TEXTURE_2D, white);
  const uint8_t texel[4] = {255, 255, 255, 255};
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
  GLuint textures[kTextureCount];
  std::copy(std::begin(textures_), std::end(textures_), textures);
  textures[0] = white;

  SceneWorld scene(128, 128, false);
  VelButterfly& b = scene.add(0.5f, 0.5f, 0.0f);
  b.facing = Vector3FloatConstruct(1, 0, 0);  // no turn for sprites
  b.flap_angle = 15;                          // no beat for sprites
  const GLuint noLists[kDisplayListCount] = {0, lists_[1], lists_[2]};
  glClear(GL_COLOR_BUFFER_BIT);
  drawVelWorld(scene.get(), nullptr, textures, noLists, 1.0f);
  const Picture picture = readPicture(128, 128);
  int left = 128, right = -1, bottom = 128, top = -1, lit = 0;
  for (int y = 0; y < 128; ++y)
    for (int x = 0; x < 128; ++x)
      if (picture.level(x, y) > 0) {
        ++lit;
        left = std::min(left, x), right = std::max(right, x);
        bottom = std::min(bottom, y), top = std::max(top, y);
      }
  // Half extent 0.12 at depth 2 under a 35 degree field: about 24 pixels wide.
  const int width = right - left + 1, height = top - bottom + 1;
  EXPECT_NEAR(width, 24, 2);
  EXPECT_EQ(width, height);
  EXPECT_NEAR((left + right) / 2.0, 63.5, 1.0);
  EXPECT_NEAR((bottom + top) / 2.0, 63.5, 1.0);
  EXPECT_EQ(lit, width * height);  // a filled square
  glDeleteTextures(1, &white);
}

TEST_F(WorldRenderTest, SpriteCornersColourAndAlphaFollowThePositionAndFade) {
  open(200, 100);  // wide: ax = 1, ay = 0.5
  SceneWorld scene(200, 100, false);
  VelButterfly& b = scene.add(0.25f, 0.75f, 0.5f);
  b.color_mix = 0.3f;
  b.fade = 0.5f;
  const GLuint noLists[kDisplayListCount] = {0, lists_[1], lists_[2]};

  std::vector<GLfloat> feedback(4096);
  glFeedbackBuffer(static_cast<GLsizei>(feedback.size()), GL_3D_COLOR_TEXTURE, feedback.data());
  glRenderMode(GL_FEEDBACK);
  drawVelWorld(scene.get(), nullptr, textures_, noLists, 0.8f);
  const GLint used = glRenderMode(GL_RENDER);
  ASSERT_GT(used, 0);

  // Expected corners: x = sx -/+ s * ay, y = sy -/+ s * ax at depth d, through
  // gluPerspective(35, 2, 0.4, 12) and the 200 x 100 viewport.
  const double sx = -0.5, sy = 0.25, d = 3.5, s = 0.12f, ax = 1.0, ay = 0.5;
  const double f = 1.0 / std::tan(35.0 / 2.0 * M_PI / 180.0);
  auto windowX = [&](double x) { return (f / 2.0 * x / d + 1.0) * 100.0; };
  auto windowY = [&](double y) { return (f * y / d + 1.0) * 50.0; };
  const float r = 0.4f + (0.15f - 0.4f) * 0.3f, g = 0.9f + (0.45f - 0.9f) * 0.3f;
  int vertices = 0;
  for (GLint i = 0; i < used;) {
    ASSERT_EQ(feedback[i], static_cast<GLfloat>(GL_POLYGON_TOKEN));
    const int count = static_cast<int>(feedback[i + 1]);
    i += 2;
    for (int k = 0; k < count; ++k, i += 11, ++vertices) {
      const GLfloat* v = &feedback[i];
      const float u = v[7], t = v[8];  // texture coordinate picks the corner
      EXPECT_NEAR(v[0], windowX(sx + (u == 0 ? -1 : 1) * s * ay), 1e-3);
      EXPECT_NEAR(v[1], windowY(sy + (t == 0 ? -1 : 1) * s * ax), 1e-3);
      EXPECT_FLOAT_EQ(v[3], r);
      EXPECT_FLOAT_EQ(v[4], g);
      EXPECT_FLOAT_EQ(v[5], 1.0f);
      EXPECT_FLOAT_EQ(v[6], (2.0f * 0.5f - 0.5f * 0.5f) * 0.8f);
    }
  }
  EXPECT_EQ(vertices, 6);  // one strip of two triangles
}

namespace {

struct Vec3 {
  double x, y, z;
};
Vec3 rotateY(Vec3 v, double degrees) {
  const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
  return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
}
Vec3 rotateX(Vec3 v, double degrees) {
  const double a = degrees * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
  return {v.x, c * v.y - s * v.z, s * v.y + c * v.z};
}

}  // namespace

TEST_F(WorldRenderTest, WingsAreTurnedLiftedTiltedAndBeatAsTheHeadingAndFlapSay) {
  open(128, 128);
  SceneWorld scene(128, 128, false);
  VelButterfly& b = scene.add(0.5f, 0.5f, 0.0f);
  b.facing = Vector3FloatConstruct(1, 0, 0);  // heading 90 degrees
  b.flap_angle = 0;                          // flap 0.5: lift 0.5, wing angle 5

  std::vector<GLfloat> feedback(4096);
  glFeedbackBuffer(static_cast<GLsizei>(feedback.size()), GL_3D_COLOR_TEXTURE, feedback.data());
  glRenderMode(GL_FEEDBACK);
  drawVelWorld(scene.get(), nullptr, textures_, lists_, 1.0f);
  const GLint used = glRenderMode(GL_RENDER);

  // Model point of a wing corner, by its texture coordinate, for each wing.
  auto corner = [](int wing, float s, float t) {
    const double x = s > 0.5f ? 1.0 : 0.0, y = t > 0.5f ? 0.0 : 1.0;
    return Vec3{wing == 0 ? -x : x, y, 0.0};
  };
  const double f = 1.0 / std::tan(35.0 / 2.0 * M_PI / 180.0);
  int vertices = 0;
  for (GLint i = 0; i < used;) {
    ASSERT_EQ(feedback[i], static_cast<GLfloat>(GL_POLYGON_TOKEN));
    const int count = static_cast<int>(feedback[i + 1]);
    i += 2;
    for (int k = 0; k < count; ++k, i += 11, ++vertices) {
      const int wing = vertices < 6 ? 0 : 1;  // two triangles per wing, left wing first
      Vec3 p = corner(wing, feedback[i + 7], feedback[i + 8]);
      p = rotateY(p, wing == 0 ? 5.0 : -5.0);
      p = rotateX(p, 40.0);
      p.z += -0.3 * 0.5;
      p = rotateY(p, 90.0);
      p = {p.x * 0.12f, p.y * 0.12f, p.z * 0.12f - 2.0};
      EXPECT_NEAR(feedback[i], (f * p.x / -p.z + 1.0) * 64.0, 2e-3) << "vertex " << vertices;
      EXPECT_NEAR(feedback[i + 1], (f * p.y / -p.z + 1.0) * 64.0, 2e-3) << "vertex " << vertices;
    }
  }
  EXPECT_EQ(vertices, 12);
}

TEST_F(WorldRenderTest, InactiveButterfliesChangeNoPixelAndNoState) {
  open(128, 96);
  for (bool glow : {false, true}) {
    SceneWorld one(128, 96, glow);
    one.add(0.4f, 0.5f, 0.2f);
    SceneWorld withInactive(128, 96, glow);
    withInactive.add(0.4f, 0.5f, 0.2f);
    VelButterfly& hidden = withInactive.add(0.7f, 0.3f, 0.1f);
    hidden.active = 0;
    hidden.color_mix = 0.9f;
    const Picture a = draw(one);
    const GlState stateA = readState();
    const Picture b = draw(withInactive);
    const GlState stateB = readState();
    EXPECT_EQ(a.rgba, b.rgba) << "glow " << glow;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(stateA.colour[i], stateB.colour[i]);

    // Only inactive butterflies: nothing drawn, the colour stays the render's white.
    SceneWorld none(128, 96, glow);
    none.add(0.5f, 0.5f, 0.0f).active = 0;
    EXPECT_EQ(draw(none).maxLevel(0, 0, 128, 96), 0);
    const GlState stateNone = readState();
    EXPECT_EQ(stateNone.colour[0], 1.0f);
    EXPECT_NEAR(stateNone.colour[3], 0.9f, 1e-6f);
  }
}

TEST_F(WorldRenderTest, HeadingsLeftAndRightAreMirrorImages) {
  open(128, 128);
  auto at = [&](float fx, float fz) {
    SceneWorld scene(128, 128, false);
    scene.add(0.5f, 0.5f, 0.0f).facing = Vector3FloatConstruct(fx, 0, fz);
    return draw(scene);
  };
  const Picture right = at(0.6f, -0.8f);
  const Picture left = at(-0.6f, -0.8f);
  const Picture ahead = at(0.0f, -1.0f);
  EXPECT_LT(relativeDifference(right, left, true), 0.1);
  EXPECT_GT(relativeDifference(right, ahead, false), 0.2);
  EXPECT_LT(relativeDifference(ahead, ahead, true), 0.1);  // symmetric wings
}

TEST_F(WorldRenderTest, ViewsBelowTwoPixelsAreDrawnWithoutGlow) {
  open(1, 1);
  SceneWorld scene(1, 1, true);
  scene.add(0.5f, 0.5f, 0.0f);
  glViewport(0, 0, 1, 1);
  draw(scene);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 1);
  EXPECT_FALSE(velWorldDrawsGlow(scene.get()));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(WorldRenderTest, FullWorldFrameIsNeitherBlackNorSaturated) {
  open(1280, 800);
  for (int8_t glow : {0, 1}) {
    VelWorld world{};
    seedRandom(7);
    ASSERT_EQ(initializeVelWorld(&world, 220, 220, 1, 1280, 800, 2, glow, 1e-7f, 0.12f), 0);
    for (int i = 0; i < 120; ++i) updateVelWorld(&world, 16667);
    glClear(GL_COLOR_BUFFER_BIT);
    drawVelWorld(&world, nullptr, textures_, lists_, 1.0f);
    const Picture picture = readPicture(1280, 800);
    freeVelWorld(&world);
    int saturated = 0;
    for (int y = 0; y < 800; ++y)
      for (int x = 0; x < 1280; ++x) {
        const uint8_t* p = picture.at(x, y);
        saturated += p[0] == 255 && p[1] == 255 && p[2] == 255;
      }
    EXPECT_GT(picture.maxLevel(0, 0, 1280, 800), 150) << "glow " << int(glow);
    EXPECT_GT(picture.countAbove(20), 1280 * 800 / 100) << "glow " << int(glow);
    EXPECT_LT(picture.meanLevel(), 100.0) << "glow " << int(glow);
    EXPECT_LT(saturated, 1280 * 800 / 100) << "glow " << int(glow);
  }
}
