// The saver view's OpenGL objects in headless Mesa contexts, and the settings
// panel that previews it under the test's X server; the settings live in a
// private config folder. The view as the host drives it is the program
// tests' (tests/app/moonwisp).
#include "saver/MoonwispView.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "host/gtk/preview_panel.h"
#include "platform/core/bundle.h"
#include "platform/keyfile/user_config.h"
#include "platform/ui/toolkit.h"
#include "prefs/sheet/VelConfigPrefs.h"
#include "saver/MoonwispViewWithSheet.h"
#include "platform/gl/gl_entry_points.h"
#include "saver/gl_resources.h"
#include "support/files.h"
#include "support/gl.h"
#include "support/process.h"

namespace moonwisp {
namespace {

// GLib reads the config folder once per process: a private one, set first.
struct PrivateConfig : testing::Environment {
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
  }
  test::TestFolder folder;  // removed when the test program ends
};
testing::Environment* const g_config = testing::AddGlobalTestEnvironment(new PrivateConfig);

// Stores the settings the views read at their start (with glow).
void store(int32_t quantity) {
  VelPrefs prefs{};
  prefs.quantity = quantity;
  prefs.glow = 1;
  VelPreferenceHandler().setVelPrefs(&prefs);
}

TEST(ScreenBufferDimensions, LargestPowerOfTwoWithinTheSmallerSideAndItsHalfNoneBelowTwoPixels) {
  const int32_t cases[][4] = {
      {1023, 2000, 512, 256}, {1, 800, 0, 0}, {INT32_MIN, 5, 0, 0}, {INT32_MAX, INT32_MAX, 1 << 30, 1 << 29}};
  for (const auto& [w, h, side1, side2] : cases) {
    EXPECT_EQ(screen_buffer_dimensions1(w, h), side1) << w << " x " << h;
    EXPECT_EQ(screen_buffer_dimensions2(w, h), side2) << w << " x " << h;
  }
}

// Texture names still alive, up to the next one that would be handed out.
int aliveTextures() {
  GLuint probe = 0;
  glGenTextures(1, &probe);
  glDeleteTextures(1, &probe);
  int alive = 0;
  for (GLuint name = 1; name < probe; ++name) alive += glIsTexture(name) ? 1 : 0;
  return alive;
}

// Shader programs alive among the first names.
int alivePrograms() {
  const auto isProgram = reinterpret_cast<PFNGLISPROGRAMPROC>(glEntryPoint("glIsProgram"));
  int alive = 0;
  for (GLuint name = 1; name < 64; ++name) alive += isProgram(name) ? 1 : 0;
  return alive;
}

TEST(GlResourcesTest, LoadOnceBlackGlowBuffersAndNothingLeftAfterDisposalOrFailedLoads) {
  test::HeadlessContext context(32, 32);
  ASSERT_TRUE(context.ok()) << context.error();
  GLuint textures[kTextureCount] = {}, lists[kDisplayListCount] = {};
  bool loaded = false;
  VelGlowBlur blur{};
  glDataLoad(textures, lists, &loaded, 296, 184, &blur);
  ASSERT_TRUE(loaded);
  // The glow's blur shaders come with the resources, made for this view.
  EXPECT_TRUE(blur.ready && velGlowBlurFits(&blur, 296, 184));
  const int programs = alivePrograms();
  EXPECT_GE(programs, 2);
  for (const auto& [slot, side] : {std::pair{0, 256}, std::pair{1, 128}, std::pair{2, 64}}) {
    glBindTexture(GL_TEXTURE_2D, textures[slot]);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    ASSERT_EQ(width, side) << "texture " << slot;
    std::vector<uint8_t> texels(size_t(side) * size_t(side) * 3, 0xAB);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    // The wing image has colour; the glow buffers start black.
    EXPECT_EQ(std::count(texels.begin(), texels.end(), 0) == long(texels.size()), slot > 0) << slot;
  }
  const GLuint firstList = lists[0];
  EXPECT_TRUE(glIsList(firstList) && glIsList(firstList + 2) && lists[2] == firstList + 2);
  const std::pair<int, int> alive{aliveTextures(), programs};
  glDataLoad(textures, lists, &loaded, 296, 184, &blur);  // loaded already: nothing new
  EXPECT_EQ(std::pair(aliveTextures(), alivePrograms()), alive);
  glDataDispose(textures, lists, &loaded, &blur);
  EXPECT_EQ(std::pair(aliveTextures(), alivePrograms()), std::pair(0, 0));
  EXPECT_FALSE(loaded || glIsList(firstList + 1) || lists[0] != 0 || blur.ready);

  // Loads that cannot reserve their lists, retried at every frame, leak nothing.
  setGenListsForTesting([](GLsizei) -> GLuint { return 0; });
  for (int attempt = 0; attempt < 1000 && !loaded; ++attempt)
    glDataLoad(textures, lists, &loaded, 64, 64, &blur);
  EXPECT_TRUE(!loaded && aliveTextures() == 0 && alivePrograms() == 0 && !blur.ready);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));  // no glNewList(0, ...)
  setGenListsForTesting(nullptr);
}

// The preview's drawing area among the window's widgets.
void findArea(GtkWidget* widget, gpointer found) {
  if (GTK_IS_DRAWING_AREA(widget)) *static_cast<GtkWidget**>(found) = widget;
  if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), findArea, found);
}

// Pixels that are not black in what the area's draw handler paints.
int litPixels(GtkWidget* area) {
  const int w = gtk_widget_get_allocated_width(area), h = gtk_widget_get_allocated_height(area);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(image);
  gtk_widget_draw(area, cr);
  cairo_destroy(cr);
  const auto* rgb = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(image));
  const int lit = int(std::count_if(rgb, rgb + w * h, [](uint32_t p) { return (p & 0xFFFFFF) != 0; }));
  cairo_surface_destroy(image);
  return lit;
}

// Runs the main loop until done() or a generous deadline.
bool pumpUntil(const std::function<bool()>& done) {
  return test::waitUntil([&] { g_main_context_iteration(nullptr, FALSE); return done(); }, 20000, 1);
}

TEST(PreviewPanelTest, DrawsRestartsWithNewSettingsStopsWhenHiddenAndClosesCleanly) {
  ASSERT_TRUE(ui::initializeToolkit()) << "this test needs a display";
  store(40);
  std::unique_ptr<PreviewPanel> panel = PreviewPanel::create(
      [](ViewRect frame, bool isPreview, SaverHostServices& services) -> std::unique_ptr<ScreenSaverView> {
        return std::make_unique<MoonwispViewWithSheet>(frame, isPreview, services);
      },
      [] { return test::readFile(userConfigFile(Bundle::identifier(), "preferences.ini")); });
  panel->window()->show();
  ASSERT_TRUE(pumpUntil([&] { return panel->framesShown() >= 8; }));
  auto* view = static_cast<MoonwispViewWithSheet*>(panel->view());
  GtkWidget* area = nullptr;
  findArea(static_cast<GtkWidget*>(panel->window()->nativeHandle()), &area);
  EXPECT_TRUE(area && pumpUntil([&] { return litPixels(area) > 50; })) << "the preview stays black";

  // Options…: the settings change while the modal sheet is open, and it is
  // cancelled; the preview restarts with them.
  const auto changeAndCancel = [](gpointer data) -> gboolean {
    store(25);
    static_cast<MoonwispViewWithSheet*>(data)->sheet()->cancelButtonClicked();
    return G_SOURCE_REMOVE;
  };
  g_timeout_add(300, changeAndCancel, view);
  panel->openOptions();
  EXPECT_EQ(view->world(), nullptr);  // a preview draws nothing until its first tick
  ASSERT_TRUE(pumpUntil([&] { return view->world() != nullptr; }));
  EXPECT_EQ(view->world()->butterfly_collection.num_butterflies, 25);

  // Hidden, it stops and lets go of its view; shown, it starts again.
  panel->window()->hide();
  EXPECT_TRUE(pumpUntil([&] { return panel->view() == nullptr && !panel->isTicking(); }));
  const uint64_t shown = panel->framesShown();
  panel->window()->show();
  EXPECT_TRUE(pumpUntil([&] { return panel->framesShown() >= shown + 2; }));
  // Closed by the window manager, the toolkit destroys the window and the
  // panel learns of it (any critical would end the test).
  gtk_window_close(GTK_WINDOW(panel->window()->nativeHandle()));
  EXPECT_TRUE(pumpUntil([&] { return !panel->window()->isAlive() && !panel->view() && !panel->isTicking(); }));
}

}  // namespace
}  // namespace moonwisp
