#include "saver/MoonwispViewWithSheet.h"

#include "platform/core/system_log.h"
#include "platform/ui/toolkit.h"
#include "prefs/sheet/VelConfigPrefs.h"

namespace moonwisp {

MoonwispViewWithSheet::MoonwispViewWithSheet(ViewRect frame, bool isPreview, SaverHostServices& host)
    : MoonwispView(frame, isPreview, host) {
  if (!isPreview) return;
  if (ui::initializeToolkit()) {
    sheet_ = std::make_unique<VelConfigPrefs>();
    sheet_->loadNib();
  } else {
    systemLog("The settings sheet is not available: no display for the toolkit.");
  }
}

MoonwispViewWithSheet::~MoonwispViewWithSheet() = default;

bool MoonwispViewWithSheet::hasConfigureSheet() const { return true; }

ui::Window* MoonwispViewWithSheet::configureSheet() { return sheet_ ? sheet_->returnWindow() : nullptr; }

}  // namespace moonwisp
