#include "platform/ui/toolkit.h"

#include <gtk/gtk.h>

namespace moonwisp::ui {

namespace {

const char* programIdentity = nullptr;

}  // namespace

void setProgramIdentity(const char* id) {
  // GTK takes the Wayland app id and the X11 class's name from the program
  // name; the class's second part would be that name capitalised.
  programIdentity = id;
  g_set_prgname(id);
}

bool initializeToolkit() {
  static bool ready = gtk_init_check(nullptr, nullptr);
  // Start-up sets the class from the program name; set after it, it holds.
  if (ready && programIdentity) gdk_set_program_class(programIdentity);
  return ready;
}

void processPendingEvents() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void waitForMainLoopEvent() { g_main_context_iteration(nullptr, TRUE); }

}  // namespace moonwisp::ui
