#pragma once
// Start-up and event processing of the user-interface toolkit.

namespace moonwisp::ui {

// Names the program's windows for the desktop: their X11 class (both parts)
// and their Wayland app id become id, which docks match to the desktop file
// of the same name. Call before initializeToolkit.
void setProgramIdentity(const char* id);

// Connects to the display; false when there is none. Safe to call again.
bool initializeToolkit();

// Handles every event that is already pending, without waiting for more.
void processPendingEvents();

// Runs one iteration of the default main context, waiting for a source to be
// ready (a result handed back from a worker thread wakes it). Needs no display.
void waitForMainLoopEvent();

}  // namespace moonwisp::ui
