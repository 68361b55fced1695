#pragma once
// Runs the saver on the X server named by DISPLAY: in a window of its own,
// full screen on every monitor, or in a foreign window (XScreenSaver's).
#include "app/moonwisp/command_line.h"

namespace moonwisp {

// Returns the exit status (saver_run.h). *endingSignal: the signal that
// ended it, 0 when none did.
int runOnX11(const CommandLine& options, int* endingSignal);

}  // namespace moonwisp
