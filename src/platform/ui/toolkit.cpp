#include "platform/ui/toolkit.h"

#include <gtk/gtk.h>

namespace moonwisp::ui {

void setProgramIdentity(const char* id) {
  // GTK takes the Wayland app id and the X11 class's name from the program
  // name; the class's second part would otherwise be that name capitalised.
  g_set_prgname(id);
  gdk_set_program_class(id);
}

bool initializeToolkit() {
  static bool ready = gtk_init_check(nullptr, nullptr);
  return ready;
}

void processPendingEvents() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void waitForMainLoopEvent() { g_main_context_iteration(nullptr, TRUE); }

}  // namespace moonwisp::ui
