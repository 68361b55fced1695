// The settings panel and the options sheet in one language at a time. Their
// widgets are made as the program makes them, with the build's catalogues,
// and every text they show (labels, buttons, tooltips, titles, the colour
// items) is read back: in the C locale each is an English text of the German
// catalogue, and in German each is that text's translation, in the same
// places. A failed update check tells its reason in German too.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstring>
#include <cstdlib>
#include <map>

#include "host/gtk/preview_panel.h"
#include "platform/core/bundle.h"
#include "platform/core/translation.h"
#include "platform/ui/toolkit.h"
#include "prefs/sheet/VelConfigPrefs.h"
#include "support/files.h"
#include "support/loopback_http_server.h"
#include "support/process.h"

namespace moonwisp::test {
namespace {

// msgid -> msgstr of the build's compiled catalogue; the header (empty msgid) left out.
std::map<std::string, std::string> readCatalogue(const std::string& path) {
  const std::string mo = readFile(path);
  const auto word = [&mo](size_t at) {
    uint32_t w = 0;
    if (at + 4 <= mo.size()) std::memcpy(&w, mo.data() + at, 4);
    return size_t(w);
  };
  const auto text = [&](size_t table, size_t i) { return mo.substr(word(table + 8 * i + 4), word(table + 8 * i)); };
  std::map<std::string, std::string> entries;
  for (size_t i = 0; i < word(8); ++i) entries[text(word(12), i)] = text(word(16), i);
  entries.erase("");
  return entries;
}

// Every text a window shows (titles, labels, tooltips, combo items), in the
// order of its widgets, but for those of one widget.
struct Texts {
  GtkWidget* skip;
  std::vector<std::string> all;
};
void collectTexts(GtkWidget* widget, gpointer into) {
  Texts* texts = static_cast<Texts*>(into);
  if (widget == texts->skip) return;
  gchar* tooltip = gtk_widget_get_tooltip_text(widget);
  for (const char* text : {GTK_IS_WINDOW(widget) ? gtk_window_get_title(GTK_WINDOW(widget)) : nullptr,
                           GTK_IS_LABEL(widget) ? gtk_label_get_label(GTK_LABEL(widget)) : nullptr,
                           static_cast<const char*>(tooltip)})
    if (text && *text) texts->all.push_back(text);
  g_free(tooltip);
  if (GTK_IS_COMBO_BOX_TEXT(widget)) {
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(widget));
    GtkTreeIter item;
    for (bool more = gtk_tree_model_get_iter_first(model, &item); more; more = gtk_tree_model_iter_next(model, &item)) {
      gchar* title = nullptr;
      gtk_tree_model_get(model, &item, 0, &title, -1);
      texts->all.push_back(title);
      g_free(title);
    }
  }
  // Internal children too: a dialog's buttons, a frame's label.
  if (GTK_IS_CONTAINER(widget)) gtk_container_forall(GTK_CONTAINER(widget), collectTexts, into);
}

class Language : public testing::Test {
 protected:
  void SetUp() override {
    MOONWISP_NEEDS_SERVER(ui::initializeToolkit(), "the panel needs an X display");
    useTranslations(Bundle::main());
  }
  void TearDown() override { speak(nullptr); }
  // A locale as a user sets it in the environment (tools/setup.sh makes
  // de_DE.UTF-8; gettext reads the C library's locale, the string table
  // GLib's reading of the environment); null: C. LANGUAGE is cleared so that
  // only the locale speaks.
  static void speak(const char* locale) {
    unsetenv("LANGUAGE");
    setenv("LC_ALL", locale ? locale : "C", 1);
    ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr) << locale << " is missing: run tools/setup.sh";
  }
  // The texts of the panel, then of the sheet, as made in the current language.
  static std::vector<std::string> shownTexts() {
    Texts texts{nullptr, {}};
    std::unique_ptr<PreviewPanel> panel = PreviewPanel::create(
        [](ViewRect, bool, SaverHostServices&) -> std::unique_ptr<ScreenSaverView> { return nullptr; }, nullptr);
    if (!panel) return {};
    collectTexts(static_cast<GtkWidget*>(panel->window()->nativeHandle()), &texts);
    VelConfigPrefs sheet(Bundle::main());
    sheet.loadNib();
    if (!sheet.quantitySlider() || !sheet.softwareUpToDateTextField()) return {};
    // The version comes from the update check's own string table.
    texts.skip = static_cast<GtkWidget*>(sheet.softwareUpToDateTextField()->nativeHandle());
    collectTexts(static_cast<GtkWidget*>(sheet.quantitySlider()->window()->nativeHandle()), &texts);
    return texts.all;
  }
};

TEST_F(Language, PanelAndSheetShowOnlyEnglishOrOnlyGerman) {
  const std::map<std::string, std::string> german =
      readCatalogue(MOONWISP_BINARY_DIR "/share/locale/de/LC_MESSAGES/moonwisp.mo");
  ASSERT_GT(german.size(), 50u);

  speak(nullptr);
  const std::vector<std::string> english = shownTexts();
  ASSERT_GT(english.size(), 25u);
  EXPECT_EQ(english.front(), "Moonwisp");  // the panel's title, a name
  std::vector<std::string> expected;
  for (const std::string& text : english) {
    const auto found = german.find(text);
    EXPECT_NE(found, german.end()) << "\"" << text << "\" is not in the German catalogue";
    expected.push_back(found == german.end() ? "" : found->second);
  }

  speak("de_DE.UTF-8");
  EXPECT_EQ(shownTexts(), expected);
  EXPECT_NE(expected, english);

  // A failed update check tells its reason in German too.
  LoopbackHttpServer server;
  server.route("/update.xml", {404, "", {}, true, false});
  VelConfigPrefs sheet(Bundle::main());
  TestFolder folder;
  sheet.setPreferencesPath(folder / "preferences.ini");
  sheet.setFeedSource({server.url("/update.xml"), true});
  std::vector<std::string> told;
  sheet.setAlertRunner([&told](const ui::Alert& alert) {
    told = alert.buttons;
    told.insert(told.begin(), alert.messageText);
    return ui::kAlertFirstButtonReturn;
  });
  sheet.checkUpdates(true);
  while (sheet.isCheckingForUpdates()) ui::waitForMainLoopEvent();
  EXPECT_EQ(told, (std::vector<std::string>{
                      "Moonwisp konnte nicht nach Updates suchen: der Update-Server antwortete mit Status 404", "OK"}));
}

}  // namespace
}  // namespace moonwisp::test
