#include "platform/host/preview_panel.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cmath>

#include "platform/core/system_log.h"
#include "platform/gl/glx_context.h"
#include "platform/ui/controls.h"
#include "prefs/VelPreferenceHandler.h"

namespace moonwisp {
namespace {

constexpr int kPreviewWidth = 400;
constexpr int kPreviewHeight = 250;

// The view can only draw into a window whose visual has a double-buffered
// GLX configuration; the toolkit's own choice need not have one, so the area
// gets one of ours before it is realised.
void useGlxVisual(GtkWidget* area) {
  GdkScreen* screen = gtk_widget_get_screen(area);
  if (!screen || !GDK_IS_X11_SCREEN(screen)) return;
  Display* display = GDK_SCREEN_XDISPLAY(screen);
  GLXFBConfig config{};
  if (!chooseGlxFBConfig(display, GDK_SCREEN_XNUMBER(screen), 0, &config)) return;
  XVisualInfo* info = glXGetVisualFromFBConfig(display, config);
  if (!info) return;
  GdkVisual* visual = gdk_x11_screen_lookup_visual(screen, info->visualid);
  XFree(info);
  if (visual) gtk_widget_set_visual(area, visual);
}

// The view draws every pixel; the toolkit must not paint over it.
gboolean drawNothing(GtkWidget*, cairo_t*, gpointer) { return TRUE; }

// Escape, Ctrl+W and Ctrl+Q close the panel, as the window manager's close does.
gboolean closeOnKey(GtkWidget* window, GdkEventKey* event, gpointer) {
  const bool control = (event->state & GDK_CONTROL_MASK) != 0;
  if (event->keyval == GDK_KEY_Escape || (control && (event->keyval == GDK_KEY_w || event->keyval == GDK_KEY_q))) {
    gtk_window_close(GTK_WINDOW(window));
    return TRUE;
  }
  return FALSE;
}

bool sameSettings(const VelPrefs& a, const VelPrefs& b) {
  return a.quantity == b.quantity && a.particleColor == b.particleColor && a.glow == b.glow &&
         a.mainscreenonly == b.mainscreenonly;
}

}  // namespace

std::unique_ptr<PreviewPanel> PreviewPanel::create() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display || !GDK_IS_X11_DISPLAY(display)) return nullptr;
  std::unique_ptr<PreviewPanel> panel(new PreviewPanel());

  GtkWidget* top = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(top), "Moonwisp");
  gtk_window_set_resizable(GTK_WINDOW(top), FALSE);
  g_signal_connect(top, "key-press-event", G_CALLBACK(closeOnKey), nullptr);
  GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(column), 12);

  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, kPreviewWidth, kPreviewHeight);
  gtk_widget_set_app_paintable(area, TRUE);
  g_signal_connect(area, "draw", G_CALLBACK(drawNothing), nullptr);
  useGlxVisual(area);

  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
  GtkWidget* options = gtk_button_new_with_mnemonic("_Options…");
  gtk_box_pack_end(GTK_BOX(row), options, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(column), area, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(column), row, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(top), column);
  gtk_widget_show_all(column);

  PreviewPanel* self = panel.get();
  panel->gtkWindow_ = top;
  panel->area_ = area;
  g_signal_connect_after(area, "map", G_CALLBACK(onMap), self);
  g_signal_connect(area, "unmap", G_CALLBACK(onUnmap), self);
  g_signal_connect_after(area, "size-allocate", G_CALLBACK(onSizeAllocate), self);
  g_signal_connect(options, "clicked", G_CALLBACK(onOptionsClicked), self);
  panel->window_ = std::make_unique<ui::Window>(top);
  return panel;
}

PreviewPanel::~PreviewPanel() {
  stopPreview();
  if (area_) g_signal_handlers_disconnect_by_data(area_, this);
  window_.reset();
  if (gtkWindow_) gtk_widget_destroy(static_cast<GtkWidget*>(gtkWindow_));
}

void PreviewPanel::onMap(void*, void* self) { static_cast<PreviewPanel*>(self)->startPreview(); }

void PreviewPanel::onUnmap(void*, void* self) { static_cast<PreviewPanel*>(self)->stopPreview(); }

void PreviewPanel::onSizeAllocate(void*, void* allocation, void* self) {
  auto* panel = static_cast<PreviewPanel*>(self);
  const auto* size = static_cast<GtkAllocation*>(allocation);
  // The view's size is fixed when it is made: a new size is a new view.
  if (panel->view_ && (size->width != panel->width_ || size->height != panel->height_)) {
    panel->stopPreview();
    panel->startPreview();
  }
}

void PreviewPanel::onOptionsClicked(void*, void* self) { static_cast<PreviewPanel*>(self)->openOptions(); }

int PreviewPanel::onTick(void* self) {
  auto* panel = static_cast<PreviewPanel*>(self);
  if (panel->view_ && panel->view_->isAnimating()) panel->view_->animateOneFrame();
  return G_SOURCE_CONTINUE;
}

void PreviewPanel::startPreview() {
  if (view_ || !area_) return;
  GtkWidget* area = static_cast<GtkWidget*>(area_);
  GdkWindow* gdkWindow = gtk_widget_get_window(area);
  if (!gdkWindow || !GDK_IS_X11_WINDOW(gdkWindow) || !gdk_window_ensure_native(gdkWindow)) {
    systemLog("The preview needs an X11 window; there is none");
    return;
  }
  Display* display = GDK_WINDOW_XDISPLAY(gdkWindow);
  gdk_display_flush(gdk_window_get_display(gdkWindow));
  int x = 0, y = 0;
  gdk_window_get_origin(gdkWindow, &x, &y);
  width_ = gtk_widget_get_allocated_width(area);
  height_ = gtk_widget_get_allocated_height(area);
  services_ = std::make_unique<X11HostServices>(display);
  services_->setTargetWindow(GDK_WINDOW_XID(gdkWindow));
  view_ = std::make_unique<MoonwispView>(ViewRect{double(x), double(y), double(width_), double(height_)}, true,
                                         *services_);
  view_->startAnimation();
  const guint interval_ms = guint(std::lround(view_->animationTimeInterval() * 1000.0));
  timer_ = g_timeout_add(interval_ms, reinterpret_cast<GSourceFunc>(&PreviewPanel::onTick), this);
}

void PreviewPanel::stopPreview() {
  if (timer_) g_source_remove(timer_);
  timer_ = 0;
  if (!view_) return;
  view_->stopAnimation();
  view_.reset();
  services_.reset();
}

void PreviewPanel::openOptions() {
  if (!view_) return;
  ui::Window* sheet = view_->configureSheet();
  if (!sheet) return;
  VelPrefs before{};
  VelPreferenceHandler().getVelPrefs(&before);
  sheet->runModal(gtkWindow_);
  VelPrefs after{};
  VelPreferenceHandler().getVelPrefs(&after);
  // A running saver sees new settings at its next start: restart the preview.
  if (view_ && !sameSettings(before, after)) {
    view_->stopAnimation();
    view_->startAnimation();
  }
}

}  // namespace moonwisp
