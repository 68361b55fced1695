#pragma once
// The settings panel: a window with the saver's live preview, a preview view
// drawing into a native child window of the toolkit's window from the
// toolkit's main loop every 1/60 s, and an "Options…" button that opens the
// view's settings sheet as a modal sheet of the panel. When the sheet has
// changed the stored settings the preview restarts, so that they show.
#include <memory>

#include "host/x11/x11_host_services.h"
#include "saver/MoonwispView.h"

namespace moonwisp {

namespace ui {
class Window;
}

class PreviewPanel {
 public:
  // Null when the toolkit has no X11 display.
  static std::unique_ptr<PreviewPanel> create();
  ~PreviewPanel();
  PreviewPanel(const PreviewPanel&) = delete;
  PreviewPanel& operator=(const PreviewPanel&) = delete;

  ui::Window* window() const { return window_.get(); }
  // The preview; null while the panel is not shown.
  MoonwispView* view() const { return view_.get(); }
  // What the Options… button does; returns when the sheet has ended.
  void openOptions();

 private:
  PreviewPanel() = default;
  void startPreview();
  void stopPreview();
  static void onMap(void* widget, void* self);
  static void onUnmap(void* widget, void* self);
  static void onSizeAllocate(void* widget, void* allocation, void* self);
  static void onOptionsClicked(void* button, void* self);
  static int onTick(void* self);

  void* gtkWindow_ = nullptr;  // GtkWindow
  void* area_ = nullptr;       // GtkDrawingArea
  std::unique_ptr<ui::Window> window_;
  std::unique_ptr<X11HostServices> services_;
  std::unique_ptr<MoonwispView> view_;
  unsigned timer_ = 0;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace moonwisp
