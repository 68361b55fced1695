#include "prefs/sheet/VelConfigPrefs.h"

#include <chrono>

#include "platform/core/system_log.h"
#include "platform/core/translation.h"
#include "platform/ui/address_opener.h"
#include "platform/ui/nib.h"
#include "platform/ui/string_table.h"
#include "platform/ui/toolkit.h"
#include "platform/update/feed_parse.h"
#include "platform/update/web_address.h"
#include "prefs/VelPreferenceKeys.h"
#include "prefs/update/VelFeedChoice.h"
#include "prefs/update/VelVersionString.h"

namespace moonwisp {

using moonwisp::ui::Alert;
using moonwisp::ui::StringTable;

namespace {

constexpr int32_t kDefaultQuantity = static_cast<int32_t>(kVelQuantitySetting.defaultValue);
constexpr int kMaxColor = static_cast<int>(kVelParticleColorSetting.maximum);
constexpr int kDefaultColor = static_cast<int>(kVelParticleColorSetting.defaultValue);

}  // namespace

VelConfigPrefs::VelConfigPrefs(const moonwisp::Bundle& bundle)
    : bundle_(bundle),
      strings_(std::make_unique<StringTable>(bundle.pathForResource("configStrings", "ini"))),
      feedSource_(moonwisp::update::defaultFeedSource()) {}

// What the worker thread found: the parsed feed, or why there is none.
struct VelConfigPrefs::FeedAnswer {
  moonwisp::update::FeedParseResult feed;
  std::string failure;
};

VelConfigPrefs::~VelConfigPrefs() { cancelUpdateCheck(); }

void VelConfigPrefs::loadNib() {
  cancelUpdateCheck();
  cancelButton_ = okayButton_ = defaultButton_ = softwareUpToDateCheckNowButton_ = nullptr;
  colorTypeSelect_ = nullptr;
  quantitySlider_ = nullptr;
  glowCheckBox_ = mainScreenOnlyCheckbox_ = softwareUpToDateCheckBox_ = nullptr;
  softwareUpToDateTextField_ = nullptr;
  nib_.reset();

  const std::string path = bundle_.pathForResource("configSheetNib", "ui");
  if (path.empty()) {
    moonwisp::systemLog("Error: the options sheet configSheetNib.ui is missing from %s.",
                        bundle_.resourcesPath().c_str());
    return;
  }
  if (!moonwisp::ui::initializeToolkit()) {
    moonwisp::systemLog("Error: the options sheet needs a display.");
    return;
  }
  std::string error;
  nib_ = moonwisp::ui::Nib::load(path,
                                 {
                                     {"okayButtonClicked", [this] { okayButtonClicked(); }},
                                     {"cancelButtonClicked", [this] { cancelButtonClicked(); }},
                                     {"defaultButtonClicked", [this] { defaultButtonClicked(); }},
                                     {"checkUpdatesButtonClicked", [this] { checkUpdatesButtonClicked(); }},
                                 },
                                 &error);
  if (!nib_) {
    moonwisp::systemLog("Error: the options sheet %s could not be loaded: %s", path.c_str(), error.c_str());
    return;
  }
  cancelButton_ = nib_->button("cancelButton");
  okayButton_ = nib_->button("okayButton");
  colorTypeSelect_ = nib_->popUp("colorTypeSelect");
  quantitySlider_ = nib_->slider("quantitySlider");
  defaultButton_ = nib_->button("defaultButton");
  glowCheckBox_ = nib_->checkBox("glowCheckBox");
  mainScreenOnlyCheckbox_ = nib_->checkBox("mainScreenOnlyCheckbox");
  softwareUpToDateTextField_ = nib_->textField("softwareUpToDateTextField");
  softwareUpToDateCheckBox_ = nib_->checkBox("softwareUpToDateCheckBox");
  softwareUpToDateCheckNowButton_ = nib_->button("softwareUpToDateCheckNowButton");
  if (quantitySlider_ && quantitySlider_->window()) {
    moonwisp::ui::Window* sheet = quantitySlider_->window();
    sheet->setReleasedWhenClosed(false);
    // However the sheet ends (OK, Cancel, the window's close button), a check
    // that is still running ends with it.
    sheet->setHiddenHandler([this] { cancelUpdateCheck(); });
  }
}

moonwisp::ui::Window* VelConfigPrefs::returnWindow() {
  if (!quantitySlider_ || !quantitySlider_->window()) loadNib();
  if (!quantitySlider_ || !quantitySlider_->window()) return nullptr;

  const VelPreferenceHandler handler = preferenceHandler();
  VelPrefs prefs{};
  handler.getVelPrefs(&prefs);
  quantitySlider_->setIntValue(velPrefInRange(kVelQuantitySetting, prefs.quantity) ? prefs.quantity : kDefaultQuantity);
  const auto color = static_cast<uint8_t>(prefs.particleColor);
  if (colorTypeSelect_) colorTypeSelect_->selectItemWithTag(color <= kMaxColor ? color : kDefaultColor);
  if (glowCheckBox_) glowCheckBox_->setState(prefs.glow != 0 ? 1 : 0);
  if (mainScreenOnlyCheckbox_) mainScreenOnlyCheckbox_->setState(prefs.mainscreenonly ? 1 : 0);
  setupUpdateBox(prefs.checkForUpdates);

  // The check runs while the sheet is shown; the time is recorded when it
  // has ended, and not at all when the sheet ended it first.
  if (prefs.checkForUpdates && !isCheckingForUpdates()) {
    const VelDate checkTime = now();
    const bool due = !prefs.lastUpdateCheck ||
                     std::chrono::duration<double>(checkTime - *prefs.lastUpdateCheck).count() > kUpdateCheckInterval;
    if (due) {
      const std::string path = preferencesPath_;
      // Never recorded: the time after the check, as it is taken then.
      const bool takeTimeAfter = !prefs.lastUpdateCheck;
      checkUpdates(false, [this, path, checkTime, takeTimeAfter] {
        const VelPreferenceHandler store = path.empty() ? VelPreferenceHandler() : VelPreferenceHandler(path);
        store.setVelLastUpdateCheckPrefs(takeTimeAfter ? now() : checkTime);
      });
    }
  }
  return quantitySlider_->window();
}

void VelConfigPrefs::okayButtonClicked() {
  if (!nib_) return;  // no controls, nothing the user could have set
  VelPrefs prefs{};
  prefs.quantity = quantitySlider_ ? quantitySlider_->intValue() : kDefaultQuantity;
  prefs.particleSize = kVelParticleSize;
  prefs.particleSpeed = kVelParticleSpeed;
  const int tag = colorTypeSelect_ ? colorTypeSelect_->selectedTag() : kDefaultColor;
  prefs.particleColor = static_cast<int8_t>(tag < 0 || tag > kMaxColor ? kDefaultColor : tag);
  prefs.particleType = kVelParticleType;
  prefs.glow = glowCheckBox_ && glowCheckBox_->state() != 0 ? 1 : 0;
  prefs.mainscreenonly = mainScreenOnlyCheckbox_ && mainScreenOnlyCheckbox_->state() != 0;
  // A mixed state is not a yes.
  prefs.checkForUpdates = softwareUpToDateCheckBox_ && softwareUpToDateCheckBox_->state() == 1;
  preferenceHandler().setVelPrefs(&prefs);
  endSheet(okayButton_);
}

void VelConfigPrefs::cancelButtonClicked() { endSheet(cancelButton_); }

void VelConfigPrefs::defaultButtonClicked() {
  if (colorTypeSelect_) colorTypeSelect_->selectItemWithTag(kDefaultColor);
  if (quantitySlider_) quantitySlider_->setIntValue(kDefaultQuantity);
  if (glowCheckBox_) glowCheckBox_->setState(kVelGlowSetting.defaultValue != 0 ? 1 : 0);
  if (mainScreenOnlyCheckbox_) mainScreenOnlyCheckbox_->setState(kVelMainScreenOnlySetting.defaultValue != 0 ? 1 : 0);
}

void VelConfigPrefs::checkUpdatesButtonClicked() {
  preferenceHandler().setVelLastUpdateCheckPrefs(now());
  checkUpdates(true);
}

void VelConfigPrefs::checkUpdates(bool interactive, std::function<void()> finished) {
  using namespace moonwisp::update;
  auto answer = std::make_shared<FeedAnswer>();
  auto cancel = std::make_shared<FeedFetchCancel>();
  // The worker reads only its own copies and the shared answer.
  auto work = [answer, cancel, source = feedSource_] {
    FeedParseResult& feed = answer->feed;
    FeedFetchResult fetched = fetchFeed(source, cancel.get());
    if (fetched.ok) {
      feed = parseFeed(fetched.body, false);
      if (feed.status == FeedParseStatus::malformed) {
        // Ask again and let the parser repair what it can. A feed that could
        // not be fetched at all is not asked for twice.
        fetched = fetchFeed(source, cancel.get());
        if (fetched.ok) feed = parseFeed(fetched.body, true);
      }
    }
    if (!fetched.ok) {
      answer->failure = fetched.error;
    } else if (feed.status == FeedParseStatus::malformed) {
      answer->failure = _("the update feed is not readable XML");
    } else if (feed.status == FeedParseStatus::notAFeed) {
      answer->failure = _("the server did not send an update feed");
    } else if (feed.status == FeedParseStatus::refused) {
      answer->failure = _("the update feed declares a document type, which is not accepted");
    }
  };
  auto done = [this, answer, interactive, finished = std::move(finished)] {
    showUpdateCheckRunning(false);
    offerUpdate(*answer, interactive);
    if (finished) finished();
  };
  updateCheck_.start(std::move(work), std::move(done), [cancel] { cancel->cancel(); });
  showUpdateCheckRunning(true);
}

void VelConfigPrefs::cancelUpdateCheck() {
  if (!updateCheck_.running()) return;
  updateCheck_.cancel();
  showUpdateCheckRunning(false);
}

void VelConfigPrefs::showUpdateCheckRunning(bool running) {
  if (softwareUpToDateCheckNowButton_) softwareUpToDateCheckNowButton_->setEnabled(!running);
  if (!softwareUpToDateTextField_) return;
  softwareUpToDateTextField_->setStringValue(
      running ? localized("kUpdateCheckRunningText", "Checking for updates…")
              : StringTable::format(localized("kVersionString", "Version: %@"), installedVersion()));
}

void VelConfigPrefs::offerUpdate(const FeedAnswer& answer, bool interactive) {
  using namespace moonwisp::update;
  const FeedParseResult& feed = answer.feed;
  const std::string& failure = answer.failure;
  if (failure.empty()) {
    const int best = chooseNewestFeedEntry(feed.entries);
    if (best >= 0) {
      const FeedEntry& entry = feed.entries[static_cast<size_t>(best)];
      if (versionStringCompare(installedVersion(), *entry.version) < 0 && entry.downloadURL) {
        Alert offer;
        offer.messageText = StringTable::format(
            localized("kUpdateAvailableMessageText", "A new version (%@) of Moonwisp is now available for download."),
            *entry.version);
        offer.buttons.push_back(localized("kUpdateAvailableDownloadButton", "Download"));
        if (entry.detailsURL) offer.buttons.push_back(localized("kUpdateAvailableDetailsButton", "Details"));
        offer.buttons.push_back(localized("kUpdateAvailableCancelButton", "Cancel"));
        const int choice = runAlert(offer);
        if (choice == moonwisp::ui::kAlertFirstButtonReturn) {
          openAddress(*entry.downloadURL);
        } else if (choice == moonwisp::ui::kAlertSecondButtonReturn && entry.detailsURL) {
          openAddress(*entry.detailsURL);
        }
        return;
      }
    }
  }

  if (!interactive) return;
  Alert reply;
  reply.messageText =
      failure.empty()
          ? localized("kUpdateNotAvailableMessageText", "This copy of Moonwisp is up-to-date.")
          : StringTable::format(localized("kUpdateCheckFailedMessageText", "Moonwisp could not check for updates: %@"),
                                failure);
  reply.buttons.push_back(localized("kUpdateNotAvailableOkayButton", "OK"));
  runAlert(reply);
}

int32_t VelConfigPrefs::versionStringCompare(const std::string& a, const std::string& b) {
  return compareVelVersionStrings(a, b);
}

void VelConfigPrefs::setupUpdateBox(bool on) {
  if (softwareUpToDateCheckBox_) softwareUpToDateCheckBox_->setState(on ? 1 : 0);
  if (softwareUpToDateTextField_) {
    softwareUpToDateTextField_->setStringValue(
        StringTable::format(localized("kVersionString", "Version: %@"), installedVersion()));
  }
}

void* VelConfigPrefs::nativeObject(const std::string& id) const { return nib_ ? nib_->nativeObject(id) : nullptr; }

VelPreferenceHandler VelConfigPrefs::preferenceHandler() const {
  return preferencesPath_.empty() ? VelPreferenceHandler() : VelPreferenceHandler(preferencesPath_);
}

VelDate VelConfigPrefs::now() const {
  if (clock_) return clock_();
  return std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now());
}

std::string VelConfigPrefs::localized(const char* key, const char* defaultText) const {
  return strings_->localizedString(key, defaultText);
}

std::string VelConfigPrefs::installedVersion() const { return bundle_.infoValue("CFBundleVersion"); }

int VelConfigPrefs::runAlert(const Alert& alert) {
  if (alertRunner_) return alertRunner_(alert);
  moonwisp::ui::Window* sheet = quantitySlider_ ? quantitySlider_->window() : nullptr;
  return moonwisp::ui::runModalAlert(alert, sheet);
}

void VelConfigPrefs::openAddress(const std::string& address) {
  // The feed's addresses were checked when it was read; this guards the
  // browser against anything else.
  if (!moonwisp::update::isWebAddress(address)) return;
  if (addressOpener_) {
    addressOpener_(address);
  } else {
    moonwisp::ui::openAddress(address);
  }
}

void VelConfigPrefs::endSheet(moonwisp::ui::Control* control) {
  if (control && control->window()) control->window()->hide();
}

}  // namespace moonwisp
