#include "host/gtk/preview_panel.h"

#include <GL/gl.h>
#include <cairo.h>
#include <gtk/gtk.h>

#include "platform/core/system_log.h"
#include "platform/core/translation.h"
#include "platform/egl/egl_surface.h"
#include "platform/ui/controls.h"

namespace moonwisp {
namespace {

constexpr int kPreviewWidth = 400;
constexpr int kPreviewHeight = 250;
constexpr int64_t kFramePeriodNs = 1000000000 / 60;
// The frame clock ticks with the display's refresh, which need not keep step
// with the preview's deadlines: a tick this close before a deadline counts as
// on time, so that a 60 Hz clock is not halved by jitter.
constexpr int64_t kEarlyTickNs = kFramePeriodNs / 4;

// Escape, Ctrl+W and Ctrl+Q close the panel, as the window manager's close does.
gboolean closeOnKey(GtkWidget* window, GdkEventKey* event, gpointer) {
  const bool control = (event->state & GDK_CONTROL_MASK) != 0;
  if (event->keyval == GDK_KEY_Escape || (control && (event->keyval == GDK_KEY_w || event->keyval == GDK_KEY_q))) {
    gtk_window_close(GTK_WINDOW(window));
    return TRUE;
  }
  return FALSE;
}

}  // namespace

// The preview asks the host for nothing but its surface: an off-screen one.
class PreviewPanel::Services final : public SaverHostServices {
 public:
  std::unique_ptr<GLSurface> createSurface(ViewRect frame) override {
    std::string error;
    std::unique_ptr<EglSurface> surface = EglSurface::create(int(frame.width), int(frame.height), &error);
    if (!surface) systemLog("The preview has no drawing surface: %s", error.c_str());
    made = surface.get();
    return surface;
  }
  // A preview view never asks which displays it covers.
  int32_t getDisplaysWithRect(ViewRect, uint32_t, uint32_t*, uint32_t* count) override {
    if (count) *count = 0;
    return 1;
  }
  uint32_t mainDisplayID() override { return 0; }

  EglSurface* made = nullptr;
};

PreviewPanel::PreviewPanel(SaverViewFactory makeView, SettingsSnapshot settings)
    : makeView_(std::move(makeView)), settings_(std::move(settings)) {}

std::unique_ptr<PreviewPanel> PreviewPanel::create(SaverViewFactory makeView, SettingsSnapshot settings) {
  if (!gdk_display_get_default()) return nullptr;
  std::unique_ptr<PreviewPanel> panel(new PreviewPanel(std::move(makeView), std::move(settings)));
  PreviewPanel* self = panel.get();

  GtkWidget* top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(top), "Moonwisp");
  gtk_window_set_resizable(GTK_WINDOW(top), FALSE);
  g_signal_connect(top, "key-press-event", G_CALLBACK(closeOnKey), nullptr);
  g_signal_connect(top, "destroy", G_CALLBACK(onWindowDestroyed), self);
  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(column), 12);

  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, kPreviewWidth, kPreviewHeight);
  g_signal_connect(area, "draw", G_CALLBACK(onDraw), self);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  GtkWidget* options = gtk_button_new_with_mnemonic(_("_Options…"));
  gtk_box_pack_end(GTK_BOX(row), options, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(column), area, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(column), row, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(top), column);
  gtk_widget_show_all(column);

  panel->gtkWindow_ = top;
  panel->area_ = area;
  panel->buttonRow_ = row;
  g_signal_connect_after(area, "map", G_CALLBACK(onMap), self);
  g_signal_connect(area, "unmap", G_CALLBACK(onUnmap), self);
  g_signal_connect_after(area, "size-allocate", G_CALLBACK(onSizeAllocate), self);
  g_signal_connect(area, "notify::scale-factor", G_CALLBACK(onScaleChanged), self);
  g_signal_connect(options, "clicked", G_CALLBACK(onOptionsClicked), self);
  panel->window_ = std::make_unique<ui::Window>(top);
  return panel;
}

PreviewPanel::~PreviewPanel() {
  stopPreview();
  releaseView();
  // The window wrapper lets go of its handlers first; then whoever still owns
  // the window destroys it: this panel, unless the toolkit already has.
  window_.reset();
  if (gtkWindow_) {
    g_signal_handlers_disconnect_by_data(gtkWindow_, this);
    if (area_) g_signal_handlers_disconnect_by_data(area_, this);
    GtkWidget* top = static_cast<GtkWidget*>(gtkWindow_);
    gtkWindow_ = area_ = buttonRow_ = nullptr;
    gtk_widget_destroy(top);
  }
}

void PreviewPanel::onWindowDestroyed(void*, void* self) {
  auto* panel = static_cast<PreviewPanel*>(self);
  // The area goes with the window; it was unmapped first, so nothing ticks.
  panel->stopPreview();
  panel->gtkWindow_ = panel->area_ = panel->buttonRow_ = nullptr;
}

void PreviewPanel::addButton(const std::string& mnemonicLabel, std::function<void()> onClicked) {
  if (!buttonRow_) return;
  GtkWidget* button = gtk_button_new_with_mnemonic(mnemonicLabel.c_str());
  gtk_box_pack_start(GTK_BOX(buttonRow_), button, FALSE, FALSE, 0);
  gtk_widget_show(button);
  // The button owns its action, which goes with it.
  g_signal_connect_data(
      button, "clicked",
      G_CALLBACK(+[](GtkButton*, gpointer action) { (*static_cast<std::function<void()>*>(action))(); }),
      new std::function<void()>(std::move(onClicked)),
      +[](gpointer action, GClosure*) { delete static_cast<std::function<void()>*>(action); }, GConnectFlags(0));
}

void PreviewPanel::onMap(void*, void* self) { static_cast<PreviewPanel*>(self)->startPreview(); }

void PreviewPanel::onUnmap(void*, void* self) {
  auto* panel = static_cast<PreviewPanel*>(self);
  panel->stopPreview();
  panel->releaseView();
}

void PreviewPanel::onSizeAllocate(void*, void*, void* self) {
  auto* panel = static_cast<PreviewPanel*>(self);
  if (!panel->view_ || panel->sheet_) return;
  GtkWidget* area = static_cast<GtkWidget*>(panel->area_);
  const int scale = gtk_widget_get_scale_factor(area);
  // The view's size is fixed when it is made: a new size is a new view.
  if (gtk_widget_get_allocated_width(area) * scale != panel->pixelWidth_ ||
      gtk_widget_get_allocated_height(area) * scale != panel->pixelHeight_) {
    panel->stopPreview();
    panel->releaseView();
    panel->startPreview();
  }
}

void PreviewPanel::onScaleChanged(void* widget, void*, void* self) {
  onSizeAllocate(widget, nullptr, self);
}

void PreviewPanel::onOptionsClicked(void*, void* self) { static_cast<PreviewPanel*>(self)->openOptions(); }

int PreviewPanel::onTick(void*, void*, void* self) {
  static_cast<PreviewPanel*>(self)->onFrame(monotonicNanoseconds());
  return G_SOURCE_CONTINUE;
}

void PreviewPanel::onFrame(int64_t nowNs) {
  if (!view_ || !view_->isAnimating() || !deadline_.due(nowNs + kEarlyTickNs)) return;
  // Late ticks skip the deadlines they missed; none is made up later.
  deadline_.advance(nowNs + kEarlyTickNs);
  view_->animateOneFrame();
  if (!surface_ || !frame_ || !surface_->makeCurrent()) return;
  // Read the frame before anything else draws into the framebuffer. GL's rows
  // run bottom up; the draw handler flips them. BGRA bytes are cairo's
  // native-endian xRGB words on the little-endian machines this runs on.
  cairo_surface_flush(frame_);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, cairo_image_surface_get_stride(frame_) / 4);
  glReadPixels(0, 0, pixelWidth_, pixelHeight_, GL_BGRA, GL_UNSIGNED_BYTE, cairo_image_surface_get_data(frame_));
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  surface_->release();
  cairo_surface_mark_dirty(frame_);
  ++framesShown_;
  gtk_widget_queue_draw(static_cast<GtkWidget*>(area_));
}

int PreviewPanel::onDraw(void* widget, void* cairo, void* self) {
  auto* panel = static_cast<PreviewPanel*>(self);
  auto* cr = static_cast<cairo_t*>(cairo);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  if (!panel->frame_ || panel->framesShown_ == 0) return TRUE;
  const double height = gtk_widget_get_allocated_height(static_cast<GtkWidget*>(widget));
  cairo_translate(cr, 0, height);
  cairo_scale(cr, 1.0 / panel->scale_, -1.0 / panel->scale_);
  cairo_set_source_surface(cr, panel->frame_, 0, 0);
  cairo_paint(cr);
  return TRUE;
}

void PreviewPanel::startPreview() {
  if (!area_ || !gtk_widget_get_mapped(static_cast<GtkWidget*>(area_))) return;
  GtkWidget* area = static_cast<GtkWidget*>(area_);
  if (!view_) {
    scale_ = gtk_widget_get_scale_factor(area);
    pixelWidth_ = gtk_widget_get_allocated_width(area) * scale_;
    pixelHeight_ = gtk_widget_get_allocated_height(area) * scale_;
    if (pixelWidth_ < 1 || pixelHeight_ < 1) return;
    // Everything a frame needs is made here, so that frames allocate nothing.
    frame_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, pixelWidth_, pixelHeight_);
    if (cairo_surface_status(frame_) != CAIRO_STATUS_SUCCESS) {
      systemLog("The preview has no image of %d x %d pixels", pixelWidth_, pixelHeight_);
      releaseView();
      return;
    }
    services_ = std::make_unique<Services>();
    view_ = makeView_ ? makeView_(ViewRect{0, 0, double(pixelWidth_), double(pixelHeight_)}, true, *services_)
                      : nullptr;
    surface_ = view_ ? services_->made : nullptr;
    if (!view_) {
      releaseView();
      return;
    }
    framesShown_ = 0;
  }
  if (!view_->isAnimating()) view_->startAnimation();
  deadline_.start(monotonicNanoseconds(), kFramePeriodNs);
  if (!tick_) tick_ = gtk_widget_add_tick_callback(area, reinterpret_cast<GtkTickCallback>(&onTick), this, nullptr);
}

void PreviewPanel::stopPreview() {
  if (tick_ && area_) gtk_widget_remove_tick_callback(static_cast<GtkWidget*>(area_), tick_);
  tick_ = 0;
  if (view_ && view_->isAnimating()) view_->stopAnimation();
  // A sheet still open ends with the preview; its view goes when it has.
  if (sheet_) sheet_->hide();
}

void PreviewPanel::releaseView() {
  if (sheet_) return;  // openOptions releases it when the sheet has ended
  view_.reset();
  surface_ = nullptr;
  services_.reset();
  if (frame_) cairo_surface_destroy(frame_);
  frame_ = nullptr;
}

void PreviewPanel::openOptions() {
  if (!view_ || sheet_ || !gtkWindow_) return;
  ui::Window* sheet = view_->configureSheet();
  if (!sheet) return;
  const std::string before = settings_ ? settings_() : std::string();
  sheet_ = sheet;
  sheet->runModal(gtkWindow_);
  sheet_ = nullptr;
  if (!area_ || !gtk_widget_get_mapped(static_cast<GtkWidget*>(area_))) {
    releaseView();  // the panel went while the sheet was open
    return;
  }
  // A running saver sees new settings at its next start: restart the preview.
  if (settings_ && settings_() != before) {
    view_->stopAnimation();
    startPreview();
  }
}

}  // namespace moonwisp
