// Alerts with real GTK dialogs under X, and the table of user-visible texts.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>

#include "platform/ui/alert.h"
#include "platform/ui/string_table.h"
#include "platform/ui/toolkit.h"
#include "support/files.h"

namespace moonwisp::ui {
namespace {

// Answers the alert on show with a response, noting its buttons in their order.
struct Responder {
  int response;
  std::string buttons;
};

gboolean respond(gpointer data) {
  auto* responder = static_cast<Responder*>(data);
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GList* buttons = gtk_container_get_children(GTK_CONTAINER(gtk_dialog_get_action_area(GTK_DIALOG(w->data))));
    G_GNUC_END_IGNORE_DEPRECATIONS
    for (GList* b = buttons; b; b = b->next) responder->buttons += gtk_button_get_label(GTK_BUTTON(b->data));
    g_list_free(buttons);
    gtk_dialog_response(GTK_DIALOG(w->data), responder->response);
  }
  g_list_free(windows);
  return G_SOURCE_REMOVE;
}

TEST(Toolkit, AlertsAnswerWithTheButtonPressedAndClosingIsTheLastButton) {
  ASSERT_TRUE(initializeToolkit()) << "this test needs an X display";
  const Alert alert{"A new version (2.0) is available.", {"Download", "Details", "Cancel"}};
  for (const int code : {1000, 1001, 1002, int(GTK_RESPONSE_DELETE_EVENT)}) {
    Responder responder{code, ""};
    g_timeout_add(50, respond, &responder);
    EXPECT_EQ(runModalAlert(alert, nullptr), code < 0 ? kAlertThirdButtonReturn : code);
    // The first button is the rightmost, where the desktop puts the affirmative one.
    EXPECT_EQ(responder.buttons, "CancelDetailsDownload");
  }
}

TEST(StringTable, TextsFallBackFromTheLocaleToTheLanguageToTheDefault) {
  test::TestFolder folder;
  const std::string path = folder / "strings.ini";
  EXPECT_EQ(StringTable(path).localizedString("kOk", "fallback"), "fallback");
  test::writeFile(path, "[Strings]\nkOk=OK\nkOk[de]=Gut\nkOk[pt_BR]=Bom\nkDe[de]=Nur\n[Other]\nkOther=x\n");
  const StringTable table(path);
  const char* cases[][3] = {{"kOk", "C", "OK"},  {"kOk", "de_AT", "Gut"},  {"kOk", "pt_BR", "Bom"},
                            {"kOk", "fr", "OK"}, {"kDe", "fr", "default"}, {"kOther", "C", "default"}};
  for (const auto& c : cases) EXPECT_EQ(table.localizedString(c[0], "default", c[1]), c[2]) << c[0] << c[1];
  test::writeFile(path, "this is [not a key file\n\x01\x02");
  EXPECT_EQ(StringTable(path).localizedString("kOk", "fallback"), "fallback");
  EXPECT_EQ(StringTable::format("%@ and %@", "a"), "a and a");
  EXPECT_EQ(StringTable::format("100% sure %d %s %", "x"), "100% sure %d %s %");
  EXPECT_EQ(StringTable::format("%@", "%@%s"), "%@%s");  // the argument is not formatted again
}

}  // namespace
}  // namespace moonwisp::ui
