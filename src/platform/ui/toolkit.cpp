#include "platform/ui/toolkit.h"

#include <gtk/gtk.h>

namespace moonwisp::ui {

bool initializeToolkit() {
  static bool ready = gtk_init_check(nullptr, nullptr);
  return ready;
}

void processPendingEvents() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void waitForMainLoopEvent() { g_main_context_iteration(nullptr, TRUE); }

}  // namespace moonwisp::ui
