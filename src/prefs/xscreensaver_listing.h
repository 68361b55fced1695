#pragma once
// Moonwisp in XScreenSaver's list of display modes, for moonwisp-prefs and
// the settings panel alike: Moonwisp's entry, where XScreenSaver keeps its
// files, and what the user is told, one sentence for each outcome.
#include <string>

namespace moonwisp {

inline constexpr char kXScreenSaverAppDefaults[] = "/etc/X11/app-defaults/XScreenSaver";

struct XScreenSaverListing {
  bool ok = false;      // done, or nothing to do
  std::string message;  // a full sentence for the user
};

// Adds Moonwisp to the list (add) or takes it out. userFile empty: ~/.xscreensaver.
XScreenSaverListing changeXScreenSaverListing(bool add, const std::string& userFile = "",
                                              const std::string& appDefaults = kXScreenSaverAppDefaults);

// Whether XScreenSaver is installed: its program is on the PATH.
bool xscreensaverInstalled();

}  // namespace moonwisp
