// Alerts with real GTK dialogs under X, and the table of user-visible texts.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "platform/ui/alert.h"
#include "platform/ui/string_table.h"
#include "platform/ui/toolkit.h"
#include "support/files.h"

namespace moonwisp::ui {
namespace {

// Answers the alert on show with the given response, noting in g_buttons the
// labels of the buttons that answer with the first, second and third button's code.
std::string g_buttons;
gboolean respond(gpointer response) {
  GList* windows = gtk_window_list_toplevels();
  for (GList* w = windows; w; w = w->next) {
    if (!GTK_IS_MESSAGE_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
    for (const int code : {kAlertFirstButtonReturn, kAlertSecondButtonReturn, kAlertThirdButtonReturn}) {
      GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(w->data), code);
      g_buttons += button ? gtk_button_get_label(GTK_BUTTON(button)) + std::string("|") : "none|";
    }
    gtk_dialog_response(GTK_DIALOG(w->data), GPOINTER_TO_INT(response));
  }
  g_list_free(windows);
  return G_SOURCE_REMOVE;
}

TEST(Toolkit, AlertsAnswerWithTheButtonPressedAndClosingIsTheLastButton) {
  ASSERT_TRUE(initializeToolkit()) << "this test needs an X display";
  const Alert alert{"A new version (2.0) is available.", {"Download", "Details", "Cancel"}};
  for (const int code : {1000, 1001, 1002, int(GTK_RESPONSE_DELETE_EVENT)}) {
    g_buttons.clear();
    g_timeout_add(50, respond, GINT_TO_POINTER(code));
    EXPECT_EQ(runModalAlert(alert, nullptr), code < 0 ? kAlertThirdButtonReturn : code);
    EXPECT_EQ(g_buttons, "Download|Details|Cancel|");
  }
}

TEST(StringTable, TextsFallBackFromTheLocaleToTheLanguageToTheDefault) {
  test::TestFolder folder;
  test::writeFile(folder / "s.ini", "[Strings]\nkOk=OK\nkOk[de]=Gut\nkDe[de]=Nur\n[Other]\nkOther=x\n");
  const StringTable table(folder / "s.ini");
  const char* cases[][3] = {{"kOk", "C", "OK"}, {"kOk", "de_AT", "Gut"}, {"kDe", "fr", "-"},
                            {"kOther", "C", "-"}};
  for (const auto& c : cases) EXPECT_EQ(table.localizedString(c[0], "-", c[1]), c[2]) << c[0] << c[1];
  EXPECT_EQ(StringTable(folder.path()).localizedString("kOk", "-"), "-");  // unreadable
  EXPECT_EQ(StringTable::format("%@ and %@ 100% %d", "a"), "a and a 100% %d");
  EXPECT_EQ(StringTable::format("%@", "%@%s"), "%@%s");  // the argument is not formatted again
}

}  // namespace
}  // namespace moonwisp::ui
