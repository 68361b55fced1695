#pragma once
// Runs the saver on the Wayland compositor named by WAYLAND_DISPLAY.
#include "app/moonwisp/command_line.h"

namespace moonwisp {

// Returns the exit status (saver_run.h; 0 also when the compositor went
// away). *endingSignal: the signal that ended it, 0 when none did.
int runOnWayland(const CommandLine& options, int* endingSignal);

}  // namespace moonwisp
