#pragma once
// The controller of the saver's options sheet: fills the controls from the
// stored settings, stores them on OK, forgets them on Cancel, resets them on
// Default, and checks the update feed weekly or when asked.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/bundle.h"
#include "platform/ui/alert.h"
#include "platform/ui/background_task.h"
#include "platform/ui/controls.h"
#include "platform/update/feed_fetch.h"
#include "prefs/VelPreferenceHandler.h"

namespace moonwisp {
namespace ui {
class Nib;
class StringTable;
}  // namespace ui

class VelConfigPrefs {
 public:
  using Clock = std::function<VelDate()>;
  using AlertRunner = std::function<int(const moonwisp::ui::Alert&)>;
  using AddressOpener = std::function<void(const std::string&)>;

  // Time between automatic update checks, in seconds.
  static constexpr double kUpdateCheckInterval = 604800.0;

  // The bundle gives the interface file, the texts and the installed version.
  explicit VelConfigPrefs(const moonwisp::Bundle& bundle = moonwisp::Bundle::main());
  ~VelConfigPrefs();
  VelConfigPrefs(const VelConfigPrefs&) = delete;
  VelConfigPrefs& operator=(const VelConfigPrefs&) = delete;

  // Builds the sheet from "configSheetNib" and connects the outlets; the
  // sheet is hidden, not destroyed, when closed. Logs and leaves the outlets
  // null when the file cannot be loaded.
  void loadNib();
  // Refills the controls from the stored settings, runs the weekly update
  // check when it is due, and returns the sheet (null without one).
  moonwisp::ui::Window* returnWindow();

  void okayButtonClicked();
  void cancelButtonClicked();
  void defaultButtonClicked();
  void checkUpdatesButtonClicked();

  // Starts fetching the feed on a worker thread and returns; the main loop
  // then offers a newer version when the answer comes. Interactive: also says
  // that none was found, or why the feed could not be read. Meanwhile the
  // check-now button is disabled and the sheet says that a check is running.
  // finished (optional) runs after the answer was handled, not when the
  // check is cancelled.
  void checkUpdates(bool interactive, std::function<void()> finished = nullptr);
  bool isCheckingForUpdates() const { return updateCheck_.running(); }
  // Ends a running check: no alert follows, nothing is stored, its thread is
  // gone when this returns. Ending the sheet and destroying the controller
  // do this too.
  void cancelUpdateCheck();
  // -1, 0 or 1 as a is older than, equal to or newer than b.
  static int32_t versionStringCompare(const std::string& a, const std::string& b);
  // Sets the automatic-check box and shows the installed version.
  void setupUpdateBox(bool on);

  // Outlets, null until loadNib; owned by the sheet.
  moonwisp::ui::Button* cancelButton() const { return cancelButton_; }
  moonwisp::ui::Button* okayButton() const { return okayButton_; }
  moonwisp::ui::PopUp* colorTypeSelect() const { return colorTypeSelect_; }
  moonwisp::ui::Slider* quantitySlider() const { return quantitySlider_; }
  moonwisp::ui::Button* defaultButton() const { return defaultButton_; }
  moonwisp::ui::CheckBox* glowCheckBox() const { return glowCheckBox_; }
  moonwisp::ui::CheckBox* mainScreenOnlyCheckbox() const { return mainScreenOnlyCheckbox_; }
  moonwisp::ui::TextField* softwareUpToDateTextField() const { return softwareUpToDateTextField_; }
  moonwisp::ui::CheckBox* softwareUpToDateCheckBox() const { return softwareUpToDateCheckBox_; }
  moonwisp::ui::Button* softwareUpToDateCheckNowButton() const { return softwareUpToDateCheckNowButton_; }
  // Any widget of the sheet by id (GtkWidget*), for the host that embeds it.
  void* nativeObject(const std::string& id) const;

  // Seams for tests and tools. Without them: the user's preferences file,
  // the system clock, modal alerts, the desktop's browser, the real feed.
  void setPreferencesPath(std::string path) { preferencesPath_ = std::move(path); }
  void setClock(Clock clock) { clock_ = std::move(clock); }
  void setAlertRunner(AlertRunner runner) { alertRunner_ = std::move(runner); }
  void setAddressOpener(AddressOpener opener) { addressOpener_ = std::move(opener); }
  void setFeedSource(moonwisp::update::FeedSource source) { feedSource_ = std::move(source); }

 private:
  VelPreferenceHandler preferenceHandler() const;
  VelDate now() const;
  std::string localized(const char* key, const char* defaultText) const;
  std::string installedVersion() const;
  int runAlert(const moonwisp::ui::Alert& alert);
  void openAddress(const std::string& address);
  void endSheet(moonwisp::ui::Control* control);
  struct FeedAnswer;
  void offerUpdate(const FeedAnswer& answer, bool interactive);
  void showUpdateCheckRunning(bool running);

  const moonwisp::Bundle& bundle_;
  std::unique_ptr<moonwisp::ui::StringTable> strings_;
  std::unique_ptr<moonwisp::ui::Nib> nib_;
  std::string preferencesPath_;
  Clock clock_;
  AlertRunner alertRunner_;
  AddressOpener addressOpener_;
  moonwisp::update::FeedSource feedSource_;
  // Declared after everything the running check reads, so that it ends first.
  moonwisp::ui::BackgroundTask updateCheck_;

  moonwisp::ui::Button* cancelButton_ = nullptr;
  moonwisp::ui::Button* okayButton_ = nullptr;
  moonwisp::ui::PopUp* colorTypeSelect_ = nullptr;
  moonwisp::ui::Slider* quantitySlider_ = nullptr;
  moonwisp::ui::Button* defaultButton_ = nullptr;
  moonwisp::ui::CheckBox* glowCheckBox_ = nullptr;
  moonwisp::ui::CheckBox* mainScreenOnlyCheckbox_ = nullptr;
  moonwisp::ui::TextField* softwareUpToDateTextField_ = nullptr;
  moonwisp::ui::CheckBox* softwareUpToDateCheckBox_ = nullptr;
  moonwisp::ui::Button* softwareUpToDateCheckNowButton_ = nullptr;
};

}  // namespace moonwisp
