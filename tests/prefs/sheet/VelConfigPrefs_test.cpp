// The options sheet with its real widgets, built from the interface file,
// under an X server. Buttons are clicked through their signals, so the
// file's connections are tested too.
#include "prefs/VelConfigPrefs.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/loopback_http_server.h"
#include "platform/core/bundle.h"
#include "platform/ui/toolkit.h"
#include "prefs/VelPreferenceEditor.h"
#include "prefs/VelPreferenceHandler.h"
#include "sheet_test_bundle.h"

namespace {

using moonwisp::test::LoopbackHttpServer;
using moonwisp::ui::Alert;
using std::chrono::seconds;

constexpr const char* kFeedPath = "/updates/products/moonwisp/update.xml";
// 2026-12-01 12:00:00 UTC
const VelDate kNow{std::chrono::microseconds(int64_t{1796126400} * 1000000)};

class ConfigSheet : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(moonwisp::ui::initializeToolkit()) << "these tests need an X display";
    server_.route(kFeedPath, {200, "<updates><update version=\"0.5\" downloadURL=\"https://e.org/\"/></updates>",
                              {}, true, false});
    bundle_ = std::make_unique<moonwisp::Bundle>(dir_.path());
    prefs_ = std::make_unique<VelConfigPrefs>(*bundle_);
    prefs_->setPreferencesPath(dir_.preferencesPath());
    prefs_->setFeedSource({server_.url(kFeedPath), true});
    prefs_->setClock([this] { return now_; });
    prefs_->setAlertRunner([this](const Alert& alert) {
      alerts_.push_back(alert);
      return moonwisp::ui::kAlertFirstButtonReturn;
    });
    prefs_->setAddressOpener([](const std::string&) { ADD_FAILURE() << "nothing should be opened"; });
    prefs_->loadNib();
    ASSERT_NE(prefs_->quantitySlider(), nullptr);
  }

  VelPrefs stored() const {
    VelPrefs p{};
    VelPreferenceHandler(dir_.preferencesPath()).getVelPrefs(&p);
    return p;
  }
  void store(const char* key, const char* value) {
    ASSERT_EQ(VelPreferenceEditor(dir_.preferencesPath()).writeValue(key, value), VelPrefEditResult::Done);
  }
  void storeLastCheck(VelDate when) { VelPreferenceHandler(dir_.preferencesPath()).setVelLastUpdateCheckPrefs(when); }
  int checks() const { return server_.requestCount(kFeedPath); }
  moonwisp::ui::Window* open() {
    moonwisp::ui::Window* sheet = prefs_->returnWindow();
    if (sheet) sheet->show();
    finishCheck();
    moonwisp::ui::processPendingEvents();
    return sheet;
  }
  // Lets a running update check come to its end.
  void finishCheck() {
    while (prefs_->isCheckingForUpdates()) moonwisp::ui::waitForMainLoopEvent();
  }
  void expectControls(int quantity, int tag, int glow, int mainOnly, int updates) {
    EXPECT_EQ(prefs_->quantitySlider()->intValue(), quantity);
    EXPECT_EQ(prefs_->colorTypeSelect()->selectedTag(), tag);
    EXPECT_EQ(prefs_->glowCheckBox()->state(), glow);
    EXPECT_EQ(prefs_->mainScreenOnlyCheckbox()->state(), mainOnly);
    EXPECT_EQ(prefs_->softwareUpToDateCheckBox()->state(), updates);
  }

  LoopbackHttpServer server_;
  moonwisp::test::SheetTestBundle dir_{"1.0.0"};
  std::unique_ptr<moonwisp::Bundle> bundle_;
  std::unique_ptr<VelConfigPrefs> prefs_;
  VelDate now_ = kNow;
  std::vector<Alert> alerts_;
};

TEST_F(ConfigSheet, TheInterfaceFileProvidesEveryOutletAndTheEightSchemes) {
  EXPECT_NE(prefs_->cancelButton(), nullptr);
  EXPECT_NE(prefs_->okayButton(), nullptr);
  EXPECT_NE(prefs_->defaultButton(), nullptr);
  EXPECT_NE(prefs_->glowCheckBox(), nullptr);
  EXPECT_NE(prefs_->mainScreenOnlyCheckbox(), nullptr);
  EXPECT_NE(prefs_->softwareUpToDateTextField(), nullptr);
  EXPECT_NE(prefs_->softwareUpToDateCheckBox(), nullptr);
  EXPECT_NE(prefs_->softwareUpToDateCheckNowButton(), nullptr);
  ASSERT_NE(prefs_->colorTypeSelect(), nullptr);
  for (int tag = 0; tag <= 7; ++tag) EXPECT_TRUE(prefs_->colorTypeSelect()->selectItemWithTag(tag)) << tag;
  EXPECT_FALSE(prefs_->colorTypeSelect()->selectItemWithTag(8));
  // The slider holds 20 to 220 and nothing else.
  prefs_->quantitySlider()->setIntValue(5);
  EXPECT_EQ(prefs_->quantitySlider()->intValue(), 20);
  prefs_->quantitySlider()->setIntValue(500);
  EXPECT_EQ(prefs_->quantitySlider()->intValue(), 220);
  // All controls live in the one sheet window.
  moonwisp::ui::Window* sheet = prefs_->quantitySlider()->window();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(prefs_->okayButton()->window(), sheet);
  EXPECT_EQ(prefs_->cancelButton()->window(), sheet);
  EXPECT_NE(prefs_->nativeObject("sheetBody"), nullptr);  // where a preview may go
}

TEST_F(ConfigSheet, WithNoSettingsTheSheetShowsTheDefaultsAndChecksOnce) {
  moonwisp::ui::Window* sheet = open();
  ASSERT_NE(sheet, nullptr);
  EXPECT_TRUE(sheet->isVisible());
  expectControls(77, 6, 1, 0, 1);
  EXPECT_EQ(prefs_->softwareUpToDateTextField()->stringValue(), "Version: 1.0.0");
  EXPECT_EQ(checks(), 1);
  EXPECT_TRUE(alerts_.empty());  // silent, and 0.5 is older
  EXPECT_EQ(stored().lastUpdateCheck, kNow);
  // The check is recorded: opening again in the same week does not check.
  now_ += std::chrono::hours(24);
  EXPECT_EQ(open(), sheet);
  EXPECT_EQ(checks(), 1);
}

TEST_F(ConfigSheet, StoredValuesOutsideTheirRangesShowClamped) {
  store("quantity", "5");
  store("particleColor", "9");
  store("glow", "5");
  store("checkForUpdates", "false");
  open();
  expectControls(20, 6, 1, 0, 0);
  store("quantity", "500");
  store("particleColor", "258");
  store("glow", "256");
  store("mainscreenonly", "true");
  open();
  expectControls(220, 2, 0, 1, 0);
  EXPECT_EQ(checks(), 0);
}

TEST_F(ConfigSheet, OkStoresTheFiveValuesAndEndsTheSheet) {
  storeLastCheck(kNow);
  moonwisp::ui::Window* sheet = open();
  prefs_->quantitySlider()->setIntValue(150);
  prefs_->colorTypeSelect()->selectItemWithTag(2);
  prefs_->glowCheckBox()->setState(0);
  prefs_->mainScreenOnlyCheckbox()->setState(1);
  prefs_->softwareUpToDateCheckBox()->setState(0);
  prefs_->okayButton()->performClick();
  EXPECT_FALSE(sheet->isVisible());
  const VelPrefs p = stored();
  EXPECT_EQ(p.quantity, 150);
  EXPECT_EQ(p.particleColor, 2);
  EXPECT_EQ(p.glow, 0);
  EXPECT_TRUE(p.mainscreenonly);
  EXPECT_FALSE(p.checkForUpdates);
  EXPECT_EQ(p.lastUpdateCheck, kNow);  // untouched by OK

  // The hidden sheet is the one shown again, with what was stored.
  EXPECT_EQ(open(), sheet);
  expectControls(150, 2, 0, 1, 0);
}

TEST_F(ConfigSheet, TagsOutsideTheSchemesAndAMixedUpdateBoxStoreDefaults) {
  storeLastCheck(kNow);
  for (const int tag : {9, -1}) {
    open();
    prefs_->colorTypeSelect()->addItemWithTag(tag, "odd item");
    ASSERT_TRUE(prefs_->colorTypeSelect()->selectItemWithTag(tag));
    prefs_->softwareUpToDateCheckBox()->setState(2);
    prefs_->okayButton()->performClick();
    EXPECT_EQ(stored().particleColor, 6) << tag;
    EXPECT_FALSE(stored().checkForUpdates) << tag;
    store("particleColor", "1");
  }
}

TEST_F(ConfigSheet, CancelAndDefaultStoreNothing) {
  store("quantity", "40");
  store("particleColor", "3");
  store("glow", "0");
  store("mainscreenonly", "true");
  store("checkForUpdates", "false");
  const std::string before = dir_.preferencesText();
  moonwisp::ui::Window* sheet = open();
  expectControls(40, 3, 0, 1, 0);

  prefs_->defaultButton()->performClick();
  expectControls(77, 6, 1, 0, 0);  // the update box keeps its state
  EXPECT_TRUE(sheet->isVisible());
  prefs_->quantitySlider()->setIntValue(99);
  prefs_->cancelButton()->performClick();
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_EQ(dir_.preferencesText(), before);

  open();
  expectControls(40, 3, 0, 1, 0);
  // Default then OK stores the defaults.
  prefs_->defaultButton()->performClick();
  prefs_->okayButton()->performClick();
  const VelPrefs p = stored();
  EXPECT_EQ(p.quantity, 77);
  EXPECT_EQ(p.particleColor, 6);
  EXPECT_EQ(p.glow, 1);
  EXPECT_FALSE(p.mainscreenonly);
  EXPECT_FALSE(p.checkForUpdates);
}

TEST_F(ConfigSheet, TheAutomaticCheckRunsWhenMoreThanAWeekHasPassed) {
  const auto week = seconds(604800);
  storeLastCheck(kNow - week);
  open();
  EXPECT_EQ(checks(), 0) << "exactly seven days is not more than a week";
  EXPECT_EQ(stored().lastUpdateCheck, kNow - week);

  storeLastCheck(kNow - week - seconds(1));
  open();
  EXPECT_EQ(checks(), 1);
  EXPECT_EQ(stored().lastUpdateCheck, kNow);

  // A recorded time in the future holds the check off until a week past it.
  const VelDate future = kNow + std::chrono::hours(24 * 30);
  storeLastCheck(future);
  open();
  now_ = future + week;
  open();
  EXPECT_EQ(checks(), 1);
  now_ = future + week + seconds(1);
  open();
  EXPECT_EQ(checks(), 2);
  EXPECT_EQ(stored().lastUpdateCheck, now_);
}

TEST_F(ConfigSheet, AFailedAutomaticCheckSaysNothingAndIsStillRecorded) {
  server_.route(kFeedPath, {500, "", {}, true, false});
  open();
  EXPECT_EQ(checks(), 1);
  EXPECT_TRUE(alerts_.empty());
  EXPECT_EQ(stored().lastUpdateCheck, kNow);
}

TEST_F(ConfigSheet, WithTheUpdateBoxOffNoCheckRunsAndTheRecordStays) {
  store("checkForUpdates", "false");
  open();
  EXPECT_EQ(checks(), 0);
  EXPECT_FALSE(stored().lastUpdateCheck.has_value());
  storeLastCheck(kNow - std::chrono::hours(24 * 365));
  open();
  EXPECT_EQ(checks(), 0);
  EXPECT_EQ(stored().lastUpdateCheck, kNow - std::chrono::hours(24 * 365));
}

TEST_F(ConfigSheet, CheckNowRecordsTheTimeAndAnswersWhateverTheBoxSays) {
  store("checkForUpdates", "false");
  open();
  for (const int box : {0, 1}) {
    alerts_.clear();
    now_ += seconds(60);
    prefs_->softwareUpToDateCheckBox()->setState(box);
    prefs_->softwareUpToDateCheckNowButton()->performClick();
    finishCheck();
    EXPECT_EQ(stored().lastUpdateCheck, now_) << box;
    EXPECT_FALSE(stored().checkForUpdates) << "the box's state is stored by OK only";
    ASSERT_EQ(alerts_.size(), 1u) << box;
    EXPECT_EQ(alerts_[0].messageText, "This copy of Moonwisp is up-to-date.");
    EXPECT_TRUE(prefs_->quantitySlider()->window()->isVisible()) << "the sheet stays open";
  }
  EXPECT_EQ(checks(), 2);
}

// A server that does not answer: the sheet is shown and takes input while
// the check runs, says so and disables Check Now; ending the sheet by any
// path cancels the check, so no alert follows and no time is recorded.
TEST_F(ConfigSheet, TheSheetStaysLiveDuringACheckAndEndingItCancelsTheCheck) {
  LoopbackHttpServer::Response silent;
  silent.neverAnswer = true;
  server_.route(kFeedPath, silent);
  const std::vector<std::function<void(moonwisp::ui::Window*)>> endings = {
      [this](moonwisp::ui::Window*) { prefs_->cancelButton()->performClick(); },
      [this](moonwisp::ui::Window*) { prefs_->okayButton()->performClick(); },
      [](moonwisp::ui::Window* sheet) { gtk_window_close(GTK_WINDOW(sheet->nativeHandle())); },
  };
  for (size_t i = 0; i < endings.size(); ++i) {
    moonwisp::ui::Window* sheet = prefs_->returnWindow();  // no check recorded: one is due
    ASSERT_NE(sheet, nullptr);
    sheet->show();
    EXPECT_TRUE(prefs_->isCheckingForUpdates()) << i;
    EXPECT_FALSE(prefs_->softwareUpToDateCheckNowButton()->isEnabled()) << i;
    EXPECT_EQ(prefs_->softwareUpToDateTextField()->stringValue(), "Checking for updates…") << i;
    // The sheet is drawn and reacts while the server keeps silent.
    bool drawn = false;
    const gulong onDraw = g_signal_connect_swapped(sheet->nativeHandle(), "draw",
                                                   G_CALLBACK(+[](bool* flag) { *flag = true; }), &drawn);
    gtk_widget_queue_draw(GTK_WIDGET(sheet->nativeHandle()));
    prefs_->quantitySlider()->setIntValue(120);
    const auto deadline = std::chrono::steady_clock::now() + seconds(10);
    while (!drawn && std::chrono::steady_clock::now() < deadline) g_main_context_iteration(nullptr, FALSE);
    g_signal_handler_disconnect(sheet->nativeHandle(), onDraw);
    EXPECT_TRUE(drawn) << i;
    EXPECT_TRUE(prefs_->isCheckingForUpdates()) << i;

    endings[i](sheet);
    moonwisp::ui::processPendingEvents();
    EXPECT_FALSE(sheet->isVisible()) << i;
    EXPECT_FALSE(prefs_->isCheckingForUpdates()) << i;
    EXPECT_TRUE(prefs_->softwareUpToDateCheckNowButton()->isEnabled()) << i;
    EXPECT_EQ(prefs_->softwareUpToDateTextField()->stringValue(), "Version: 1.0.0") << i;
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    EXPECT_TRUE(alerts_.empty()) << i;
    EXPECT_FALSE(stored().lastUpdateCheck.has_value()) << i;
    store("checkForUpdates", "true");  // OK stored the box as it was
  }
}

TEST_F(ConfigSheet, ClosingTheWindowHidesItForTheNextOpening) {
  storeLastCheck(kNow);
  moonwisp::ui::Window* sheet = open();
  prefs_->quantitySlider()->setIntValue(200);
  gtk_window_close(GTK_WINDOW(sheet->nativeHandle()));
  moonwisp::ui::processPendingEvents();
  EXPECT_FALSE(sheet->isVisible());
  ASSERT_TRUE(sheet->isAlive());
  EXPECT_EQ(stored().quantity, 77);  // closing is cancelling
  EXPECT_EQ(open(), sheet);
  EXPECT_EQ(prefs_->quantitySlider()->intValue(), 77);
}

TEST_F(ConfigSheet, AMissingInterfaceFileGivesNoSheetAndNoCrash) {
  std::remove((dir_.path() + "/configSheetNib.ui").c_str());
  VelConfigPrefs bare(*bundle_);
  bare.setPreferencesPath(dir_.preferencesPath());
  bare.loadNib();
  EXPECT_EQ(bare.quantitySlider(), nullptr);
  EXPECT_EQ(bare.returnWindow(), nullptr);
  bare.okayButtonClicked();
  bare.defaultButtonClicked();
  bare.cancelButtonClicked();
  EXPECT_EQ(dir_.preferencesText(), "");
}

}  // namespace
