#pragma once
// A live preview of the saver beside the controls of a settings window: a
// drawing area with an X window of its own, into which a child process
// `moonwisp --preview --window-id XID` draws. The child starts when the area
// is shown and is ended (SIGTERM) when the window is hidden or destroyed, or
// with this object; it also ends by itself when the area's window goes.
#include <sys/types.h>

#include <memory>
#include <string>

namespace moonwisp {

namespace ui {
class Window;
}

class LivePreview {
 public:
  // Null when the window has no content to put the preview beside.
  static std::unique_ptr<LivePreview> attach(ui::Window& window, const std::string& moonwispPath);
  // The moonwisp program next to the running one (an installed tree), or in
  // the build tree's layout; "" when there is none.
  static std::string findMoonwisp();

  ~LivePreview();
  LivePreview(const LivePreview&) = delete;
  LivePreview& operator=(const LivePreview&) = delete;

  // The drawing child's process id; 0 when none runs.
  pid_t childPid() const { return child_; }
  // The X window id the child draws into; 0 before the area is first shown.
  unsigned long areaWindow() const { return xid_; }

 private:
  LivePreview() = default;
  void start();
  void stop();
  static void onMap(void* widget, void* self);
  static void onHide(void* widget, void* self);
  static void onDestroy(void* widget, void* self);
  static void onChildExit(int pid, int status, void* self);

  std::string moonwispPath_;
  void* window_ = nullptr;  // GtkWindow
  void* area_ = nullptr;    // GtkDrawingArea
  unsigned long signalIds_[3] = {};
  unsigned long xid_ = 0;
  pid_t child_ = 0;
  unsigned watch_ = 0;
};

}  // namespace moonwisp
