// The settings panel with the real toolkit and a preview view drawing off
// screen with EGL, painted through cairo under the test's X server.
#include "host/gtk/preview_panel.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/toolkit.h"
#include "prefs/VelConfigPrefs.h"
#include "prefs/VelPreferenceHandler.h"
#include "saver/MoonwispView.h"

namespace moonwisp {
namespace {

// GLib reads the config folder once per process: a private one, set first,
// and removed when the tests end.
class ConfigHome : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/moonwisp-panel-test-XXXXXX";
    const char* dir = mkdtemp(pattern.data());
    if (dir) path_ = dir;
    setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
  }
  void TearDown() override {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }

 private:
  std::string path_;
};
::testing::Environment* const g_configHome = ::testing::AddGlobalTestEnvironment(new ConfigHome);

// Runs the main loop until done() or the time is up.
bool pumpUntil(const std::function<bool()>& done, double seconds = 20.0) {
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
  p.glow = 1;
  p.checkForUpdates = false;  // no network from the sheet
  VelPreferenceHandler().setVelPrefs(&p);
}

std::unique_ptr<PreviewPanel> makePanel() {
  return PreviewPanel::create(
      [](ViewRect frame, bool isPreview, SaverHostServices& services) -> std::unique_ptr<ScreenSaverView> {
        return std::make_unique<MoonwispView>(frame, isPreview, services);
      },
      [] {
        VelPrefs p{};
        VelPreferenceHandler().getVelPrefs(&p);
        return std::to_string(p.quantity);
      });
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

// Pixels that are not black in what the area's draw handler paints.
int litPixels(GtkWidget* area) {
  const int w = gtk_widget_get_allocated_width(area), h = gtk_widget_get_allocated_height(area);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(image);
  gtk_widget_draw(area, cr);
  cairo_destroy(cr);
  cairo_surface_flush(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  int lit = 0;
  for (int y = 0; y < h; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
    for (int x = 0; x < w; ++x) lit += (row[x] & 0xFFFFFF) != 0;
  }
  cairo_surface_destroy(image);
  return lit;
}

class PreviewPanelTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ui::initializeToolkit()) << "these tests need a display"; }
};

TEST_F(PreviewPanelTest, DrawsLiveRestartsWithNewSettingsAndStopsWhenHidden) {
  storeSettings(40);
  std::unique_ptr<PreviewPanel> panel = makePanel();
  ASSERT_NE(panel, nullptr);
  panel->window()->show();

  // After the four blanked frames the painted area shows butterflies.
  ASSERT_TRUE(pumpUntil([&] { return panel->framesShown() >= 8; }));
  EXPECT_TRUE(panel->isTicking());
  auto* view = dynamic_cast<MoonwispView*>(panel->view());
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isPreview());
  ASSERT_NE(view->world(), nullptr);
  EXPECT_EQ(view->world()->butterfly_collection.num_butterflies, 40);
  GtkWidget* area = findArea(static_cast<GtkWidget*>(panel->window()->nativeHandle()));
  ASSERT_NE(area, nullptr);
  EXPECT_TRUE(pumpUntil([&] { return litPixels(area) > 50; })) << "the preview stays black";

  // Options…: the sheet runs modally; its stored settings change while it is
  // open, then it is cancelled. The preview restarts with them.
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

  // Hidden, the preview stops and lets go of its view; shown, it starts again.
  panel->window()->hide();
  EXPECT_TRUE(pumpUntil([&] { return panel->view() == nullptr; }));
  EXPECT_FALSE(panel->isTicking());
  panel->window()->show();
  EXPECT_TRUE(pumpUntil([&] { return panel->isTicking() && panel->framesShown() >= 2; }));
  panel.reset();  // the panel destroys its own window
}

// However the user closes the panel, the toolkit destroys the window and the
// panel learns of it: nothing is used after it was freed (under fatal
// criticals any critical ends the test).
TEST_F(PreviewPanelTest, ClosingByEachPathLeavesNothingToCritique) {
  storeSettings(30);
  struct Path {
    const char* name;
    std::function<void(GtkWidget*)> close;
  };
  auto key = [](guint keyval, GdkModifierType state) {
    return [keyval, state](GtkWidget* top) {
      GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
      event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(top)));
      event->key.keyval = keyval;
      event->key.state = state;
      event->key.time = GDK_CURRENT_TIME;
      gtk_widget_event(top, event);
      gdk_event_free(event);
    };
  };
  const Path paths[] = {
      {"window manager", [](GtkWidget* top) { gtk_window_close(GTK_WINDOW(top)); }},
      {"Escape", key(GDK_KEY_Escape, GdkModifierType(0))},
      {"Ctrl+Q", key(GDK_KEY_q, GDK_CONTROL_MASK)},
  };
  for (const Path& path : paths) {
    std::unique_ptr<PreviewPanel> panel = makePanel();
    ASSERT_NE(panel, nullptr);
    panel->window()->show();
    ASSERT_TRUE(pumpUntil([&] { return panel->framesShown() >= 1; })) << path.name;
    path.close(static_cast<GtkWidget*>(panel->window()->nativeHandle()));
    EXPECT_TRUE(pumpUntil([&] { return !panel->window()->isAlive(); })) << path.name;
    EXPECT_FALSE(panel->isTicking()) << path.name;
    EXPECT_EQ(panel->view(), nullptr) << path.name;
    panel.reset();
  }
}

}  // namespace
}  // namespace moonwisp
