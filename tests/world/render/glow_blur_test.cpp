// The glow's blur drawn by shaders against the fixed-function copies it
// replaces: the kernel against a direct sum of the shifted, bilinearly
// sampled copies, and whole pictures of seeded worlds drawn both ways at the
// sizes the saver meets. The copies stay the fallback wherever the shaders
// cannot be made.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "math/Random.h"
#include "platform/gl/gl_entry_points.h"
#include "saver/gl_resources.h"
#include "support/gl.h"
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
    int width, height;
    int radius[2];  // sideways, vertical
  } views[] = {{640, 400, {1, 1}},   {1920, 1080, {2, 4}}, {3840, 2160, {4, 7}},
               {1080, 1920, {4, 2}}, {512, 512, {2, 2}},   {7680, 4320, {7, 0}}};
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

  moonwisp::test::Picture draw(const VelWorld& world, const VelGlowBlur* with) {
    glClear(GL_COLOR_BUFFER_BIT);
    drawVelWorld(&world, nullptr, textures, lists, 1.0f, with);
    return moonwisp::test::readPicture(width, height);
  }
};

// A seeded world two seconds after its start, the butterflies spread out and
// faded in.
struct SeededWorld {
  VelWorld world{};
  SeededWorld(uint32_t seed, int32_t quantity, int8_t color, int width, int height) {
    seedRandom(seed);
    EXPECT_EQ(initializeVelWorldFromSettings(&world, defaultVelWorldSettings(quantity, color, 1, width, height)), 0);
    for (int step = 0; step < 120; ++step) updateVelWorld(&world, 16667);
  }
  ~SeededWorld() { freeVelWorld(&world); }
};

struct Difference {
  double mean = 0;            // levels, over every colour channel
  double farShare = 0;        // share of pixels with a channel more than 8 levels apart
  int largest = 0;            // levels
};

// Over the whole picture, or (border > 0) only over the pixels within
// `border` pixels of its edges, where the blur's copies are clamped.
Difference compare(const moonwisp::test::Picture& a, const moonwisp::test::Picture& b, int border = 0) {
  Difference d;
  size_t far = 0, total = 0;
  for (size_t i = 0; i < a.rgba.size(); i += 4) {
    const int x = int(i / 4) % a.width, y = int(i / 4) / a.width;
    if (border > 0 && x >= border && y >= border && x < a.width - border && y < a.height - border) continue;
    int widest = 0;
    for (size_t c = i; c < i + 3; ++c) {
      const int level = std::abs(a.rgba[c] - b.rgba[c]);
      d.mean += level;
      widest = std::max(widest, level);
    }
    far += widest > 8;
    d.largest = std::max(d.largest, widest);
    ++total;
  }
  d.mean /= 3.0 * double(total);
  d.farShare = double(far) / double(total);
  return d;
}

// The reference tolerance of the glow's pictures: mean difference under half
// a level, under 0.2% of pixels more than 8 levels apart. The copies round
// to 8 bits after each of the 17 blends, the shaders once per pass; the
// largest differences come from that rounding and lie in bright glow.
TEST(GlowBlur, ShadersDrawTheCopiesPictureAtTheSaversSizes) {
  const struct {
    int width, height;
  } sizes[] = {{640, 400}, {1920, 1080}, {3840, 2160}};
  const struct {
    uint32_t seed;
    int32_t quantity;
    int8_t color;
  } worlds[] = {{3, 220, 1}, {11, 77, 6}, {29, 220, 4}};
  for (const auto& size : sizes) {
    Glow glow(size.width, size.height);
    ASSERT_TRUE(glow.loaded) << glow.context.error();
    ASSERT_TRUE(glow.blur.ready) << "the shaders could not be made";
    for (const auto& w : worlds) {
      SCOPED_TRACE(testing::Message() << size.width << " x " << size.height << ", seed " << w.seed);
      SeededWorld seeded(w.seed, w.quantity, w.color, size.width, size.height);
      const moonwisp::test::Picture shaded = glow.draw(seeded.world, &glow.blur);
      const moonwisp::test::Picture copied = glow.draw(seeded.world, nullptr);
      EXPECT_GT(copied.countAbove(16), size.width * size.height / 50) << "hardly any glow drawn";
      const Difference d = compare(shaded, copied);
      std::printf("%d x %d seed %u: mean %.3f levels, %.4f%% pixels > 8 levels apart, largest %d\n", size.width,
                  size.height, w.seed, d.mean, 100 * d.farShare, d.largest);
      EXPECT_LT(d.mean, 0.5);
      EXPECT_LT(d.farShare, 0.002);
      // The same within four glow texels of the edges.
      const int border = 4 * size.width / screen_buffer_dimensions2(size.width, size.height);
      const Difference edges = compare(shaded, copied, border);
      std::printf("  edges: mean %.3f levels, %.4f%% pixels > 8 levels apart, largest %d\n", edges.mean,
                  100 * edges.farShare, edges.largest);
      EXPECT_LT(edges.mean, 0.5);
      EXPECT_LT(edges.farShare, 0.002);
      EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
  }
}

// Where an entry point is missing the blur is not made, and the glow is the
// copies' picture bit for bit; the lookup restored, the next load makes it.
TEST(GlowBlur, MissingEntryPointKeepsTheCopies) {
  setGLEntryPointLookupForTesting([](const char* name) -> GLProc {
    return std::strcmp(name, "glUseProgram") == 0 ? nullptr : moonwisp::glEntryPoint(name);
  });
  Glow without(320, 200);
  setGLEntryPointLookupForTesting(nullptr);
  ASSERT_TRUE(without.loaded) << without.context.error();
  EXPECT_FALSE(without.blur.ready);
  SeededWorld seeded(5, 220, 1, 320, 200);
  const moonwisp::test::Picture fallback = without.draw(seeded.world, &without.blur);
  EXPECT_TRUE(fallback.rgba == without.draw(seeded.world, nullptr).rgba);
  EXPECT_GT(fallback.countAbove(16), 320 * 200 / 50);

  glDataDispose(without.textures, without.lists, &without.loaded, &without.blur);
  glDataLoad(without.textures, without.lists, &without.loaded, 320, 200, &without.blur);
  EXPECT_TRUE(without.blur.ready);
  // Made for another view size, the shaders are not used.
  SeededWorld other(5, 220, 1, 320, 180);
  EXPECT_FALSE(velGlowBlurFits(&without.blur, 320, 180));
  EXPECT_TRUE(without.draw(other.world, &without.blur).rgba == without.draw(other.world, nullptr).rgba);
}

}  // namespace
