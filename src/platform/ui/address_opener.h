#pragma once
// Opens an address with the desktop's default handler (the web browser).
#include <string>

namespace moonwisp::ui {

// Starts the handler directly, never through a shell. False, with a line in
// the system log, when no handler could be started.
bool openAddress(const std::string& address);

}  // namespace moonwisp::ui
