// moonwisp-config: the saver's options sheet as a desktop application.
#include <cstdio>
#include <memory>

#include "platform/core/bundle.h"
#include "platform/ui/application.h"
#include "prefs/VelConfigPrefs.h"

int main(int argc, char** argv) {
  std::unique_ptr<VelConfigPrefs> controller;
  const int status = moonwisp::ui::runApplication(moonwisp::Bundle::identifier(), argc, argv, [&controller] {
    controller = std::make_unique<VelConfigPrefs>();
    controller->loadNib();
    moonwisp::ui::Window* sheet = controller->returnWindow();
    if (!sheet) std::fprintf(stderr, "moonwisp-config: the options sheet could not be opened\n");
    return sheet;
  });
  controller.reset();
  return status;
}
