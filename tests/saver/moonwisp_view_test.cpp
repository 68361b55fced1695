// The saver view driven as the host drives it, drawing into real headless
// OpenGL surfaces (Mesa), with the settings in a private config folder.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/monotonic_clock.h"
#include "platform/core/system_log.h"
#include "platform/gl/egl_context.h"
#include "prefs/VelPreferenceHandler.h"
#include "saver/MoonwispView.h"
#include "world/VelAllocator.h"

namespace moonwisp {
namespace {

// GLib reads the config folder once per process: the environment points it
// at a private one before any test runs, and removes it after the last (not
// in the children of death tests, which end without tearing it down).
class PrivateConfigFolder : public testing::Environment {
 public:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/moonwisp-view-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    setenv("XDG_CONFIG_HOME", pattern.c_str(), 1);
  }
  void TearDown() override {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

 private:
  std::string folder_;
};
testing::Environment* const g_privateConfig = testing::AddGlobalTestEnvironment(new PrivateConfigFolder);

// A stepping clock: every reading is 16667 us after the previous one.
uint64_t g_now = 1'000'000;
uint64_t steppingClock() { return g_now += 16667; }

// Wraps a real surface and reads the back buffer at each flush, before it is
// presented: what the user would see in that frame.
class RecordingSurface final : public GLSurface {
 public:
  explicit RecordingSurface(std::unique_ptr<GLSurface> inner, std::vector<uint64_t>* frames)
      : inner_(std::move(inner)), frames_(frames) {}
  bool makeCurrent() override { return inner_->makeCurrent(); }
  void release() override { inner_->release(); }
  void flushBuffer() override {
    const SurfaceBounds b = inner_->bounds();
    std::vector<unsigned char> pixels(size_t(b.width) * size_t(b.height) * 4);
    glReadPixels(0, 0, GLsizei(b.width), GLsizei(b.height), GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    uint64_t brightness = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) brightness += pixels[i] + pixels[i + 1] + pixels[i + 2];
    frames_->push_back(brightness);
    inner_->flushBuffer();
  }
  SurfaceBounds bounds() const override { return inner_->bounds(); }
  bool setSwapInterval(int interval) override { return inner_->setSwapInterval(interval); }

 private:
  std::unique_ptr<GLSurface> inner_;
  std::vector<uint64_t>* frames_;
};

class TestHost final : public SaverHostServices {
 public:
  std::unique_ptr<GLSurface> createSurface(ViewRect frame) override {
    if (!makeSurfaces) return nullptr;
    auto surface = EglSurface::create(int(frame.width), int(frame.height));
    if (!surface) return nullptr;
    return std::make_unique<RecordingSurface>(std::move(surface), &frames);
  }
  int32_t getDisplaysWithRect(ViewRect, uint32_t maxDisplays, uint32_t* displays, uint32_t* count) override {
    if (queryFails) return 1;
    *count = 0;
    for (uint32_t id : touched) {
      if (*count < maxDisplays) displays[(*count)++] = id;
    }
    return 0;
  }
  uint32_t mainDisplayID() override { return 1; }

  bool makeSurfaces = true;
  bool queryFails = false;
  std::vector<uint32_t> touched{1};
  std::vector<uint64_t> frames;  // brightness of each presented frame
};

void storePrefs(int32_t quantity, int8_t color, int8_t glow, bool mainscreenonly) {
  VelPrefs p{};
  p.quantity = quantity;
  p.particleColor = color;
  p.glow = glow;
  p.mainscreenonly = mainscreenonly;
  p.checkForUpdates = false;
  VelPreferenceHandler().setVelPrefs(&p);
}

class MoonwispViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    moonwisp::setMicrosecondSource(steppingClock);
    storePrefs(77, 6, 1, false);
  }
  void TearDown() override { moonwisp::setMicrosecondSource(nullptr); }
  TestHost host;
};

TEST_F(MoonwispViewTest, FourBlackFramesThenAPictureWhileTheWorldAdvances) {
  MoonwispView view({0, 0, 320, 200}, false, host);
  EXPECT_TRUE(view.isMainDisplayOrPreview());
  EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 1.0 / 60.0);
  view.startAnimation();  // runs the first frame step at once
  ASSERT_EQ(host.frames.size(), 1u);
  ASSERT_NE(view.world(), nullptr);
  for (int i = 0; i < 5; ++i) view.animateOneFrame();
  ASSERT_EQ(host.frames.size(), 6u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(host.frames[size_t(i)], 0u) << "frame " << i;
  EXPECT_GT(host.frames[4], 0u);
  EXPECT_EQ(view.firstFramesCountValue(), 4);
  // The first step measures from the clock's set-up readings (two ticks).
  EXPECT_EQ(view.world()->color_cycle_elapsed, 7u * 16667u);
  view.stopAnimation();
}

TEST_F(MoonwispViewTest, WorldIsBuiltFromTheStoredSettings) {
  MoonwispView view({10, 20, 640.9, 480.7}, false, host);
  view.startAnimation();
  const VelWorld* w = view.world();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->butterfly_collection.num_butterflies, 77);
  EXPECT_EQ(w->butterfly_collection.max_num_butterflies, 77);
  EXPECT_EQ(w->screen_width, 640);
  EXPECT_EQ(w->screen_height, 480);
  EXPECT_EQ(w->speed, float(double(10.0f) * 1e-08));
  EXPECT_EQ(w->butterfly_size, float(double(4.0f) * 0.03));
  EXPECT_EQ(w->glow, 1);
  EXPECT_EQ(w->color_cycling, 1);
  EXPECT_GE(w->color_type, 0);
  EXPECT_LE(w->color_type, 2);
  EXPECT_EQ(view.randomizer()->enabled, 0);  // even with colour choice 6
  EXPECT_TRUE(view.glDataLoaded());
  view.stopAnimation();
}

TEST_F(MoonwispViewTest, StopReleasesClockAndWorldAndStartBuildsANewSeededWorld) {
  MoonwispView view({0, 0, 200, 200}, false, host);
  view.startAnimation();
  for (int i = 0; i < 3; ++i) view.animateOneFrame();
  const uint32_t firstSeed = view.scheduler()->start_time.lo;
  const Vector3Float firstPosition = view.world()->butterfly_collection.butterflies[0].position;
  view.stopAnimation();
  EXPECT_EQ(view.world(), nullptr);
  EXPECT_EQ(view.scheduler(), nullptr);
  EXPECT_NE(view.randomizer(), nullptr);
  EXPECT_TRUE(view.glDataLoaded());

  storePrefs(20, 3, 0, true);  // re-read at the next start
  view.startAnimation();
  EXPECT_TRUE(view.mainDisplayOnlyFlag());
  EXPECT_NE(view.scheduler()->start_time.lo, firstSeed);
  EXPECT_EQ(view.world()->butterfly_collection.num_butterflies, 20);
  EXPECT_NE(view.world()->butterfly_collection.butterflies[0].position.x, firstPosition.x);
  // The first-frames count is never reset: nothing is blanked after a restart.
  EXPECT_EQ(view.firstFramesCountValue(), 4);
  EXPECT_GT(host.frames.back(), 0u);
  view.stopAnimation();
}

TEST_F(MoonwispViewTest, SecondaryDisplayOfAMainOnlySaverStaysBlackAndStill) {
  storePrefs(77, 6, 1, true);
  host.touched = {2};
  MoonwispView view({1920, 0, 300, 200}, false, host);
  EXPECT_FALSE(view.isMainDisplayOrPreview());
  view.startAnimation();
  for (int i = 0; i < 10; ++i) view.animateOneFrame();
  for (uint64_t f : host.frames) EXPECT_EQ(f, 0u);
  ASSERT_NE(view.world(), nullptr);
  EXPECT_EQ(view.world()->color_cycle_elapsed, 0u);
  EXPECT_EQ(view.firstFramesCountValue(), 0);
  view.stopAnimation();
}

TEST_F(MoonwispViewTest, MainDisplayDecision) {
  host.touched = {1, 2};  // spanning the main and a second display
  EXPECT_FALSE(MoonwispView({0, 0, 64, 64}, false, host).isMainDisplayOrPreview());
  host.touched = {};
  EXPECT_TRUE(MoonwispView({0, 0, 64, 64}, false, host).isMainDisplayOrPreview());
  host.queryFails = true;
  EXPECT_FALSE(MoonwispView({0, 0, 64, 64}, false, host).isMainDisplayOrPreview());
}

TEST_F(MoonwispViewTest, PreviewDrawsNothingAtStartAndOwnsTheSettingsSheet) {
  MoonwispView preview({0, 0, 160, 100}, true, host);
  EXPECT_TRUE(preview.isMainDisplayOrPreview());
  EXPECT_TRUE(preview.hasConfigureSheet());
  preview.startAnimation();
  EXPECT_TRUE(host.frames.empty());
  EXPECT_EQ(preview.world(), nullptr);
  preview.animateOneFrame();
  EXPECT_EQ(host.frames.size(), 1u);
  if (std::getenv("DISPLAY")) {
    ASSERT_NE(preview.configPref(), nullptr);
    EXPECT_NE(preview.configureSheet(), nullptr);
  }
  preview.stopAnimation();

  MoonwispView saver({0, 0, 160, 100}, false, host);
  EXPECT_TRUE(saver.hasConfigureSheet());
  EXPECT_EQ(saver.configureSheet(), nullptr);
}

TEST_F(MoonwispViewTest, ViewWithoutSurfaceLogsAndLivesOn) {
  std::vector<std::string> lines;
  setSystemLogSink([&lines](const std::string& line) { lines.push_back(line); });
  host.makeSurfaces = false;
  {
    MoonwispView view({0, 0, 100, 100}, false, host);
    view.startAnimation();
    view.animateOneFrame();
    view.drawRect({0, 0, 100, 100});
    view.stopAnimation();
  }
  setSystemLogSink(nullptr);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("Error: <MoonwispView", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("failed to initialize NSOpenGLView!"), std::string::npos);
}

TEST_F(MoonwispViewTest, DrawRectClearsToBlack) {
  MoonwispView view({0, 0, 64, 64}, false, host);
  view.drawRect({0, 0, 64, 64});
  ASSERT_EQ(host.frames.size(), 1u);
  EXPECT_EQ(host.frames[0], 0u);
}

TEST(MoonwispViewPrefs, ValidationBringsARecordIntoRange) {
  VelPrefs p{};
  p.quantity = 77;
  p.particleSize = 4.0f;
  p.particleSpeed = 10.0f;
  p.glow = 2;
  p.mainscreenonly = true;
  MoonwispView::validatePrefs(&p);
  EXPECT_EQ(p.particleSize, 4.0f);
  EXPECT_EQ(p.particleSpeed, 10.0f);
  EXPECT_EQ(p.glow, 1);
  EXPECT_TRUE(p.mainscreenonly);
  EXPECT_EQ(p.quantity, 77);
  p.particleSpeed = -1.0f;
  p.particleSize = 0.5f;
  p.glow = -1;  // 255 as a byte
  MoonwispView::validatePrefs(&p);
  EXPECT_EQ(p.particleSpeed, 10.0f);
  EXPECT_EQ(p.particleSize, 0.5f);
  EXPECT_EQ(p.glow, 1);
}

void* failingAllocate(std::size_t) { return nullptr; }

TEST_F(MoonwispViewTest, WorldThatCannotBeBuiltEndsTheProcessWithStatusMinusOne) {
  EXPECT_EXIT(
      {
        setVelAllocator(failingAllocate, nullptr);
        MoonwispView view({0, 0, 64, 64}, false, host);
        view.startAnimation();
      },
      ::testing::ExitedWithCode(255), "");
}

}  // namespace
}  // namespace moonwisp
