#include "app/moonwisp/saver_run.h"

#include <cstdio>
#include <memory>

#include "platform/core/translation.h"
#include "saver/MoonwispView.h"

namespace moonwisp {

SaverHostOptions saverHostOptions(const CommandLine& options) {
  SaverHostOptions hostOptions;
  hostOptions.preview = options.preview;
  hostOptions.printFps = options.fps;
  hostOptions.maxFrames = options.frames;
  hostOptions.intervalUs = options.intervalUs;
  return hostOptions;
}

SaverViewFactory saverViewFactory(const CommandLine& options) {
  return [settings = options.settings](ViewRect frame, bool isPreview,
                                       SaverHostServices& services) -> std::unique_ptr<ScreenSaverView> {
    return std::make_unique<MoonwispView>(frame, isPreview, services, settings);
  };
}

void printError(const std::string& message) { std::fprintf(stderr, "moonwisp: %s\n", message.c_str()); }

int usageError(const std::string& message) {
  printError(formatTranslated(_("%s (see moonwisp --help)"), message));
  return kExitUsage;
}

}  // namespace moonwisp
