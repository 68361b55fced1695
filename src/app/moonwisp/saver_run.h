#pragma once
// What a run of the saver is on either window system: the exit statuses, the
// host's options and the view factory, both read from the command line.
#include <string>

#include "app/moonwisp/command_line.h"
#include "host/host_options.h"

namespace moonwisp {

// Exit statuses besides 0 (ended normally).
constexpr int kExitNoDisplay = 1;  // no display, or nothing on it to draw into
constexpr int kExitUsage = 2;      // bad arguments, or a window that does not exist

// The title of the saver's own windows.
constexpr char kSaverTitle[] = "Moonwisp";

SaverHostOptions saverHostOptions(const CommandLine& options);
// Makes the saver's view for every surface, with this run's settings.
SaverViewFactory saverViewFactory(const CommandLine& options);

// "moonwisp: MESSAGE" on stderr.
void printError(const std::string& message);
// Says what was wrong with the arguments; returns kExitUsage.
int usageError(const std::string& message);

}  // namespace moonwisp
