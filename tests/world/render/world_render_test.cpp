// Drawing the butterfly world in a headless context: the state it leaves, the
// glow buffers, the vertices it emits (caught in feedback mode) against the
// specified geometry, and reference figures of the pictures of a known scene.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/gl.h"
#include "saver/gl_resources.h"
#include "world/render/VelWorldRender.h"

// Mesa's software driver leaks the draw context it makes for feedback mode
// when the GL context is destroyed; the same line is in tests/lsan.supp.
extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\n"; }

using moonwisp::test::Picture;

namespace {

// A hand-made world: the renderer reads only the fields set here.
struct Scene {
  VelWorld world{};
  std::vector<VelButterfly> butterflies;
  Scene(int width, int height, bool glow) {
    world.screen_width = width;
    world.screen_height = height;
    world.butterfly_size = 0.12f;
    world.color_from = {0.4f, 0.9f, 1.0f};
    world.color_to = {0.15f, 0.45f, 1.0f};
    world.glow = glow;
  }
  VelButterfly& add(float x, float y, float z, Vector3Float facing = {0, 0, -1}) {
    VelButterfly b{};
    b.position = {x, y, z};
    b.facing = facing;
    b.fade = 1.0f;
    b.color_mix = 0.5f;
    b.active = 1;
    butterflies.push_back(b);
    return butterflies.back();
  }
  const VelWorld* get() {
    world.butterfly_collection.num_butterflies = int32_t(butterflies.size());
    world.butterfly_collection.butterflies = butterflies.data();
    return &world;
  }
};

struct FeedbackVertex {
  float x, y, r, g, b, a, s, t;
};

class WorldRender : public testing::Test {
 protected:
  void open(int width, int height) {
    context_ = std::make_unique<moonwisp::test::HeadlessContext>(width, height);
    ASSERT_TRUE(context_->ok()) << context_->error();
    width_ = width;
    height_ = height;
    setSaverViewGLState(width, height);
    glDataLoad(textures_, lists_, &loaded_, width, height);
    ASSERT_TRUE(loaded_);
  }
  void TearDown() override {
    if (loaded_) glDataDispose(textures_, lists_, &loaded_);
  }
  Picture draw(Scene& scene) {
    glClear(GL_COLOR_BUFFER_BIT);
    drawVelWorld(scene.get(), nullptr, textures_, lists_, 1.0f);
    return moonwisp::test::readPicture(width_, height_);
  }
  // The vertices of the render in window coordinates, with colour and texture coordinate.
  std::vector<FeedbackVertex> feedback(Scene& scene, const GLuint* lists, float alpha) {
    std::vector<GLfloat> buffer(4096);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    drawVelWorld(scene.get(), nullptr, textures_, lists, alpha);
    const GLint used = glRenderMode(GL_RENDER);
    std::vector<FeedbackVertex> vertices;
    for (GLint i = 0; i < used;) {
      EXPECT_EQ(buffer[size_t(i)], GLfloat(GL_POLYGON_TOKEN));
      int count = int(buffer[size_t(i) + 1]);
      for (i += 2; count-- > 0; i += 11) {
        const GLfloat* v = &buffer[size_t(i)];
        vertices.push_back({v[0], v[1], v[3], v[4], v[5], v[6], v[7], v[8]});
      }
    }
    return vertices;
  }

  std::unique_ptr<moonwisp::test::HeadlessContext> context_;
  int width_ = 0, height_ = 0;
  GLuint textures_[kTextureCount] = {};
  GLuint lists_[kDisplayListCount] = {};
  bool loaded_ = false;
};

TEST_F(WorldRender, StateOnReturnAndGlowBuffersOfThePowerOfTwoSides) {
  open(1920, 1200);
  for (bool glow : {false, true}) {
    SCOPED_TRACE(glow ? "glow" : "no glow");
    Scene scene(1920, 1200, glow);
    scene.add(0.3f, 0.5f, 0.2f);
    VelButterfly& last = scene.add(0.6f, 0.4f, 0.5f);
    last.color_mix = 0.25f;
    last.fade = 0.5f;
    scene.add(0.5f, 0.5f, 0.5f).active = 0;  // highest index, but inactive
    glViewport(3, 4, 50, 40);
    GLint depths[2], after[2], viewport[4], blend[2], texture = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depths[0]);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depths[1]);
    drawVelWorld(scene.get(), nullptr, textures_, lists_, 1.0f);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &after[0]);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &after[1]);
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_BLEND_SRC, &blend[0]);
    glGetIntegerv(GL_BLEND_DST, &blend[1]);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    GLfloat colour[4], mode = 0;
    glGetFloatv(GL_CURRENT_COLOR, colour);
    glGetFloatv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(std::vector<GLint>(after, after + 2), std::vector<GLint>(depths, depths + 2));
    const std::vector<GLint> expectedViewport = glow ? std::vector<GLint>{0, 0, 1920, 1200} : std::vector<GLint>{3, 4, 50, 40};
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), expectedViewport);
    EXPECT_EQ(std::vector<GLint>(blend, blend + 2), (std::vector<GLint>{GL_SRC_ALPHA, GL_ONE}));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(GLuint(texture), textures_[0]);
    EXPECT_EQ(mode, GL_MODELVIEW);
    // The last active butterfly's colour: from + (to - from) * 0.25, alpha 2f - f^2 at f = 0.5.
    EXPECT_NEAR(colour[0], 0.4f + (0.15f - 0.4f) * 0.25f, 1e-6f);
    EXPECT_NEAR(colour[1], 0.9f + (0.45f - 0.9f) * 0.25f, 1e-6f);
    EXPECT_NEAR(colour[3], 0.75f, 1e-6f);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  for (int slot : {1, 2}) {  // the capture square and the half-size blur square
    GLint side = 0;
    glBindTexture(GL_TEXTURE_2D, textures_[slot]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &side);
    EXPECT_EQ(side, slot == 1 ? 1024 : 512);
  }
}

TEST_F(WorldRender, SpriteCornersColourAndAlphaFollowThePositionAndFade) {
  open(200, 100);  // wide: ax = 1, ay = 0.5
  Scene scene(200, 100, false);
  VelButterfly& b = scene.add(0.25f, 0.75f, 0.5f);
  b.color_mix = 0.3f;
  b.fade = 0.5f;
  const GLuint noLists[kDisplayListCount] = {0, lists_[1], lists_[2]};
  const std::vector<FeedbackVertex> vertices = feedback(scene, noLists, 0.8f);
  // Corners x = sx -/+ s * ay, y = sy -/+ s * ax at depth d, through
  // gluPerspective(35, 2, 0.4, 12) and the 200 x 100 viewport.
  const double sx = -0.5, sy = 0.25, d = 3.5, s = 0.12f, f = 1.0 / std::tan(35.0 / 2.0 * M_PI / 180.0);
  for (const FeedbackVertex& v : vertices) {
    EXPECT_NEAR(v.x, (f / 2.0 * (sx + (v.s == 0 ? -1 : 1) * s * 0.5) / d + 1.0) * 100.0, 1e-3);
    EXPECT_NEAR(v.y, (f * (sy + (v.t == 0 ? -1 : 1) * s) / d + 1.0) * 50.0, 1e-3);
    EXPECT_FLOAT_EQ(v.r, 0.4f + (0.15f - 0.4f) * 0.3f);
    EXPECT_FLOAT_EQ(v.g, 0.9f + (0.45f - 0.9f) * 0.3f);
    EXPECT_FLOAT_EQ(v.b, 1.0f);
    EXPECT_FLOAT_EQ(v.a, 0.75f * 0.8f);
  }
  EXPECT_EQ(vertices.size(), 6u);  // one strip of two triangles
}

struct Point {
  double x, y, z;
};
Point rotateY(Point p, double degrees) {
  const double c = std::cos(degrees * M_PI / 180.0), s = std::sin(degrees * M_PI / 180.0);
  return {c * p.x + s * p.z, p.y, -s * p.x + c * p.z};
}
Point rotateX(Point p, double degrees) {
  const double c = std::cos(degrees * M_PI / 180.0), s = std::sin(degrees * M_PI / 180.0);
  return {p.x, c * p.y - s * p.z, s * p.y + c * p.z};
}

// Each wing is a quad hinged on the y axis whose corners carry the texture
// coordinates 0.01 and 0.99: s near 0 on the body axis, s near 1 at the tip
// (x = -1 for the first wing, +1 for the second), t near 0 at y = 1. The body
// is turned to its heading, lifted by 0.3 g, tilted by 40 degrees, and the
// wings swing by +w and -w.
TEST_F(WorldRender, WingCornersLieWhereHeadingFlapAndTextureCoordinatesSay) {
  open(128, 128);
  const struct {
    Vector3Float facing;
    float flap_angle;
    double heading, w, g;
  } cases[] = {{{1, 0, 0}, 0, 90, 5, 0.5}, {{-0.6f, 0, -0.8f}, 15, 360 - std::acos(0.8) * 180 / M_PI, 70, 1},
               {{0, 0, -1}, 45, 0, -60, 0}};
  const double f = 1.0 / std::tan(35.0 / 2.0 * M_PI / 180.0);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "flap angle " << c.flap_angle);
    Scene scene(128, 128, false);
    scene.add(0.5f, 0.5f, 0.0f, c.facing).flap_angle = c.flap_angle;
    const std::vector<FeedbackVertex> vertices = feedback(scene, lists_, 1.0f);
    ASSERT_EQ(vertices.size(), 12u);  // two triangles per wing, the first wing first
    for (size_t k = 0; k < vertices.size(); ++k) {
      const FeedbackVertex& v = vertices[k];
      const bool first = k < 6;
      ASSERT_TRUE((v.s == 0.01f || v.s == 0.99f) && (v.t == 0.01f || v.t == 0.99f)) << v.s << "," << v.t;
      Point p{(first ? -1.0 : 1.0) * (v.s == 0.99f), v.t == 0.01f ? 1.0 : 0.0, 0.0};
      p = rotateX(rotateY(p, first ? c.w : -c.w), 40.0);
      p = rotateY({p.x, p.y, p.z - 0.3 * c.g}, c.heading);
      p = {p.x * 0.12f, p.y * 0.12f, p.z * 0.12f - 2.0};
      EXPECT_NEAR(v.x, (f * p.x / -p.z + 1.0) * 64.0, 2e-3) << "vertex " << k;
      EXPECT_NEAR(v.y, (f * p.y / -p.z + 1.0) * 64.0, 2e-3) << "vertex " << k;
    }
  }
}

// Reference figures of a known scene, recorded from Mesa's software driver:
// the summed red, green and blue levels and the count of lit pixels. Invisible
// butterflies (inactive, or faded out) change no pixel.
TEST_F(WorldRender, PicturesOfAKnownSceneMatchTheirReferenceFigures) {
  open(320, 200);
  const struct {
    bool glow;
    double red, green, blue, lit;
  } references[] = {{false, 25111, 63356, 100699, 575}, {true, 56597, 178840, 222244, 2182}};
  for (const auto& ref : references) {
    SCOPED_TRACE(ref.glow ? "glow" : "no glow");
    Scene scene(320, 200, ref.glow);
    scene.add(0.5f, 0.5f, 0.0f).flap_angle = 5;
    VelButterfly& turned = scene.add(0.2f, 0.3f, 0.3f, {0.6f, 0, -0.8f});
    turned.color_mix = 1.0f;
    turned.flap_angle = 50;
    scene.add(0.8f, 0.7f, 0.1f, {-1, 0, 0}).fade = 0.6f;
    const Picture picture = draw(scene);
    scene.add(0.4f, 0.6f, 0.0f).active = 0;
    scene.add(0.6f, 0.4f, 0.0f).fade = 0.0f;
    EXPECT_TRUE(draw(scene).rgba == picture.rgba);
    double sums[3] = {0, 0, 0};
    for (size_t i = 0; i < picture.rgba.size(); ++i) sums[i % 4] += i % 4 < 3 ? picture.rgba[i] : 0;
    const double lit = picture.countAbove(0);
    EXPECT_NEAR(sums[0], ref.red, ref.red * 0.005);
    EXPECT_NEAR(sums[1], ref.green, ref.green * 0.005);
    EXPECT_NEAR(sums[2], ref.blue, ref.blue * 0.005);
    EXPECT_NEAR(lit, ref.lit, ref.lit * 0.005);
  }
}

}  // namespace
