// moonwisp-config: the saver's settings panel, with the saver running live in
// it and its options sheet behind the Options… button.
#include <cstdio>
#include <memory>

#include "platform/core/bundle.h"
#include "platform/host/preview_panel.h"
#include "platform/ui/application.h"

int main(int argc, char** argv) {
  std::unique_ptr<moonwisp::PreviewPanel> panel;
  const int status = moonwisp::ui::runApplication(moonwisp::Bundle::identifier(), argc, argv, [&panel] {
    panel = moonwisp::PreviewPanel::create();
    if (!panel) std::fprintf(stderr, "moonwisp-config: the settings panel needs an X11 display\n");
    return panel ? panel->window() : nullptr;
  });
  panel.reset();
  return status;
}
