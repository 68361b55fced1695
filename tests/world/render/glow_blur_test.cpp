// The glow's fast path (its own framebuffer, the blur's shaders, only the
// tiles the glow can light) against the fixed-function passes it replaces:
// the kernel against a direct sum of the shifted, bilinearly sampled copies,
// and whole pictures of seeded worlds drawn both ways at the sizes the saver
// meets. The fixed-function passes stay the fallback wherever the fast path
// cannot be made. Drawn into an X window, the picture is the headless one.
// gtest first: X11 defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "host/x11/glx_context.h"
#include "math/Random.h"
#include "platform/gl/gl_entry_points.h"
#include "saver/gl_resources.h"
#include "support/gl.h"
#include "support/process.h"
#include "world/VelWorldSettings.h"
#include "world/render/VelGlowKernel.h"
#include "world/render/VelWorldRender.h"

// Mesa's software driver leaks the draw context it makes for feedback mode
// when the GL context is destroyed; the same line is in tests/lsan.supp.
extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\n"; }

namespace {

// A copy shifted by o texels as the sampler reads it away from the edges.
double bilinear(const std::vector<double>& row, double position) {
  const double below = std::floor(position);
  const double f = position - below;
  const size_t i = static_cast<size_t>(below);
  return f == 0 ? row[i] : (1 - f) * row[i] + f * row[i + 1];
}

// For every texel far enough from the edges, the kernel's weighted texels
// give the sum of the pass's copies; the weights add up to the copies'
// weights (9 x 0.2 sideways, 1 + 8 x 0.2 up and down), and the kernel reaches
// as far as the longest shift.
TEST(GlowKernel, GivesTheSumOfTheShiftedCopies) {
  const struct {
    int width, height, radius[2];  // sideways, vertical
  } views[] = {{640, 400, {1, 1}}, {1920, 1080, {2, 4}}, {3840, 2160, {4, 7}},
               {1080, 1920, {4, 2}}, {512, 512, {2, 2}}, {7680, 4320, {7, 0}}};
  std::mt19937 random(7);
  std::uniform_real_distribution<double> level(0, 1);
  for (const auto& view : views) {
    const int side = screen_buffer_dimensions2(view.width, view.height);
    const VelAspectFactors factors = velAspectFactors(view.width, view.height);
    std::vector<double> row(static_cast<size_t>(side));
    for (double& v : row) v = level(random);
    for (VelGlowPass pass : {VelGlowPass::kSideways, VelGlowPass::kVertical}) {
      SCOPED_TRACE(testing::Message() << view.width << " x " << view.height << " pass " << int(pass));
      const VelGlowKernel kernel = makeVelGlowKernel(pass, side, factors);
      ASSERT_EQ(kernel.radius, view.radius[int(pass)]);
      if (kernel.radius == 0) continue;  // too wide: the shaders draw the copies
      const float aspect = velGlowPassAspect(pass, factors);
      double total = 0;
      for (int m = -kernel.radius; m <= kernel.radius; ++m) total += kernel.weights[m + kernel.radius];
      EXPECT_NEAR(total, pass == VelGlowPass::kSideways ? 1.8 : 2.6, 1e-6);
      EXPECT_GT(kernel.weights[0], 0.0);
      const double longest = velGlowTapOffset(4, aspect) * double(side);
      EXPECT_EQ(kernel.radius, int(std::ceil(longest)));
      for (int i = kernel.radius; i < side - kernel.radius; i += 7) {
        double copies = 0, kernelled = 0;
        for (int k = -4; k <= 4; ++k)
          copies += velGlowTapWeight(pass, k) * bilinear(row, i + double(velGlowTapOffset(k, aspect)) * side);
        for (int m = -kernel.radius; m <= kernel.radius; ++m) kernelled += kernel.weights[m + kernel.radius] * row[i + m];
        ASSERT_NEAR(kernelled, copies, 1e-9) << "texel " << i;
      }
    }
  }
}

struct Glow {
  moonwisp::test::HeadlessContext context;
  GLuint textures[kTextureCount] = {}, lists[kDisplayListCount] = {};
  bool loaded = false;
  VelGlowBlur blur{};
  int width, height;

  Glow(int w, int h) : context(w, h), width(w), height(h) {
    if (!context.ok()) return;
    setSaverViewGLState(w, h);
    glDataLoad(textures, lists, &loaded, w, h, &blur);
  }
  ~Glow() { glDataDispose(textures, lists, &loaded, &blur); }

  moonwisp::test::Picture draw(const VelWorld& world, VelGlowBlur* with) {
    glClear(GL_COLOR_BUFFER_BIT);
    drawVelWorld(&world, nullptr, textures, lists, 1.0f, with);
    return moonwisp::test::readPicture(width, height);
  }
};

// A seeded world two seconds after its start, the butterflies spread out and
// faded in.
struct SeededWorld {
  VelWorld world{};
  SeededWorld(uint32_t seed, int32_t quantity, int8_t color, int width, int height, int8_t glow = 1) {
    seedRandom(seed);
    EXPECT_EQ(initializeVelWorldFromSettings(&world, defaultVelWorldSettings(quantity, color, glow, width, height)), 0);
    for (int step = 0; step < 120; ++step) updateVelWorld(&world, 16667);
  }
  ~SeededWorld() { freeVelWorld(&world); }
};

struct Difference {
  double mean = 0;            // levels, over every colour channel
  double farShare = 0;        // share of pixels with a channel more than `far` levels apart
  int largest = 0;            // levels
};

// Over the whole picture, or (border > 0) only over the pixels within
// `border` pixels of its edges, where the blur's copies are clamped.
Difference compare(const moonwisp::test::Picture& a, const moonwisp::test::Picture& b, int border = 0, int far = 8) {
  Difference d;
  size_t farPixels = 0, total = 0;
  for (size_t i = 0; i < a.rgba.size(); i += 4) {
    const int x = int(i / 4) % a.width, y = int(i / 4) / a.width;
    if (border > 0 && x >= border && y >= border && x < a.width - border && y < a.height - border) continue;
    int widest = 0;
    for (size_t c = i; c < i + 3; ++c) {
      const int level = std::abs(a.rgba[c] - b.rgba[c]);
      d.mean += level;
      widest = std::max(widest, level);
    }
    farPixels += widest > far;
    d.largest = std::max(d.largest, widest);
    ++total;
  }
  d.mean /= 3.0 * double(total);
  d.farShare = double(farPixels) / double(total);
  return d;
}

// The reference tolerance of the glow's pictures: mean difference under half
// a level, under 0.2% of pixels more than 8 levels apart. The copies round
// to 8 bits after each of the 17 blends, the shaders once per pass; the
// largest differences come from that rounding and lie in bright glow.
TEST(GlowBlur, FastPathDrawsTheFallbackPictureAtTheSaversSizes) {
  const std::pair<int, int> sizes[] = {{640, 400}, {1920, 1080}, {3840, 2160}};
  const struct {
    uint32_t seed;
    int32_t quantity;
    int8_t color;
  } worlds[] = {{3, 220, 1}, {11, 77, 6}, {29, 220, 4}};
  for (const auto& [width, height] : sizes) {
    Glow glow(width, height);
    ASSERT_TRUE(glow.loaded) << glow.context.error();
    ASSERT_TRUE(glow.blur.ready) << "the shaders could not be made";
    for (const auto& w : worlds) {
      SCOPED_TRACE(testing::Message() << width << " x " << height << ", seed " << w.seed);
      SeededWorld seeded(w.seed, w.quantity, w.color, width, height);
      const moonwisp::test::Picture shaded = glow.draw(seeded.world, &glow.blur);
      const moonwisp::test::Picture copied = glow.draw(seeded.world, nullptr);
      EXPECT_GT(copied.countAbove(16), width * height / 50) << "hardly any glow drawn";
      // The whole picture, then within four glow texels of the edges.
      for (const int border : {0, 4 * width / screen_buffer_dimensions2(width, height)}) {
        const Difference d = compare(shaded, copied, border);
        std::printf("%d x %d seed %u%s: mean %.3f levels, %.4f%% pixels > 8 levels apart, largest %d\n", width,
                    height, w.seed, border ? " edges" : "", d.mean, 100 * d.farShare, d.largest);
        EXPECT_LT(d.mean, 0.5);
        EXPECT_LT(d.farShare, 0.002);
      }
      EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
  }
}

// Where an entry point is missing (a shader's or a framebuffer's) the fast
// path is not made, and the glow is the fallback's picture bit for bit; the
// lookup restored, the next load makes it.
const char* missingEntryPoint = nullptr;

TEST(GlowBlur, MissingEntryPointKeepsTheFallback) {
  for (const char* missing : {"glUseProgram", "glCheckFramebufferStatus"}) {
    missingEntryPoint = missing;
    setGLEntryPointLookupForTesting([](const char* name) -> GLProc {
      return std::strcmp(name, missingEntryPoint) == 0 ? nullptr : moonwisp::glEntryPoint(name);
    });
    Glow without(320, 200);
    setGLEntryPointLookupForTesting(nullptr);
    ASSERT_TRUE(without.loaded) << without.context.error();
    EXPECT_FALSE(without.blur.ready) << missing;
    SeededWorld seeded(5, 220, 1, 320, 200);
    const moonwisp::test::Picture fallback = without.draw(seeded.world, &without.blur);
    EXPECT_TRUE(fallback.rgba == without.draw(seeded.world, nullptr).rgba) << missing;
    EXPECT_GT(fallback.countAbove(16), 320 * 200 / 50);
  }

  Glow with(320, 200);
  ASSERT_TRUE(with.loaded) << with.context.error();
  EXPECT_TRUE(with.blur.ready);
  // Made for another view size, the fast path is not used.
  SeededWorld other(5, 220, 1, 320, 180);
  EXPECT_FALSE(velGlowBlurFits(&with.blur, 320, 180));
  EXPECT_TRUE(with.draw(other.world, &with.blur).rgba == with.draw(other.world, nullptr).rgba);
}

// Mesa blends into the window's BGRX buffer and the headless RGBA one with
// slightly different rounding: a few pixels differ by a level or two, a few
// more once the shaders carry that into the glow at full weight.
TEST(GlowBlur, WindowAndHeadlessPicturesAgree) {
  Display* display = XOpenDisplay(nullptr);
  MOONWISP_NEEDS_SERVER(display != nullptr, "no X display");
  std::string error;
  std::unique_ptr<moonwisp::GLSurface> surfaces[] = {moonwisp::GlxSurface::createWindow(display, 200, 120, "picture"),
                                                     moonwisp::EglSurface::create(200, 120, &error)};
  ASSERT_TRUE(surfaces[0] && surfaces[1]) << error;
  for (auto [glow, shaded] : {std::pair<int8_t, bool>{0, false}, {1, false}, {1, true}}) {
    SCOPED_TRACE(testing::Message() << "glow " << int(glow) << (shaded ? ", shaders" : ", copies"));
    SeededWorld seeded(5, 220, 1, 200, 120, glow);
    moonwisp::test::Picture pictures[2];
    for (int i = 0; i < 2; ++i) {  // read before the swap: a GLX front buffer reads back black under Xvfb
      ASSERT_TRUE(surfaces[i]->makeCurrent());
      setSaverViewGLState(200, 120);
      GLuint textures[kTextureCount] = {}, lists[kDisplayListCount] = {};
      bool loaded = false;
      VelGlowBlur blur{};
      glDataLoad(textures, lists, &loaded, 200, 120, shaded ? &blur : nullptr);
      ASSERT_EQ(blur.ready, shaded);
      glClear(GL_COLOR_BUFFER_BIT);
      drawVelWorld(&seeded.world, nullptr, textures, lists, 1.0f, &blur);
      pictures[i] = moonwisp::test::readPicture(200, 120);
      glDataDispose(textures, lists, &loaded, &blur);
      surfaces[i]->flushBuffer();
      surfaces[i]->release();
    }
    EXPECT_GT(pictures[1].countAbove(40), 100) << "hardly anything drawn";
    const Difference d = compare(pictures[0], pictures[1], 0, 0);
    EXPECT_LE(d.farShare, 0.03);
    EXPECT_LE(d.largest, shaded ? 5 : 3);
  }
  for (auto& surface : surfaces) surface.reset();
  XCloseDisplay(display);
}

}  // namespace
