#pragma once
// A window and its controls built from an interface file (GtkBuilder XML).
// Objects are found by their ids; signal handler names in the file are
// connected to the actions given at load. Texts marked translatable are
// looked up in the programs' text domain (platform/core/translation.h).
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

namespace moonwisp::ui {

class Nib {
 public:
  using Actions = std::map<std::string, std::function<void()>>;

  // Null, with a reason in error, when the file cannot be read, is not a
  // valid interface file, or names a handler that actions lacks.
  static std::unique_ptr<Nib> load(const std::string& path, Actions actions, std::string* error);
  // Destroys the file's windows.
  ~Nib();
  Nib(const Nib&) = delete;
  Nib& operator=(const Nib&) = delete;

  // The control with that id, or null when there is none of that kind.
  Button* button(const std::string& id);
  CheckBox* checkBox(const std::string& id);
  Slider* slider(const std::string& id);
  PopUp* popUp(const std::string& id);
  TextField* textField(const std::string& id);
  // Any widget by id, for platform code (GtkWidget*), or null.
  void* nativeObject(const std::string& id) const;

 private:
  Nib() = default;
  template <typename T>
  T* control(const std::string& id, bool (*hasKind)(void*));
  Window* windowOf(void* widget);
  static void connectSignal(void* builder, void* object, const char* signal, const char* handler,
                            void* connectObject, int flags, void* self);
  static void runAction(void* action);

  void* builder_ = nullptr;
  Actions actions_;
  std::string missingHandler_;
  std::vector<std::unique_ptr<Window>> windows_;
  std::map<std::string, std::unique_ptr<Control>> controls_;
};

}  // namespace moonwisp::ui
