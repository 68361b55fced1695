// The glow's coverage against the glow itself: drawn by the fixed-function
// passes (the drawing rules' picture), every lit pixel of the composite lies
// in a marked tile, at the saver's sizes, with wings and with sprites, over
// many wing beats and headings; and at the saver's sizes the marks stay well
// short of the whole view, or the fast path would gain nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "math/Random.h"
#include "saver/gl_resources.h"
#include "support/gl.h"
#include "world/VelWorldSettings.h"
#include "world/render/VelGlowCoverage.h"
#include "world/render/VelWorldRender.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:swrast_dri.so\n"; }

namespace {

struct Coverage {
  VelGlowCoverage marks{};
  Coverage(int width, int height) { EXPECT_TRUE(initVelGlowCoverage(&marks, width, height)); }
  ~Coverage() { freeVelGlowCoverage(&marks); }
  bool lit(int x, int y) const { return marks.lit[(y / kVelGlowTile) * marks.cols + x / kVelGlowTile] != 0; }
  double share() const {
    int n = 0;
    for (int i = 0; i < marks.cols * marks.rows; ++i) n += marks.lit[i];
    return double(n) / (marks.cols * marks.rows);
  }
};

struct World {
  VelWorld world{};
  World(uint32_t seed, int32_t quantity, int width, int height) {
    seedRandom(seed);
    EXPECT_EQ(initializeVelWorldFromSettings(&world, defaultVelWorldSettings(quantity, 1, 1, width, height)), 0);
  }
  ~World() { freeVelWorld(&world); }
};

TEST(GlowCoverage, HoldsEveryLitPixelOfTheGlow) {
  const std::pair<int, int> sizes[] = {{640, 400}, {1920, 1080}, {1080, 1920}, {333, 187}};
  for (const auto& [width, height] : sizes) {
    moonwisp::test::HeadlessContext context(width, height);
    ASSERT_TRUE(context.ok()) << context.error();
    setSaverViewGLState(width, height);
    GLuint textures[kTextureCount] = {}, lists[kDisplayListCount] = {};
    bool loaded = false;
    glDataLoad(textures, lists, &loaded, width, height);
    ASSERT_TRUE(loaded);
    const GLuint noLists[kDisplayListCount] = {};
    Coverage coverage(width, height);
    for (const bool winged : {true, false}) {
      World w(winged ? 17 : 23, width > 1000 ? 77 : 20, width, height);
      double marked = 0, litShare = 0;
      for (int snapshot = 0; snapshot < 6; ++snapshot) {
        SCOPED_TRACE(testing::Message() << width << " x " << height << (winged ? " wings" : " sprites")
                                        << ", snapshot " << snapshot);
        for (int step = 0; step < 37; ++step) updateVelWorld(&w.world, 16667);
        findVelGlowCoverage(&coverage.marks, &w.world, winged);
        // The composite as the drawing rules draw it, before the sharp render.
        glClear(GL_COLOR_BUFFER_BIT);
        const VelGlowFrame frame = beginVelWorldGlow(&w.world, winged ? lists : noLists, nullptr);
        renderVelWorld(&w.world, nullptr, textures, winged ? lists : noLists, 1.0f);
        drawVelWorldGlowPasses(&w.world, textures, nullptr, frame);
        const moonwisp::test::Picture glow = moonwisp::test::readPicture(width, height);
        int outside = 0, lit = 0;
        for (int y = 0; y < height; ++y)
          for (int x = 0; x < width; ++x) {
            const uint8_t* p = &glow.rgba[4 * (size_t(y) * width + x)];
            if (p[0] == 0 && p[1] == 0 && p[2] == 0) continue;
            ++lit;
            outside += !coverage.lit(x, y);
          }
        ASSERT_EQ(outside, 0) << "lit pixels of the glow in unmarked tiles";
        marked += coverage.share() / 6;
        litShare += double(lit) / (width * height) / 6;
      }
      std::printf("%d x %d %s: %.0f%% of the tiles marked, %.0f%% of the pixels lit\n", width, height,
                  winged ? "wings" : "sprites", 100 * marked, 100 * litShare);
      EXPECT_GT(litShare, 0.02) << "hardly any glow: the check proves little";
      if (width >= 640) {
        EXPECT_LT(marked, 0.55) << "the marks hold far more than the glow";
      }
    }
    glDataDispose(textures, lists, &loaded);
  }
}

// A butterfly off the view marks nothing, one reaching the camera or one at a
// position that is not a number marks all.
TEST(GlowCoverage, MarksNothingOffTheViewAndAllWhenInDoubt) {
  World w(3, 20, 640, 400);
  VelButterfly* flock = w.world.butterfly_collection.butterflies;
  for (int i = 0; i < 20; ++i) flock[i].active = 0;
  Coverage coverage(640, 400);
  findVelGlowCoverage(&coverage.marks, &w.world, true);
  EXPECT_EQ(coverage.share(), 0.0);
  EXPECT_EQ(coverage.marks.rect_count, 0);

  flock[0].active = 1;
  flock[0].position = Vector3FloatConstruct(8.0f, 0.5f, 0.5f);  // far to the right
  findVelGlowCoverage(&coverage.marks, &w.world, true);
  EXPECT_EQ(coverage.share(), 0.0);
  flock[0].position = Vector3FloatConstruct(0.5f, 0.5f, -0.6f);  // at the camera
  findVelGlowCoverage(&coverage.marks, &w.world, true);
  EXPECT_EQ(coverage.share(), 1.0);
  flock[0].position = Vector3FloatConstruct(NAN, 0.5f, 0.5f);
  findVelGlowCoverage(&coverage.marks, &w.world, false);
  EXPECT_EQ(coverage.share(), 1.0);
}

// Marks drawn by hand (rows listed from the view's bottom): the rectangles
// hold each marked tile exactly once and no other, in as few rectangles as
// the sweep promises.
TEST(GlowCoverage, RectanglesHoldEachMarkedTileOnce) {
  const struct {
    std::vector<const char*> rows;
    int rects;
  } patterns[] = {
      {{"....", "....", "...."}, 0},
      {{"####", "####", "####"}, 1},
      {{"#...", "....", "...#"}, 2},
      {{"##..", "###.", ".##."}, 3},  // a run grown up while the row above holds it, the rest apart
      {{"#.#.", "#.#.", "####"}, 4},
      {{".##.", "####", "#..#"}, 3},
      {{"###.", "#.##", "...."}, 3},  // a run stops below a gap, wherever the gap lies
  };
  for (const auto& p : patterns) {
    const int cols = 4, rows = int(p.rows.size());
    Coverage coverage(cols * kVelGlowTile, rows * kVelGlowTile);
    VelGlowCoverage& c = coverage.marks;
    int marks = 0;
    for (int row = 0; row < rows; ++row)
      for (int col = 0; col < cols; ++col) marks += c.lit[row * cols + col] = p.rows[row][col] == '#';
    gatherVelGlowRects(&c);
    SCOPED_TRACE(testing::Message() << p.rows[0] << "/" << p.rows[1] << "/" << p.rows[2]);
    std::set<std::pair<int, int>> covered;
    for (int i = 0; i < c.rect_count; ++i)
      for (int row = c.rects[i].row; row < c.rects[i].row + c.rects[i].rows; ++row)
        for (int col = c.rects[i].col; col < c.rects[i].col + c.rects[i].cols; ++col) {
          ASSERT_TRUE(row < rows && col < cols && c.lit[row * cols + col]) << "unmarked tile " << col << ", " << row;
          EXPECT_TRUE(covered.insert({col, row}).second) << "tile in two rectangles";
        }
    EXPECT_EQ(int(covered.size()), marks);
    EXPECT_EQ(c.rect_count, p.rects);
  }
}

}  // namespace
