#include "platform/ui/alert.h"

#include <gtk/gtk.h>

namespace moonwisp::ui {

int runModalAlert(const Alert& alert, Window* parent) {
  std::vector<std::string> buttons = alert.buttons;
  if (buttons.empty()) buttons.push_back("OK");
  GtkWindow* parentWindow = parent && parent->isVisible() ? GTK_WINDOW(parent->nativeHandle()) : nullptr;
  GtkWidget* dialog = gtk_message_dialog_new(parentWindow, GTK_DIALOG_MODAL, GTK_MESSAGE_INFO, GTK_BUTTONS_NONE,
                                             "%s", alert.messageText.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "Moonwisp");
  // The first button is the affirmative one: it goes to the right end, as the
  // desktop's dialogs order them, and is the default.
  const int count = static_cast<int>(buttons.size());
  for (int i = count - 1; i >= 0; --i) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), buttons[static_cast<size_t>(i)].c_str(), kAlertFirstButtonReturn + i);
  }
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), kAlertFirstButtonReturn);
  int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  if (response < kAlertFirstButtonReturn || response >= kAlertFirstButtonReturn + count) {
    response = kAlertFirstButtonReturn + count - 1;
  }
  return response;
}

}  // namespace moonwisp::ui
