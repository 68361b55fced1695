#pragma once
// The saver view as the settings panel previews it: the view, and the options
// sheet behind the panel's Options… button. Only the settings program links
// it, so that the saver program loads no toolkit and no update check.
#include <memory>

#include "saver/MoonwispView.h"

namespace moonwisp {

class VelConfigPrefs;

class MoonwispViewWithSheet : public MoonwispView {
 public:
  // The sheet needs the toolkit; without it the view draws and offers none.
  MoonwispViewWithSheet(ViewRect frame, bool isPreview, SaverHostServices& host);
  ~MoonwispViewWithSheet() override;

  bool hasConfigureSheet() const override;
  ui::Window* configureSheet() override;

  // The sheet's controller; null when the toolkit could not start.
  VelConfigPrefs* sheet() const { return sheet_.get(); }

 private:
  std::unique_ptr<VelConfigPrefs> sheet_;
};

}  // namespace moonwisp
