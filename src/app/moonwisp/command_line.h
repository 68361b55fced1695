#pragma once
// The moonwisp program's command line. XScreenSaver's conventions use single
// dashes (-root, -window-id ID); both spellings are accepted.
#include <cstdint>
#include <string>
#include <vector>

#include "prefs/VelPreferenceHandler.h"

namespace moonwisp {

struct CommandLine {
  enum class Mode { Window, FullScreen, Root, WindowId };
  // Which window system: Auto is Wayland when WAYLAND_DISPLAY is set and the
  // mode is not one of XScreenSaver's (-root, -window-id), X11 otherwise.
  enum class Backend { Auto, X11, Wayland };
  Mode mode = Mode::Window;
  int width = 1280;   // Mode::Window
  int height = 800;
  unsigned long windowId = 0;  // Mode::WindowId
  Backend backend = Backend::Auto;
  bool preview = false;
  bool fps = false;
  // Settings for this run only, read in place of the stored ones (--count, ...).
  VelPrefOverrides settings;
  uint64_t frames = 0;       // 0: no limit
  int64_t intervalUs = -1;   // below 0: the view's own
  // Set when the program should print this and end with status 0 (--help, --version).
  std::string message;
};

// Parses argv (program name first). False with one line in *error when the
// arguments are bad.
bool parseCommandLine(const std::vector<std::string>& arguments, CommandLine* result, std::string* error);

// The window system to use, given the environment's WAYLAND_DISPLAY (null
// or empty when unset).
CommandLine::Backend chooseBackend(const CommandLine& options, const char* waylandDisplay);

// "123" or "0x7b" (any case) as a window id; false for anything else, 0, or
// a value that does not fit an XID.
bool parseWindowId(const std::string& text, unsigned long* id);
// "WxH" with both sides in 1..32767.
bool parseGeometry(const std::string& text, int* width, int* height);

}  // namespace moonwisp
