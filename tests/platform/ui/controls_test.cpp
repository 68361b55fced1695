// Interface files, control handles and alerts with real GTK widgets under X,
// and the table of user-visible texts.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "platform/ui/alert.h"
#include "platform/ui/nib.h"
#include "platform/ui/string_table.h"
#include "platform/ui/toolkit.h"
#include "support/files.h"

namespace moonwisp::ui {
namespace {

class Toolkit : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(initializeToolkit()) << "these tests need an X display"; }
  test::TestFolder folder;
};

TEST_F(Toolkit, BadInterfaceFilesAreRefusedWithAReason) {
  const std::string window = "<interface><object class=\"GtkWindow\" id=\"w\">";
  for (const std::string text : {std::string(), window + "</interface>",
                                 std::string("<interface><object class=\"NoSuchClass\" id=\"w\"/></interface>"),
                                 window + "<signal name=\"show\" handler=\"unknown\"/></object></interface>"}) {
    SCOPED_TRACE(text);
    if (!text.empty()) test::writeFile(folder / "t.ui", text);
    std::string error;
    EXPECT_EQ(Nib::load(folder / "t.ui", {}, &error), nullptr);
    EXPECT_FALSE(error.empty());
  }
}

TEST_F(Toolkit, AReleasedWindowsHandlesTurnInert) {
  test::writeFile(folder / "t.ui",
                  "<interface><object class=\"GtkWindow\" id=\"w\"><child><object class=\"GtkCheckButton\" "
                  "id=\"check\"><signal name=\"clicked\" handler=\"clicked\"/></object></child></object></interface>");
  int clicks = 0;
  std::string error;
  auto nib = Nib::load(folder / "t.ui", {{"clicked", [&clicks] { ++clicks; }}}, &error);
  ASSERT_NE(nib, nullptr) << error;
  Window* window = nib->checkBox("check")->window();
  ASSERT_NE(window, nullptr);
  window->show();
  processPendingEvents();
  gtk_window_close(GTK_WINDOW(window->nativeHandle()));
  processPendingEvents();
  EXPECT_FALSE(window->isAlive());
  CheckBox* check = nib->checkBox("check");
  EXPECT_EQ(check->window(), nullptr);
  check->setState(1);
  EXPECT_EQ(check->state(), 0);
  EXPECT_EQ(clicks, 0);
}

// Answers the first alert that appears, noting its message and buttons.
struct Responder {
  int response;
  std::string seen;
};

gboolean respond(gpointer data) {
  auto* responder = static_cast<Responder*>(data);
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GList* buttons = gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_action_area(GTK_DIALOG(w->data))));
    G_GNUC_END_IGNORE_DEPRECATIONS
    for (GList* b = buttons; b; b = b->next) responder->seen += gtk_button_get_label(GTK_BUTTON(b->data)) + std::string("|");
    g_list_free(buttons);
    gchar* text = nullptr;
    g_object_get(w->data, "text", &text, nullptr);
    responder->seen += text;
    g_free(text);
    gtk_dialog_response(GTK_DIALOG(w->data), responder->response);
    break;
  }
  g_list_free(windows);
  return G_SOURCE_REMOVE;
}

TEST_F(Toolkit, AlertsAnswerWithTheButtonPressedAndClosingIsTheLastButton) {
  const Alert alert{"A new version (2.0) is available.", {"Download", "Details", "Cancel"}};
  for (const int code : {1000, 1001, 1002, int(GTK_RESPONSE_DELETE_EVENT)}) {
    Responder responder{code, ""};
    g_timeout_add(50, respond, &responder);
    EXPECT_EQ(runModalAlert(alert, nullptr), code < 0 ? kAlertThirdButtonReturn : code);
    // The first button is the rightmost, where the desktop puts the affirmative one.
    EXPECT_EQ(responder.seen, "Cancel|Details|Download|A new version (2.0) is available.");
  }
}

TEST(StringTable, TextsFallBackFromTheLocaleToTheLanguageToTheDefault) {
  test::TestFolder folder;
  const std::string path = folder / "strings.ini";
  EXPECT_EQ(StringTable(path).localizedString("kOk", "fallback"), "fallback");
  test::writeFile(path, "[Strings]\nkOk=OK\nkOk[de]=Gut\nkOk[pt_BR]=Bom\nkDe[de]=Nur\n[Other]\nkOther=x\n");
  const StringTable table(path);
  const char* cases[][3] = {{"kOk", "C", "OK"},         {"kOk", "de_AT", "Gut"}, {"kOk", "pt_BR", "Bom"},
                            {"kOk", "fr", "OK"},        {"kDe", "fr", "default"}, {"kOther", "C", "default"},
                            {"kMissing", "de", "default"}};
  for (const auto& c : cases) EXPECT_EQ(table.localizedString(c[0], "default", c[1]), c[2]) << c[0] << c[1];
  test::writeFile(path, "this is [not a key file\n\x01\x02");
  EXPECT_EQ(StringTable(path).localizedString("kOk", "fallback"), "fallback");

  EXPECT_EQ(StringTable::format("%@ and %@", "a"), "a and a");
  EXPECT_EQ(StringTable::format("100% sure %d %s %", "x"), "100% sure %d %s %");
  EXPECT_EQ(StringTable::format("%@", "%@%s"), "%@%s");  // the argument is not formatted again
}

}  // namespace
}  // namespace moonwisp::ui
