#pragma once
// The settings panel: a window with the saver's live preview and an
// "Options…" button that opens the view's settings sheet as a modal sheet of
// the panel. The preview view draws off screen (an EGL framebuffer at the
// area's size in device pixels); each frame is read back and painted into the
// drawing area with cairo, driven by the area's frame clock on 1/60 s
// deadlines, so the toolkit paints every window between two preview frames
// however long a frame takes, on any GDK back end. The preview runs only
// while the area is mapped. When the sheet has changed the stored settings
// the preview restarts, so that they show.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/frame_deadline.h"
#include "host/SaverHostServices.h"
#include "host/ScreenSaverView.h"
#include "host/host_options.h"

typedef struct _cairo_surface cairo_surface_t;

namespace moonwisp {

class EglSurface;

class PreviewPanel {
 public:
  // Some text that changes whenever the stored settings change.
  using SettingsSnapshot = std::function<std::string()>;

  // Needs an initialised toolkit; the window is not shown yet. makeView makes
  // the preview view for a frame (origin 0, size in device pixels).
  static std::unique_ptr<PreviewPanel> create(SaverViewFactory makeView, SettingsSnapshot settings);
  // Destroys the window unless the toolkit already has (closed by the user).
  ~PreviewPanel();
  PreviewPanel(const PreviewPanel&) = delete;
  PreviewPanel& operator=(const PreviewPanel&) = delete;

  ui::Window* window() const { return window_.get(); }
  // The preview; null while the panel is not shown.
  ScreenSaverView* view() const { return view_.get(); }
  // True while the frame clock drives the preview.
  bool isTicking() const { return tick_ != 0; }
  // Frames drawn and handed to the toolkit since the panel was made.
  uint64_t framesShown() const { return framesShown_; }
  // What the Options… button does; returns when the sheet has ended.
  void openOptions();
  // One more button, on the left of the row under the preview.
  void addButton(const std::string& mnemonicLabel, std::function<void()> onClicked);

 private:
  class Services;
  PreviewPanel(SaverViewFactory makeView, SettingsSnapshot settings);
  void startPreview();
  void stopPreview();
  void releaseView();
  void onFrame(int64_t nowNs);
  static void onMap(void* widget, void* self);
  static void onUnmap(void* widget, void* self);
  static void onSizeAllocate(void* widget, void* allocation, void* self);
  static void onScaleChanged(void* widget, void* property, void* self);
  static void onWindowDestroyed(void* widget, void* self);
  static void onOptionsClicked(void* button, void* self);
  static int onTick(void* widget, void* clock, void* self);
  static int onDraw(void* widget, void* cairo, void* self);

  SaverViewFactory makeView_;
  SettingsSnapshot settings_;
  void* gtkWindow_ = nullptr;  // GtkWindow; null once the toolkit destroyed it
  void* area_ = nullptr;       // GtkDrawingArea, inside gtkWindow_
  void* buttonRow_ = nullptr;  // GtkBox, inside gtkWindow_
  std::unique_ptr<ui::Window> window_;
  std::unique_ptr<Services> services_;
  std::unique_ptr<ScreenSaverView> view_;
  EglSurface* surface_ = nullptr;    // owned by view_
  cairo_surface_t* frame_ = nullptr;  // the last frame read back, rows bottom up
  FrameDeadline deadline_;
  unsigned tick_ = 0;
  int pixelWidth_ = 0;
  int pixelHeight_ = 0;
  int scale_ = 1;
  ui::Window* sheet_ = nullptr;  // the view's sheet while it runs modally
  uint64_t framesShown_ = 0;
};

}  // namespace moonwisp
