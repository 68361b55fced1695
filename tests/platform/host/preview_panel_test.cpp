// The settings panel with the real toolkit, GLX and a preview view drawing in
// process under the test's X server.
#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/host/preview_panel.h"
#include "platform/ui/controls.h"
#include "platform/ui/toolkit.h"
#include "prefs/VelConfigPrefs.h"
#include "prefs/VelPreferenceHandler.h"

namespace moonwisp {
namespace {

// GLib reads the config folder once per process: a private one, set first.
const std::string g_configHome = [] {
  char pattern[] = "/tmp/moonwisp-panel-test-XXXXXX";
  const char* dir = mkdtemp(pattern);
  setenv("XDG_CONFIG_HOME", dir ? dir : "/tmp", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  return std::string(dir ? dir : "/tmp");
}();

// Runs the main loop until done() or the time is up.
bool pumpUntil(const std::function<bool()>& done, double seconds = 15.0) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

void storeSettings(int32_t quantity) {
  VelPrefs p{};
  p.quantity = quantity;
  p.particleColor = 1;
  p.glow = 0;
  p.checkForUpdates = false;  // no network from the sheet
  VelPreferenceHandler().setVelPrefs(&p);
}

// Brightest channel sum of the area's X window as the server holds it.
unsigned long litPixels(GtkWidget* area) {
  GdkWindow* window = gtk_widget_get_window(area);
  Display* display = GDK_WINDOW_XDISPLAY(window);
  const int w = gdk_window_get_width(window), h = gdk_window_get_height(window);
  XImage* image = XGetImage(display, GDK_WINDOW_XID(window), 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
  if (!image) return 0;
  unsigned long lit = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if ((XGetPixel(image, x, y) & 0xFFFFFF) != 0) ++lit;
  XDestroyImage(image);
  return lit;
}

GtkWidget* findArea(GtkWidget* widget) {
  if (GTK_IS_DRAWING_AREA(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* c = children; c && !found; c = c->next) found = findArea(GTK_WIDGET(c->data));
  g_list_free(children);
  return found;
}

TEST(PreviewPanel, DrawsLiveAndRestartsWhenTheSheetChangesTheSettings) {
  if (!std::getenv("DISPLAY") || !ui::initializeToolkit()) GTEST_SKIP() << "no X display";
  storeSettings(40);
  std::unique_ptr<PreviewPanel> panel = PreviewPanel::create();
  ASSERT_NE(panel, nullptr);
  panel->window()->show();

  // The preview is a preview view with the settings sheet, animated by the
  // toolkit's main loop: after the four blanked frames it shows butterflies.
  ASSERT_TRUE(pumpUntil([&] { return panel->view() && panel->view()->firstFramesCountValue() >= 4; }));
  MoonwispView* view = panel->view();
  EXPECT_TRUE(view->isPreview());
  EXPECT_TRUE(view->isMainDisplayOrPreview());
  ASSERT_NE(view->world(), nullptr);
  EXPECT_EQ(view->world()->butterfly_collection.num_butterflies, 40);
  ASSERT_NE(view->configPref(), nullptr);
  GtkWidget* area = findArea(static_cast<GtkWidget*>(panel->window()->nativeHandle()));
  ASSERT_NE(area, nullptr);
  EXPECT_TRUE(pumpUntil([&] { return litPixels(area) > 50; }, 10.0)) << "the preview stays black";

  // Options…: the sheet runs modally; here its stored settings change while it
  // is open, then it is cancelled. The preview restarts with them.
  g_timeout_add(
      300,
      [](gpointer data) -> gboolean {
        storeSettings(25);
        static_cast<MoonwispView*>(data)->configPref()->cancelButtonClicked();
        return G_SOURCE_REMOVE;
      },
      view);
  panel->openOptions();
  ASSERT_EQ(panel->view(), view);
  ASSERT_TRUE(pumpUntil([&] { return view->world() != nullptr; }));
  EXPECT_EQ(view->world()->butterfly_collection.num_butterflies, 25);

  // Closing the panel stops the preview.
  panel->window()->hide();
  EXPECT_TRUE(pumpUntil([&] { return panel->view() == nullptr; }));
  panel.reset();
}

}  // namespace
}  // namespace moonwisp
