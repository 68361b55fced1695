// The settings panel and the options sheet in one language at a time. Their
// widgets are made as the program makes them, with the build's catalogues,
// and every text they show (labels, buttons, tooltips, titles, the colour
// items) is read back: in the C locale each is an English text of the German
// catalogue, and in German each is that text's translation, in the same
// places. A failed update check tells its reason in German too.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <clocale>
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

// msgid -> msgstr of a catalogue; the header (empty msgid) left out.
std::map<std::string, std::string> readCatalogue(const std::string& path) {
  std::map<std::string, std::string> entries;
  std::string id, text, *current = nullptr;
  auto flush = [&] {
    if (!id.empty()) entries[id] = text;
    id.clear();
    text.clear();
  };
  std::istringstream lines(readFile(path));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("msgid ", 0) == 0) {
      flush();
      current = &id;
      line = line.substr(6);
    } else if (line.rfind("msgstr ", 0) == 0) {
      current = &text;
      line = line.substr(7);
    } else if (line.empty() || line[0] != '"') {
      continue;
    }
    for (size_t i = 1; current && i + 1 < line.size(); ++i) {
      if (line[i] == '\\' && i + 2 < line.size()) {
        const char c = line[++i];
        *current += c == 'n' ? '\n' : c;
      } else {
        *current += line[i];
      }
    }
  }
  flush();
  return entries;
}

// Every text a window shows, in the order of its widgets.
void collectTexts(GtkWidget* widget, GtkWidget* skip, std::vector<std::string>* texts) {
  auto add = [texts](const char* text) {
    if (text && *text) texts->push_back(text);
  };
  if (widget == skip) return;
  if (GTK_IS_WINDOW(widget)) add(gtk_window_get_title(GTK_WINDOW(widget)));
  if (GTK_IS_LABEL(widget)) add(gtk_label_get_label(GTK_LABEL(widget)));
  gchar* tooltip = gtk_widget_get_tooltip_text(widget);
  add(tooltip);
  g_free(tooltip);
  if (GTK_IS_COMBO_BOX_TEXT(widget)) {
    GtkTreeModel* model = gtk_combo_box_get_model(GTK_COMBO_BOX(widget));
    GtkTreeIter item;
    for (bool more = gtk_tree_model_get_iter_first(model, &item); more; more = gtk_tree_model_iter_next(model, &item)) {
      gchar* title = nullptr;
      gtk_tree_model_get(model, &item, 0, &title, -1);
      add(title);
      g_free(title);
    }
  }
  if (GTK_IS_CONTAINER(widget)) {
    struct Walk {
      GtkWidget* skip;
      std::vector<std::string>* texts;
    } walk{skip, texts};
    gtk_container_forall(
        GTK_CONTAINER(widget),
        [](GtkWidget* child, gpointer data) {
          auto* w = static_cast<Walk*>(data);
          collectTexts(child, w->skip, w->texts);
        },
        &walk);
  }
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
    std::vector<std::string> texts;
    std::unique_ptr<PreviewPanel> panel = PreviewPanel::create(
        [](ViewRect, bool, SaverHostServices&) -> std::unique_ptr<ScreenSaverView> { return nullptr; }, nullptr);
    if (!panel) return texts;
    collectTexts(static_cast<GtkWidget*>(panel->window()->nativeHandle()), nullptr, &texts);
    VelConfigPrefs sheet(Bundle::main());
    sheet.loadNib();
    if (!sheet.quantitySlider() || !sheet.softwareUpToDateTextField()) return {};
    // The version comes from the update check's own string table.
    collectTexts(static_cast<GtkWidget*>(sheet.quantitySlider()->window()->nativeHandle()),
                 static_cast<GtkWidget*>(sheet.softwareUpToDateTextField()->nativeHandle()), &texts);
    return texts;
  }
};

TEST_F(Language, PanelAndSheetShowOnlyEnglishOrOnlyGerman) {
  const std::map<std::string, std::string> german = readCatalogue(MOONWISP_SOURCE_DIR "/po/de.po");
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
}

TEST_F(Language, AFailedUpdateCheckSaysWhyInGerman) {
  LoopbackHttpServer server;
  const char* feed = "/updates/products/moonwisp/update.xml";
  server.route(feed, {404, "", {}, true, false});
  VelConfigPrefs sheet(Bundle::main());
  TestFolder folder;
  sheet.setPreferencesPath(folder / "preferences.ini");
  sheet.setFeedSource({server.url(feed), true});
  std::vector<std::string> told;
  sheet.setAlertRunner([&told](const ui::Alert& alert) {
    told.push_back(alert.messageText);
    for (const std::string& button : alert.buttons) told.push_back(button);
    return ui::kAlertFirstButtonReturn;
  });
  speak("de_DE.UTF-8");
  sheet.checkUpdates(true);
  while (sheet.isCheckingForUpdates()) ui::waitForMainLoopEvent();
  EXPECT_EQ(told, (std::vector<std::string>{
                      "Moonwisp konnte nicht nach Updates suchen: der Update-Server antwortete mit Status 404", "OK"}));
}

}  // namespace
}  // namespace moonwisp::test
