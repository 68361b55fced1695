// Drawing the butterfly world in a headless context: the vertices it emits
// (caught in feedback mode) against the wing geometry, and reference figures
// of the pictures of a known scene, which also catch a glow buffer of the
// wrong size, with the state each drawing leaves.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "saver/gl_resources.h"
#include "support/gl.h"
#include "world/render/VelWorldRender.h"

// Mesa's software driver leaks the draw context it makes for feedback mode
// when the GL context is destroyed; the same line is in tests/lsan.supp.
extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\n"; }

namespace {

struct FeedbackVertex { float x, y, s, t; };  // window coordinates and texture coordinate

// A view with the saver's GL resources and a hand-made world: the renderer
// reads only the world fields set here.
struct View {
  moonwisp::test::HeadlessContext context;
  GLuint textures[kTextureCount] = {}, lists[kDisplayListCount] = {};
  bool loaded = false;
  VelGlowBlur blur{};
  VelWorld world{};
  std::vector<VelButterfly> butterflies;

  View(int width, int height) : context(width, height) {
    world.screen_width = width;
    world.screen_height = height;
    world.butterfly_size = 0.12f;
    world.color_from = {0.4f, 0.9f, 1.0f};
    world.color_to = {0.15f, 0.45f, 1.0f};
    if (!context.ok()) return;
    setSaverViewGLState(width, height);
    glDataLoad(textures, lists, &loaded, width, height, &blur);
  }
  ~View() { if (loaded) glDataDispose(textures, lists, &loaded, &blur); }
  VelButterfly& add(float x, float y, float z, Vector3Float facing = {0, 0, -1}) {
    // Half-way between the colours, faded in, active.
    butterflies.push_back(VelButterfly{0.5f, 1.0f, 0, 0, 0, {x, y, z}, {}, {}, facing, {}, 0, 0, 1});
    return butterflies.back();
  }
  moonwisp::test::Picture draw(const GLuint* with, VelGlowBlur* glowBlur = nullptr) {
    world.butterfly_collection.num_butterflies = int32_t(butterflies.size());
    world.butterfly_collection.butterflies = butterflies.data();
    glClear(GL_COLOR_BUFFER_BIT);
    drawVelWorld(&world, nullptr, textures, with, 1.0f, glowBlur);
    return moonwisp::test::readPicture(world.screen_width, world.screen_height);
  }
  std::vector<FeedbackVertex> feedback() {
    std::vector<GLfloat> buffer(4096);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw(lists);
    const size_t used = size_t(glRenderMode(GL_RENDER));
    std::vector<FeedbackVertex> vertices;
    for (size_t i = 0; i < used;) {
      EXPECT_EQ(buffer[i], GLfloat(GL_POLYGON_TOKEN));
      const int count = int(buffer[i + 1]);
      i += 2;
      for (int k = 0; k < count; ++k, i += 11)
        vertices.push_back({buffer[i], buffer[i + 1], buffer[i + 7], buffer[i + 8]});
    }
    return vertices;
  }
};

std::vector<GLint> integers(std::initializer_list<GLenum> names) {
  std::vector<GLint> values;
  for (GLenum name : names) {
    GLint v[4] = {};
    glGetIntegerv(name, v);
    values.insert(values.end(), v, v + (name == GL_VIEWPORT || name == GL_COLOR_CLEAR_VALUE ? 4 : 1));
  }
  return values;
}

struct Point { double x, y, z; };
// p turned by the angle about the y axis, or about the x axis, as glRotate turns it.
Point turned(Point p, double degrees, bool aboutX = false) {
  const double c = std::cos(degrees * M_PI / 180.0), s = std::sin(degrees * M_PI / 180.0);
  if (aboutX) return {p.x, c * p.y - s * p.z, s * p.y + c * p.z};
  return {c * p.x + s * p.z, p.y, -s * p.x + c * p.z};
}

// Each wing is a quad hinged on the y axis whose corners carry the texture
// coordinates 0.01 and 0.99: s near 0 on the body axis, s near 1 at the tip
// (x = -1 for the first wing, +1 for the second), t near 0 at y = 1. The body
// is turned to its heading, lifted by 0.3 g, tilted by 40 degrees, and the
// wings swing by +w and -w.
TEST(WorldRender, WingCornersLieWhereHeadingFlapAndTextureCoordinatesSay) {
  View view(128, 128);
  ASSERT_TRUE(view.loaded) << view.context.error();
  const struct {
    Vector3Float facing;
    float flap_angle;
    double heading, w, g;
  } cases[] = {{{1, 0, 0}, 0, 90, 5, 0.5}, {{-0.6f, 0, -0.8f}, 15, 360 - std::acos(0.8) * 180 / M_PI, 70, 1},
               {{0, 0, -1}, 45, 0, -60, 0}};
  const double f = 1.0 / std::tan(35.0 / 2.0 * M_PI / 180.0);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "flap angle " << c.flap_angle);
    view.butterflies.clear();
    view.add(0.5f, 0.5f, 0.0f, c.facing).flap_angle = c.flap_angle;
    const std::vector<FeedbackVertex> vertices = view.feedback();
    ASSERT_EQ(vertices.size(), 12u);  // two triangles per wing, the first wing first
    for (size_t k = 0; k < vertices.size(); ++k) {
      const FeedbackVertex& v = vertices[k];
      ASSERT_TRUE((v.s == 0.01f || v.s == 0.99f) && (v.t == 0.01f || v.t == 0.99f)) << v.s << "," << v.t;
      Point p{(k < 6 ? -1.0 : 1.0) * (v.s == 0.99f), v.t == 0.01f ? 1.0 : 0.0, 0.0};
      p = turned(turned(p, k < 6 ? c.w : -c.w), 40.0, true);
      p = turned({p.x, p.y, p.z - 0.3 * c.g}, c.heading);
      p = {p.x * 0.12f, p.y * 0.12f, p.z * 0.12f - 2.0};
      EXPECT_NEAR(v.x, (f * p.x / -p.z + 1.0) * 64.0, 2e-3) << "vertex " << k;
      EXPECT_NEAR(v.y, (f * p.y / -p.z + 1.0) * 64.0, 2e-3) << "vertex " << k;
    }
  }
}

// Reference figures of a known scene, recorded from Mesa's software driver:
// the summed red, green and blue levels and the count of lit pixels, with
// wings, with glow (its blur drawn by the fixed-function copies and by the
// shaders), and as flat sprites (when there are no display lists). Invisible
// butterflies (inactive, or faded out) change no pixel. Each drawing leaves
// what the next one expects: blending (SRC_ALPHA, ONE), the modelview matrix
// selected, the matrix stacks as found, the wing image bound, the whole view
// as the viewport (the glow passes draw into smaller ones), no shader program
// in use, the glow buffers' filters linear, and the framebuffer bindings and
// clear colour as found (the fast glow draws in a framebuffer of its own). The shaders round once per
// pass where the copies round at every blend: their glow is a little
// brighter, and faint pixels the copies round to black stay lit.
TEST(WorldRender, KnownSceneMatchesItsReferenceFiguresAndLeavesTheStateAsFound) {
  View view(320, 200);
  ASSERT_TRUE(view.loaded) << view.context.error();
  const GLuint noLists[kDisplayListCount] = {0, view.lists[1], view.lists[2]};  // flat sprites
  ASSERT_TRUE(view.blur.ready);
  glClearColor(0, 0, 0, 0.25f);  // the frame's clear: only the glow's own clear may not leave it changed
  const struct {
    uint8_t glow;
    const GLuint* lists;
    VelGlowBlur* blur;
    double figures[4];
  } references[] = {{0, view.lists, nullptr, {25111, 63356, 100699, 575}},
                    {1, view.lists, nullptr, {56597, 178840, 222244, 2182}},
                    {1, view.lists, &view.blur, {57810, 179396, 222464, 2231}},
                    {0, noLists, nullptr, {62786, 158761, 254316, 1525}}};
  for (const auto& ref : references) {
    SCOPED_TRACE(testing::Message() << "glow " << int(ref.glow) << (ref.blur ? " shaded" : ""));
    view.world.glow = ref.glow;
    view.butterflies.clear();
    view.add(0.5f, 0.5f, 0.0f).flap_angle = 5;
    VelButterfly& side = view.add(0.2f, 0.3f, 0.3f, {0.6f, 0, -0.8f});
    side.color_mix = 1.0f;
    side.flap_angle = 50;
    view.add(0.8f, 0.7f, 0.1f, {-1, 0, 0}).fade = 0.6f;
    const std::initializer_list<GLenum> kept = {GL_MODELVIEW_STACK_DEPTH, GL_PROJECTION_STACK_DEPTH, GL_VIEWPORT,
                                                GL_DRAW_FRAMEBUFFER_BINDING, GL_READ_FRAMEBUFFER_BINDING,
                                                GL_COLOR_CLEAR_VALUE, GL_RENDERBUFFER_BINDING};
    const auto state = integers(kept);
    const moonwisp::test::Picture picture = view.draw(ref.lists, ref.blur);
    EXPECT_EQ(integers(kept), state);
    EXPECT_EQ(integers({GL_BLEND, GL_BLEND_SRC, GL_BLEND_DST, GL_MATRIX_MODE, GL_TEXTURE_BINDING_2D,
                        GL_CURRENT_PROGRAM}),
              (std::vector<GLint>{1, GL_SRC_ALPHA, GL_ONE, GL_MODELVIEW, GLint(view.textures[0]), 0}));
    for (int slot : {1, 2}) {
      GLint filters[2] = {};
      glBindTexture(GL_TEXTURE_2D, view.textures[slot]);
      glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filters[0]);
      glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filters[1]);
      EXPECT_TRUE(filters[0] == GL_LINEAR && filters[1] == GL_LINEAR) << "slot " << slot;
    }
    glBindTexture(GL_TEXTURE_2D, view.textures[0]);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    view.add(0.4f, 0.6f, 0.0f).active = 0;
    view.add(0.6f, 0.4f, 0.0f).fade = 0.0f;
    EXPECT_TRUE(view.draw(ref.lists, ref.blur).rgba == picture.rgba);
    double figures[4] = {0, 0, 0, double(picture.countAbove(0))};
    for (size_t i = 0; i < picture.rgba.size(); ++i) figures[i % 4] += i % 4 < 3 ? picture.rgba[i] : 0;
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(figures[k], ref.figures[k], ref.figures[k] * 0.005) << k;
  }
}

}  // namespace
