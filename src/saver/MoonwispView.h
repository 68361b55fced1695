#pragma once
// The saver view: lifecycle calls of the host, the frame step, and ownership
// of the engine records and the OpenGL objects.
#include <GL/gl.h>

#include "prefs/VelPreferenceHandler.h"
#include "saver/NorvScreenSaverViewMoonwisp.h"
#include "timing/Scheduler.h"
#include "timing/VelRandomizer.h"
#include "world/VelButterflySystem.h"
#include "world/render/VelGlowBlur.h"

namespace moonwisp {

class MoonwispView : public NorvScreenSaverViewMoonwisp {
 public:
  // overrides: settings given for this run only, read in place of the stored ones.
  MoonwispView(ViewRect frame, bool isPreview, SaverHostServices& host, VelPrefOverrides overrides = {});
  ~MoonwispView() override;

  void startAnimation() override;
  void stopAnimation() override;
  void animateOneFrame() override;
  void drawRect(ViewRect rect) override;
  bool isIdleUntilExposed() const override;

  void structureInit();
  void garbageCollection();
  static void validatePrefs(VelPrefs* prefs);

  // Read-only access for tests.
  const VelWorld* world() const { return world_; }
  bool isMainDisplayOrPreview() const { return IsMainDisplayOrPreview; }
  const VelGlowBlur& glowBlur() const { return glowblur; }

 private:
  // A secondary display while the user wants the picture on the main one only.
  bool keptBlack() const;
  // The stored settings, with this run's overrides.
  void readPrefs(VelPrefs* prefs) const;

  Scheduler* scheduler_ = nullptr;
  VelRandomizer* randomizer_ = nullptr;
  VelWorld* world_ = nullptr;
  GLuint textures[11] = {};
  GLuint displaylists[3] = {};
  VelGlowBlur glowblur{};  // the glow's blur shaders, when the context runs them
  bool gldataloaded = false;
  bool animate = false;
  bool firstFrame = true;
  int32_t firstFramesCount = 0;
  bool IsMainDisplayOrPreview = false;
  bool mainDisplayOnly = false;
  bool blackFrameShown_ = false;  // a display kept black has shown its frame
  VelPrefOverrides overrides_;
};

}  // namespace moonwisp
