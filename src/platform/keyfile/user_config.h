#pragma once
// The user's configuration folder after the XDG rules ($XDG_CONFIG_HOME, else
// ~/.config). GLib looks it up once per process.
#include <string>

namespace moonwisp {

// <user config folder>/<folder>/<file>
std::string userConfigFile(const std::string& folder, const std::string& file);

}  // namespace moonwisp
