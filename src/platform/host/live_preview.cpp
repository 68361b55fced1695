#include "platform/host/live_preview.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>

#include "platform/core/system_log.h"
#include "platform/gl/glx_context.h"
#include "platform/ui/controls.h"

namespace moonwisp {
namespace {

constexpr int kPreviewWidth = 320;
constexpr int kPreviewHeight = 200;

std::string ownDirectory() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  path[length] = '\0';
  std::string text(path);
  return text.substr(0, text.rfind('/'));
}

// The child can only draw into a window whose visual has a double-buffered
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

// The child's environment: ours, except in a sanitizer build, where the slow
// unwinder that GTK's leak checks ask for would deadlock the GL driver's JIT
// compiler in the child (both take the unwinder's lock).
gchar** childEnvironment() {
  gchar** environment = g_get_environ();
#if defined(__SANITIZE_ADDRESS__)
  if (const gchar* options = g_environ_getenv(environment, "ASAN_OPTIONS")) {
    std::string kept;
    gchar** parts = g_strsplit(options, ":", -1);
    for (gchar** part = parts; *part; ++part) {
      if (g_str_has_prefix(*part, "fast_unwind_on_malloc=")) continue;
      kept += (kept.empty() ? "" : ":") + std::string(*part);
    }
    g_strfreev(parts);
    environment = g_environ_setenv(environment, "ASAN_OPTIONS", kept.c_str(), TRUE);
  }
#endif
  return environment;
}

// The child draws every pixel; the toolkit must not paint over it.
gboolean drawNothing(GtkWidget*, cairo_t*, gpointer) { return TRUE; }

}  // namespace

std::string LivePreview::findMoonwisp() {
  const std::string directory = ownDirectory();
  if (directory.empty()) return "";
  for (const std::string& candidate : {directory + "/moonwisp", directory + "/../moonwisp/moonwisp"})
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  return "";
}

std::unique_ptr<LivePreview> LivePreview::attach(ui::Window& window, const std::string& moonwispPath) {
  GtkWidget* top = static_cast<GtkWidget*>(window.nativeHandle());
  if (!top || !GTK_IS_WINDOW(top)) return nullptr;
  GtkWidget* content = gtk_bin_get_child(GTK_BIN(top));
  if (!content) return nullptr;

  std::unique_ptr<LivePreview> preview(new LivePreview());
  preview->moonwispPath_ = moonwispPath;
  preview->window_ = top;

  GtkWidget* area = gtk_drawing_area_new();
  gtk_widget_set_size_request(area, kPreviewWidth, kPreviewHeight);
  gtk_widget_set_app_paintable(area, TRUE);
  gtk_widget_set_valign(area, GTK_ALIGN_START);
  g_signal_connect(area, "draw", G_CALLBACK(drawNothing), nullptr);
  useGlxVisual(area);
  preview->area_ = area;

  // The sheet's content moves into a row, beside the preview.
  GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(row), 12);
  g_object_ref(content);
  gtk_container_remove(GTK_CONTAINER(top), content);
  gtk_box_pack_start(GTK_BOX(row), area, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(row), content, TRUE, TRUE, 0);
  g_object_unref(content);
  gtk_container_add(GTK_CONTAINER(top), row);
  gtk_widget_show_all(row);

  LivePreview* self = preview.get();
  // "map" comes after "realize" and again each time the window is shown.
  preview->signalIds_[0] = g_signal_connect_after(area, "map", G_CALLBACK(onMap), self);
  preview->signalIds_[1] = g_signal_connect(top, "hide", G_CALLBACK(onHide), self);
  preview->signalIds_[2] = g_signal_connect(top, "destroy", G_CALLBACK(onDestroy), self);
  if (gtk_widget_get_mapped(area)) preview->start();
  return preview;
}

LivePreview::~LivePreview() {
  stop();
  // After "destroy" both pointers are null: nothing is left to disconnect.
  if (window_) {
    g_signal_handler_disconnect(window_, signalIds_[1]);
    g_signal_handler_disconnect(window_, signalIds_[2]);
    g_signal_handler_disconnect(area_, signalIds_[0]);
  }
}

void LivePreview::onMap(void*, void* self) { static_cast<LivePreview*>(self)->start(); }

void LivePreview::onHide(void*, void* self) { static_cast<LivePreview*>(self)->stop(); }

void LivePreview::onDestroy(void*, void* self) {
  auto* preview = static_cast<LivePreview*>(self);
  preview->stop();
  preview->window_ = nullptr;
  preview->area_ = nullptr;
}

void LivePreview::start() {
  if (child_ != 0 || moonwispPath_.empty() || !area_) return;
  GdkWindow* gdkWindow = gtk_widget_get_window(static_cast<GtkWidget*>(area_));
  if (!gdkWindow || !GDK_IS_X11_WINDOW(gdkWindow) || !gdk_window_ensure_native(gdkWindow)) {
    systemLog("The preview needs an X11 window; there is none");
    return;
  }
  // Sent before the child looks the window up.
  gdk_display_flush(gdk_window_get_display(gdkWindow));
  xid_ = GDK_WINDOW_XID(gdkWindow);
  const std::string id = std::to_string(xid_);
  gchar* argv[] = {const_cast<gchar*>(moonwispPath_.c_str()), const_cast<gchar*>("--preview"),
                   const_cast<gchar*>("--window-id"), const_cast<gchar*>(id.c_str()), nullptr};
  gchar** environment = childEnvironment();
  GPid pid = 0;
  GError* error = nullptr;
  const gboolean started =
      g_spawn_async(nullptr, argv, environment, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, &error);
  g_strfreev(environment);
  if (!started) {
    systemLog("The preview could not start %s: %s", moonwispPath_.c_str(), error ? error->message : "unknown error");
    if (error) g_error_free(error);
    return;
  }
  child_ = pid;
  watch_ = g_child_watch_add(pid, reinterpret_cast<GChildWatchFunc>(&LivePreview::onChildExit), this);
}

void LivePreview::onChildExit(int pid, int, void* self) {
  auto* preview = static_cast<LivePreview*>(self);
  g_spawn_close_pid(pid);
  if (preview->child_ == pid) {
    preview->child_ = 0;
    preview->watch_ = 0;
  }
}

void LivePreview::stop() {
  if (child_ == 0) return;
  const pid_t pid = child_;
  child_ = 0;
  if (watch_ != 0) g_source_remove(watch_);
  watch_ = 0;
  kill(pid, SIGTERM);
  // It ends within a frame; wait a little so that nothing is left behind.
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    g_usleep(10000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace moonwisp
