#pragma once
// The desktop application object: one instance per user session, identified
// by an application id; it runs until its window has been closed.
#include <functional>

#include "platform/ui/controls.h"

namespace moonwisp::ui {

// Runs the main loop. On the first activation createWindow makes the window
// (null ends the program with status 1); a second start of the program
// raises that window instead. Returns the exit status.
int runApplication(const char* applicationId, int argc, char** argv, std::function<Window*()> createWindow);

}  // namespace moonwisp::ui
