#include "platform/ui/application.h"

#include <gtk/gtk.h>

namespace moonwisp::ui {
namespace {

struct Session {
  std::function<Window*()> createWindow;
  Window* window = nullptr;
  int status = 0;
};

void activate(GtkApplication* app, gpointer data) {
  auto* session = static_cast<Session*>(data);
  if (session->window) {
    session->window->show();
    return;
  }
  Window* window = session->createWindow ? session->createWindow() : nullptr;
  if (!window || !window->isAlive()) {
    session->status = 1;
    return;  // with no window the application ends at once
  }
  session->window = window;
  gtk_application_add_window(app, GTK_WINDOW(window->nativeHandle()));
  // The window is hidden, not destroyed, when it ends; taking it off the
  // application is what ends the main loop.
  window->setHiddenHandler([app, window] {
    if (window->isAlive()) gtk_application_remove_window(app, GTK_WINDOW(window->nativeHandle()));
  });
  window->show();
}

}  // namespace

int runApplication(const char* applicationId, int argc, char** argv, std::function<Window*()> createWindow) {
  Session session;
  session.createWindow = std::move(createWindow);
  GtkApplication* app = gtk_application_new(applicationId, G_APPLICATION_DEFAULT_FLAGS);
  g_signal_connect(app, "activate", G_CALLBACK(activate), &session);
  const int status = g_application_run(G_APPLICATION(app), argc, argv);
  if (session.window) session.window->setHiddenHandler(nullptr);
  g_object_unref(app);
  return status != 0 ? status : session.status;
}

}  // namespace moonwisp::ui
