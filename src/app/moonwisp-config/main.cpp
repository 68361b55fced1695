// moonwisp-config: the saver's options sheet as a desktop application.
#include <cstdio>
#include <memory>

#include "platform/core/bundle.h"
#include "platform/host/live_preview.h"
#include "platform/ui/application.h"
#include "prefs/VelConfigPrefs.h"

int main(int argc, char** argv) {
  std::unique_ptr<VelConfigPrefs> controller;
  std::unique_ptr<moonwisp::LivePreview> preview;
  const int status = moonwisp::ui::runApplication(moonwisp::Bundle::identifier(), argc, argv, [&controller, &preview] {
    controller = std::make_unique<VelConfigPrefs>();
    controller->loadNib();
    moonwisp::ui::Window* sheet = controller->returnWindow();
    if (!sheet) std::fprintf(stderr, "moonwisp-config: the options sheet could not be opened\n");
    // The saver itself, live, beside the options.
    if (sheet) preview = moonwisp::LivePreview::attach(*sheet, moonwisp::LivePreview::findMoonwisp());
    return sheet;
  });
  preview.reset();
  controller.reset();
  return status;
}
