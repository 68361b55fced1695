#include "platform/ui/nib.h"

#include <gtk/gtk.h>

#include "platform/core/translation.h"

namespace moonwisp::ui {
namespace {

bool isButton(void* o) { return GTK_IS_BUTTON(o); }
bool isCheckBox(void* o) { return GTK_IS_TOGGLE_BUTTON(o); }
bool isSlider(void* o) { return GTK_IS_RANGE(o); }
bool isPopUp(void* o) { return GTK_IS_COMBO_BOX_TEXT(o); }
bool isTextField(void* o) { return GTK_IS_LABEL(o) || GTK_IS_ENTRY(o); }

}  // namespace

std::unique_ptr<Nib> Nib::load(const std::string& path, Actions actions, std::string* error) {
  std::unique_ptr<Nib> nib(new Nib());
  nib->actions_ = std::move(actions);
  GtkBuilder* builder = gtk_builder_new();
  nib->builder_ = builder;
  // Texts marked translatable come from the programs' own catalogues.
  gtk_builder_set_translation_domain(builder, kTextDomain);
  GError* loadError = nullptr;
  const bool loaded = gtk_builder_add_from_file(builder, path.c_str(), &loadError);
  // Windows belong to the toolkit once built, even from a file that failed
  // half-way; holding them lets the destructor destroy them.
  GSList* objects = gtk_builder_get_objects(builder);
  for (GSList* o = objects; o; o = o->next) {
    if (GTK_IS_WINDOW(o->data)) nib->windows_.push_back(std::make_unique<Window>(o->data));
  }
  g_slist_free(objects);
  if (!loaded) {
    if (error) *error = loadError ? loadError->message : "the interface file could not be read";
    g_clear_error(&loadError);
    return nullptr;
  }
  gtk_builder_connect_signals_full(
      builder,
      reinterpret_cast<GtkBuilderConnectFunc>(reinterpret_cast<void (*)()>(&Nib::connectSignal)),
      nib.get());
  if (!nib->missingHandler_.empty()) {
    if (error) *error = "the interface file names an unknown action \"" + nib->missingHandler_ + "\"";
    return nullptr;
  }
  return nib;
}

Nib::~Nib() {
  controls_.clear();
  for (auto& window : windows_) {
    void* widget = window->nativeHandle();
    window.reset();
    if (widget) gtk_widget_destroy(GTK_WIDGET(widget));
  }
  if (builder_) g_object_unref(builder_);
}

void Nib::connectSignal(void*, void* object, const char* signal, const char* handler, void* connectObject,
                        int flags, void* self) {
  auto* nib = static_cast<Nib*>(self);
  (void)connectObject;
  (void)flags;
  const auto found = nib->actions_.find(handler);
  if (found == nib->actions_.end()) {
    if (nib->missingHandler_.empty()) nib->missingHandler_ = handler;
    return;
  }
  // Swapped, so that the action arrives first whatever the signal's arguments.
  g_signal_connect_swapped(object, signal, G_CALLBACK(&Nib::runAction), &found->second);
}

void Nib::runAction(void* action) {
  const auto& run = *static_cast<std::function<void()>*>(action);
  if (run) run();
}

Window* Nib::windowOf(void* widget) {
  GtkWidget* top = gtk_widget_get_toplevel(GTK_WIDGET(widget));
  for (auto& window : windows_) {
    if (window->nativeHandle() == top) return window.get();
  }
  return nullptr;
}

template <typename T>
T* Nib::control(const std::string& id, bool (*hasKind)(void*)) {
  const auto cached = controls_.find(id);
  if (cached != controls_.end()) return dynamic_cast<T*>(cached->second.get());
  GObject* object = gtk_builder_get_object(GTK_BUILDER(builder_), id.c_str());
  if (!object || !GTK_IS_WIDGET(object) || !hasKind(object)) return nullptr;
  auto made = std::make_unique<T>(object, windowOf(object));
  T* result = made.get();
  controls_[id] = std::move(made);
  return result;
}

Button* Nib::button(const std::string& id) { return control<Button>(id, isButton); }
CheckBox* Nib::checkBox(const std::string& id) { return control<CheckBox>(id, isCheckBox); }
Slider* Nib::slider(const std::string& id) { return control<Slider>(id, isSlider); }
PopUp* Nib::popUp(const std::string& id) { return control<PopUp>(id, isPopUp); }
TextField* Nib::textField(const std::string& id) { return control<TextField>(id, isTextField); }

void* Nib::nativeObject(const std::string& id) const {
  GObject* object = gtk_builder_get_object(GTK_BUILDER(builder_), id.c_str());
  return object && GTK_IS_WIDGET(object) ? object : nullptr;
}

}  // namespace moonwisp::ui
