#include "platform/ui/controls.h"

#include <gtk/gtk.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace moonwisp::ui {

Window::Window(void* gtkWindow) : widget_(gtkWindow) {
  g_signal_connect(widget_, "destroy", G_CALLBACK(onDestroy), this);
  g_signal_connect(widget_, "hide", G_CALLBACK(onHide), this);
  g_signal_connect(widget_, "delete-event", G_CALLBACK(onDelete), this);
}

Window::~Window() {
  if (widget_) g_signal_handlers_disconnect_by_data(widget_, this);
}

void Window::onDestroy(void*, void* self) { static_cast<Window*>(self)->widget_ = nullptr; }

void Window::onHide(void*, void* self) {
  auto* window = static_cast<Window*>(self);
  if (window->hiddenHandler_) window->hiddenHandler_();
}

int Window::onDelete(void* widget, void*, void* self) {
  if (static_cast<Window*>(self)->releasedWhenClosed_) return FALSE;  // GTK destroys it
  gtk_widget_hide(GTK_WIDGET(widget));
  return TRUE;
}

void Window::show() {
  if (!widget_) return;
  gtk_widget_show(GTK_WIDGET(widget_));
  gtk_window_present(GTK_WINDOW(widget_));
}

void Window::runModal(void* parentNativeWindow) {
  if (!widget_) return;
  GtkWindow* window = GTK_WINDOW(widget_);
  gtk_window_set_transient_for(window, parentNativeWindow ? GTK_WINDOW(parentNativeWindow) : nullptr);
  gtk_window_set_modal(window, TRUE);
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  const gulong onHidden = g_signal_connect_swapped(window, "hide", G_CALLBACK(g_main_loop_quit), loop);
  const gulong onDestroyed = g_signal_connect_swapped(window, "destroy", G_CALLBACK(g_main_loop_quit), loop);
  show();
  if (isVisible()) g_main_loop_run(loop);
  if (widget_) {  // still there: undo what this call set up
    g_signal_handler_disconnect(window, onHidden);
    g_signal_handler_disconnect(window, onDestroyed);
    gtk_window_set_modal(window, FALSE);
    gtk_window_set_transient_for(window, nullptr);
  }
  g_main_loop_unref(loop);
}

void Window::hide() {
  if (widget_) gtk_widget_hide(GTK_WIDGET(widget_));
}

bool Window::isVisible() const { return widget_ && gtk_widget_get_visible(GTK_WIDGET(widget_)); }

void Window::setReleasedWhenClosed(bool released) { releasedWhenClosed_ = released; }

Control::Control(void* widget, Window* window) : widget_(widget), window_(window) {
  g_signal_connect(widget_, "destroy", G_CALLBACK(onDestroy), this);
}

Control::~Control() {
  if (widget_) g_signal_handlers_disconnect_by_data(widget_, this);
}

void Control::onDestroy(void*, void* self) { static_cast<Control*>(self)->widget_ = nullptr; }

void Control::setEnabled(bool enabled) {
  if (widget_) gtk_widget_set_sensitive(GTK_WIDGET(widget_), enabled);
}

bool Control::isEnabled() const { return widget_ && gtk_widget_get_sensitive(GTK_WIDGET(widget_)); }

void Button::performClick() {
  if (widget_) gtk_button_clicked(GTK_BUTTON(widget_));
}

int CheckBox::state() const {
  if (!widget_) return 0;
  auto* toggle = GTK_TOGGLE_BUTTON(widget_);
  if (gtk_toggle_button_get_inconsistent(toggle)) return 2;
  return gtk_toggle_button_get_active(toggle) ? 1 : 0;
}

void CheckBox::setState(int state) {
  if (!widget_) return;
  auto* toggle = GTK_TOGGLE_BUTTON(widget_);
  gtk_toggle_button_set_inconsistent(toggle, state == 2);
  if (state != 2) gtk_toggle_button_set_active(toggle, state != 0);
}

int Slider::intValue() const {
  if (!widget_) return 0;
  const double value = std::round(gtk_range_get_value(GTK_RANGE(widget_)));
  if (!(value >= INT_MIN && value <= INT_MAX)) return 0;
  return static_cast<int>(value);
}

void Slider::setIntValue(int value) {
  if (widget_) gtk_range_set_value(GTK_RANGE(widget_), value);
}

bool PopUp::selectItemWithTag(int tag) {
  if (!widget_) return false;
  return gtk_combo_box_set_active_id(GTK_COMBO_BOX(widget_), std::to_string(tag).c_str());
}

int PopUp::selectedTag() const {
  if (!widget_) return -1;
  const char* id = gtk_combo_box_get_active_id(GTK_COMBO_BOX(widget_));
  if (!id || !*id) return -1;
  char* end = nullptr;
  errno = 0;
  const long tag = std::strtol(id, &end, 10);
  if (errno != 0 || *end != '\0' || tag < INT_MIN || tag > INT_MAX) return -1;
  return static_cast<int>(tag);
}

void PopUp::addItemWithTag(int tag, const std::string& title) {
  if (widget_) gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(widget_), std::to_string(tag).c_str(), title.c_str());
}

std::string TextField::stringValue() const {
  if (!widget_) return {};
  if (GTK_IS_LABEL(widget_)) return gtk_label_get_text(GTK_LABEL(widget_));
  return gtk_entry_get_text(GTK_ENTRY(widget_));
}

void TextField::setStringValue(const std::string& text) {
  if (!widget_) return;
  if (GTK_IS_LABEL(widget_)) {
    gtk_label_set_text(GTK_LABEL(widget_), text.c_str());
  } else {
    gtk_entry_set_text(GTK_ENTRY(widget_), text.c_str());
  }
}

}  // namespace moonwisp::ui
