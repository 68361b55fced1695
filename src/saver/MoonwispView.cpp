#include "saver/MoonwispView.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "math/Random.h"
#include "platform/core/system_log.h"
#include "prefs/VelPreferenceKeys.h"
#include "saver/gl_resources.h"
#include "world/VelWorldSettings.h"
#include "world/render/VelWorldRender.h"

namespace moonwisp {
namespace {

constexpr uint32_t kMaxDisplays = 5000;

[[noreturn]] void failDataStructures() {
  systemLog("Error: Unable to initialize data structures.");
  std::exit(-1);
}

}  // namespace

MoonwispView::MoonwispView(ViewRect frame, bool isPreview, SaverHostServices& host, VelPrefOverrides overrides)
    : NorvScreenSaverViewMoonwisp(frame, isPreview, host), overrides_(std::move(overrides)) {
  if (isPreview) IsMainDisplayOrPreview = true;
  setAnimationTimeInterval(0.016666666666666666);
  mainDisplayOnly = false;
  gldataloaded = false;
  firstFrame = true;
  firstFramesCount = 0;

  if (!isPreview) {
    std::vector<uint32_t> displays(kMaxDisplays);
    uint32_t count = 0;
    if (this->host().getDisplaysWithRect(frame, kMaxDisplays, displays.data(), &count) == 0) {
      IsMainDisplayOrPreview = true;
      const uint32_t main_display = this->host().mainDisplayID();
      for (uint32_t i = 0; i < count && i < kMaxDisplays; ++i) {
        if (displays[i] != main_display) IsMainDisplayOrPreview = false;
      }
    }
  }
}

MoonwispView::~MoonwispView() {
  garbageCollection();
  // The names belong to this view's context: delete them there, or forget
  // them with a context that is gone.
  if (makeContextCurrent()) {
    glDataDispose(textures, displaylists, &gldataloaded, &glowblur);
    clearCurrentContext();
  } else {
    glDataForget(textures, displaylists, &gldataloaded, &glowblur);
  }
  std::free(randomizer_);
  randomizer_ = nullptr;
}

void MoonwispView::validatePrefs(VelPrefs* prefs) {
  if (prefs->particleSpeed < 0.0f || prefs->particleSpeed > 1.0f) prefs->particleSpeed = kVelParticleSpeed;
  if (prefs->particleSize < 0.0f || prefs->particleSize > 1.0f) prefs->particleSize = kVelParticleSize;
  if (uint8_t(prefs->glow) > 1) prefs->glow = 1;
  // The count must stay within what the settings allow.
  if (!velPrefInRange(kVelQuantitySetting, prefs->quantity))
    prefs->quantity = static_cast<int32_t>(kVelQuantitySetting.defaultValue);
}

void MoonwispView::readPrefs(VelPrefs* prefs) const {
  VelPreferenceHandler handler;
  handler.setOverrides(overrides_);
  handler.getVelPrefs(prefs);
}

void MoonwispView::startAnimation() {
  ScreenSaverView::startAnimation();
  setChildHidden(false);
  animate = true;
  if (!makeContextCurrent()) return;  // no surface: nothing to set up or draw

  VelPrefs prefs{};
  readPrefs(&prefs);
  validatePrefs(&prefs);
  mainDisplayOnly = prefs.mainscreenonly;
  blackFrameShown_ = false;

  setSwapInterval(1);
  setSaverViewGLState(screen_w, screen_h);

  glDataLoad(textures, displaylists, &gldataloaded, screen_w, screen_h, &glowblur);
  if (!isPreview()) animateOneFrame();
  clearCurrentContext();
}

void MoonwispView::stopAnimation() {
  const bool current = makeContextCurrent();
  garbageCollection();
  if (current) clearCurrentContext();
  ScreenSaverView::stopAnimation();
}

void MoonwispView::animateOneFrame() {
  if (!makeContextCurrent()) return;
  if (!world_) structureInit();
  if (!gldataloaded) glDataLoad(textures, displaylists, &gldataloaded, screen_w, screen_h, &glowblur);

  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);

  // A secondary display of a main-display-only saver stays black and still.
  if (keptBlack()) {
    blackFrameShown_ = true;
  } else {
    if (animate) {
      updateScheduler(scheduler_);
      updateVelRandomizer(randomizer_, scheduler_->delta_time);
      updateVelWorld(world_, scheduler_->delta_time);
      drawVelWorld(world_, scheduler_, textures, displaylists, 1.0f, &glowblur);
      drawVelRandomizer(randomizer_);
      // Held disabled, the randomizer never asks for a rebuild.
      (void)VelRandomizerNeedsReset(randomizer_);
    }
    // The first four frames of a new view are shown black.
    if (firstFrame || firstFramesCount <= 3) {
      firstFrame = false;
      ++firstFramesCount;
      glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
      glClear(GL_COLOR_BUFFER_BIT);
    }
  }
  flushBuffer();
  clearCurrentContext();
}

void MoonwispView::drawRect(ViewRect) {
  if (!makeContextCurrent()) return;
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  flushBuffer();
  clearCurrentContext();
}

bool MoonwispView::keptBlack() const { return !IsMainDisplayOrPreview && mainDisplayOnly; }

// Every further frame of a display kept black would be the same black frame.
bool MoonwispView::isIdleUntilExposed() const { return keptBlack() && blackFrameShown_; }

void MoonwispView::structureInit() {
  const ViewRect size = bounds();
  // The settings as stored now, read again rather than kept from
  // startAnimation: this runs at the first frame after every start
  // (stopAnimation drops the world), and the world takes what is stored then.
  // Not validated again: the handler's record already holds every default,
  // range and fixed value, which validatePrefs would leave as they are.
  VelPrefs prefs{};
  readPrefs(&prefs);

  if (!scheduler_) {
    scheduler_ = static_cast<Scheduler*>(std::malloc(sizeof(Scheduler)));
    if (!scheduler_) failDataStructures();
    initScheduler(scheduler_, 40000);
    seedRandom(scheduler_->start_time.lo);
  }
  if (!randomizer_) {
    randomizer_ = static_cast<VelRandomizer*>(std::malloc(sizeof(VelRandomizer)));
    if (!randomizer_) failDataStructures();
    initVelRandomizer(randomizer_, 300000000, 2000000, 2000000, 2000000, prefs.particleColor == 6 ? 1 : 0);
  }
  randomizer_->enabled = 0;

  if (!world_) {
    world_ = static_cast<VelWorld*>(std::malloc(sizeof(VelWorld)));
    if (!world_) failDataStructures();
    const VelWorldSettings settings{prefs.quantity,     prefs.particleType,     prefs.particleColor,
                                    prefs.glow,         prefs.particleSize,     prefs.particleSpeed,
                                    int32_t(size.width), int32_t(size.height)};
    if (initializeVelWorldFromSettings(world_, settings) != 0) failDataStructures();
  }
  std::fflush(stdout);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
}

void MoonwispView::garbageCollection() {
  std::free(scheduler_);
  scheduler_ = nullptr;
  if (world_) {
    freeVelWorld(world_);
    std::free(world_);
    world_ = nullptr;
  }
}

}  // namespace moonwisp
