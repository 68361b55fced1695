#pragma once
// Thin handles on the toolkit's widgets, so that controllers hold controls
// without seeing the toolkit. A handle whose widget has been destroyed does
// nothing and reads as empty.
#include <functional>
#include <string>

namespace moonwisp::ui {

class Window {
 public:
  explicit Window(void* gtkWindow);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  void show();  // shows and raises it
  // Shows it as a modal sheet of parent (a GtkWindow, or null) and returns
  // when it is hidden or destroyed: ending the sheet hands control back.
  void runModal(void* parentNativeWindow);
  void hide();
  bool isVisible() const;
  bool isAlive() const { return widget_ != nullptr; }
  // false: the close button hides the window so that it can be shown again.
  void setReleasedWhenClosed(bool released);
  // Called whenever the window is hidden (closed, ended, or hidden in code).
  void setHiddenHandler(std::function<void()> handler) { hiddenHandler_ = std::move(handler); }
  // The GtkWindow, for platform code that must embed or parent it.
  void* nativeHandle() const { return widget_; }

 private:
  static void onDestroy(void* widget, void* self);
  static void onHide(void* widget, void* self);
  static int onDelete(void* widget, void* event, void* self);
  void* widget_;
  bool releasedWhenClosed_ = true;
  std::function<void()> hiddenHandler_;
};

class Control {
 public:
  Control(void* widget, Window* window);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // The window that holds the control, or null when there is none.
  Window* window() const { return widget_ && window_ && window_->isAlive() ? window_ : nullptr; }
  void* nativeHandle() const { return widget_; }
  // A disabled control is greyed out and takes no input.
  void setEnabled(bool enabled);
  bool isEnabled() const;

 protected:
  void* widget_;

 private:
  static void onDestroy(void* widget, void* self);
  Window* window_;
};

class Button : public Control {
 public:
  using Control::Control;
  void performClick();  // as if the user clicked it
};

// On (1), off (0) or mixed (2).
class CheckBox : public Control {
 public:
  using Control::Control;
  int state() const;
  void setState(int state);
};

// An integer scale.
class Slider : public Control {
 public:
  using Control::Control;
  int intValue() const;
  void setIntValue(int value);
};

// A pop-up whose items carry integer tags (the items' ids).
class PopUp : public Control {
 public:
  using Control::Control;
  bool selectItemWithTag(int tag);  // false when no item has the tag
  int selectedTag() const;          // -1 when nothing (or no number) is selected
  void addItemWithTag(int tag, const std::string& title);
};

// A text shown to the user (a label or an entry).
class TextField : public Control {
 public:
  using Control::Control;
  std::string stringValue() const;
  void setStringValue(const std::string& text);
};

}  // namespace moonwisp::ui
