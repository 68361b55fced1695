// The options sheet with its real widgets under X, built from the build's
// interface file, and its update check against a real HTTP server on
// loopback. Alerts and browser launches are recorded instead of shown.
#include "prefs/sheet/VelConfigPrefs.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <tuple>

#include "platform/core/bundle.h"
#include "platform/ui/toolkit.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/update/VelVersionString.h"
#include "support/loopback_http_server.h"
#include "support/process.h"
#include "support/stalled_lookup.h"

namespace {

using namespace moonwisp;
using namespace moonwisp::test;
using std::chrono::seconds;

constexpr const char* kFeed = "/updates/products/moonwisp/update.xml";
const VelDate kNow{seconds(1796126400)};  // 2026-12-01 12:00:00 UTC
const std::string kGroup = "[org.moonwisp.Moonwisp]\n";
const std::string kUpToDate = "This copy of Moonwisp is up-to-date.";

std::string entry(const std::string& version, const std::string& more = " downloadURL='https://e.org/get'") {
  return "<update version=\"" + version + "\"" + more + "/>";
}
std::string feed(const std::string& entries) { return "<updates>" + entries + "</updates>"; }
std::string offer(const std::string& version) {
  return "A new version (" + version + ") of Moonwisp is now available for download.";
}
LoopbackHttpServer::Response reply(int status, std::string body, std::vector<std::string> headers = {}) {
  return {status, std::move(body), std::move(headers), true, false};
}

// A private bundle with the build's interface file and texts and the installed
// version the test wants, the controller on it, and the loopback server.
class UpdateCheck : public ::testing::Test {
 protected:
  void SetUp() override { install("1.0.0"); }
  void install(const std::string& version) {
    prefs.reset();
    for (const std::string name : {"configSheetNib.ui", "configStrings.ini"}) {
      writeFile(folder / name, readFile(MOONWISP_BINARY_DIR "/share/moonwisp/" + name));
    }
    writeFile(folder / "Info.ini", "[Bundle]\nCFBundleVersion=" + version + "\n");
    bundle = std::make_unique<moonwisp::Bundle>(folder.path());
    prefs = std::make_unique<VelConfigPrefs>(*bundle);
    prefs->setPreferencesPath(folder / "preferences.ini");
    prefs->setFeedSource({server.url(kFeed), true});
    prefs->setClock([this] { return now; });
    prefs->setAlertRunner([this](const moonwisp::ui::Alert& alert) {
      told.push_back(alert);
      return answer;
    });
    prefs->setAddressOpener([this](const std::string& address) { opened.push_back(address); });
  }
  // Runs a check to its end, or lets a running one come to its end.
  void check(bool interactive) {
    prefs->checkUpdates(interactive);
    finish();
  }
  void finish() {
    while (prefs->isCheckingForUpdates()) moonwisp::ui::waitForMainLoopEvent();
  }
  static void drain() {
    while (g_main_context_iteration(nullptr, FALSE)) continue;
  }
  int fetches() const { return server.requestCount(kFeed); }
  VelPrefs stored() const {
    VelPrefs p{};
    VelPreferenceHandler(folder / "preferences.ini").getVelPrefs(&p);
    return p;
  }

  TestFolder folder;
  LoopbackHttpServer server;
  std::unique_ptr<moonwisp::Bundle> bundle;
  std::unique_ptr<VelConfigPrefs> prefs;
  VelDate now = kNow;
  std::vector<moonwisp::ui::Alert> told;
  std::vector<std::string> opened;
  int answer = moonwisp::ui::kAlertThirdButtonReturn;
};

// Each feed as served and the installed version: an offer is made in either
// mode; "up to date" and failures are told only when the user asked.
TEST_F(UpdateCheck, EachFeedGivesTheRightOfferOrAnswer) {
  const std::string bomb = "<!DOCTYPE updates [<!ENTITY a 'aaaaaaaaaa'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;'><!ENTITY "
                           "x SYSTEM \"file:///etc/passwd\">]>" +
                           feed(entry("9&b;", " downloadURL=\"https://e.org/&x;\""));
  const std::string failed = "Moonwisp could not check for updates: ";
  const struct {
    std::string installed;
    LoopbackHttpServer::Response served;
    std::string answer;
    int fetches = 1;
  } cases[] = {
      {"1.0", reply(200, feed(entry("0.9") + entry("1.0.1"))), offer("1.0.1")},
      {"1.2", reply(200, feed(entry("1.2.0"))), kUpToDate}, {"1.10", reply(200, feed(entry("1.9"))), kUpToDate},
      // The newest entry counts, the first of equal ones; non-versions are skipped.
      {"1.0", reply(200, feed(entry("1.9") + entry("1.10") + entry("bad") + entry(std::string(300, '9')) +
                              entry("1.10.0", " downloadURL=\"https://e.org/other\""))), offer("1.10")},
      {"1.0", reply(200, feed(entry("1.5") + entry("2.0", " detailsURL='https://e.org/notes'"))), kUpToDate},
      {"1.0", reply(200, feed(entry("2.0", " downloadURL='javascript:alert(1)'"))), kUpToDate},
      {"1.0", reply(200, feed(entry("2.0", " downloadURL='file:///etc/passwd'"))), kUpToDate},
      // Markup that the parser can repair is asked for again and read.
      {"1.0", reply(200, "<updates>" + entry("3.0") + "<oops></updates>"), offer("3.0"), 2},
      {"1.0", reply(200, "this is not a feed"), failed + "the update feed is not readable XML", 2},
      {"1.0", reply(404, ""), failed + "the update server answered with status 404"},
      {"1.0", reply(200, bomb), failed + "the update feed declares a document type, which is not accepted"},
      {"1.0", reply(200, std::string(10 << 20, ' ')), failed + "the update feed is larger than 1 MiB"},
      {"1.0", reply(302, "", {"Location: " + server.url("/elsewhere")}),
       failed + "the update server sent an address that is not https"},
      {"1.0", reply(200, "<html>Sign in</html>"), failed + "the server did not send an update feed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.installed + " / " + c.served.body.substr(0, 120));
    server.route(kFeed, c.served);
    install(c.installed);
    const int before = fetches();
    const bool isOffer = c.answer.rfind("A new", 0) == 0;
    for (const bool interactive : {false, true}) {
      told.clear();
      check(interactive);
      ASSERT_EQ(told.size(), interactive || isOffer ? 1u : 0u) << interactive;
      EXPECT_EQ(told.empty() ? c.answer : told[0].messageText, c.answer);
    }
    EXPECT_EQ(fetches() - before, 2 * c.fetches);
  }
  EXPECT_TRUE(opened.empty());
  EXPECT_FALSE(exists(folder / "preferences.ini")) << "a check stores nothing";

  // The offer's buttons in order, and what each one opens: Download the
  // download address, Details (only for a web address) the details one.
  const std::string download = " downloadURL=\"https://e.org/get\"";
  const std::vector<std::string> three = {"Download", "Details", "Cancel"}, two = {"Download", "Cancel"};
  const struct {
    std::string details;
    std::vector<std::string> buttons;
    std::vector<std::vector<std::string>> opens;  // by button
  } offers[] = {{" detailsURL='https://e.org/notes'", three, {{"https://e.org/get"}, {"https://e.org/notes"}, {}}},
                {"", two, {{"https://e.org/get"}, {}}},
                {" detailsURL='javascript:x'", two, {{"https://e.org/get"}, {}}}};
  for (const auto& o : offers) {
    server.route(kFeed, reply(200, feed(entry("2.0", download + o.details))));
    for (size_t button = 0; button < o.opens.size(); ++button) {
      SCOPED_TRACE(o.details + ", button " + std::to_string(button));
      told.clear(), opened.clear();
      answer = moonwisp::ui::kAlertFirstButtonReturn + static_cast<int>(button);
      check(false);
      ASSERT_EQ(told.size(), 1u);
      EXPECT_TRUE(told[0].buttons == o.buttons && opened == o.opens[button]) << opened.size();
    }
  }
}

// Ordered as releases are: numerically, a letter before the release itself.
TEST(VelVersionString, ComparesAsReleasesAreOrdered) {
  const std::string tooLong(300, '9');
  const std::vector<std::tuple<std::string, std::string, int>> cases = {  // -1: the first is older
      {"1.0", "1.0.1", -1}, {"0.9", "1.0", -1}, {"1.2.3b", "1.2.3", -1}, {"1.2.3a", "1.2.3b", -1}, {"1.9", "1.10", -1},
      {"-1", "0", -1}, {"1.2.3z", "1.2.4a", -1}, {"0", std::string(255, '1') + ".2", -1},
      {"2147483646", "99999999999999999999", -1}, {"99999999999999999999.1", "2147483647.1", 0},
      {"-99999999999999999999", "-2147483648", 0}, {"1.2", "1.2.0", 0}, {"1.2b3", "1.2.3", 0}, {"2b", "2", 0},
      // What is no version is older than every version.
      {tooLong, "0", -1}, {"\xff", "0", -1}, {std::string("1.2\0.3", 6), "0", -1}, {"1." + tooLong, "0", -1},
      {"1.2." + tooLong, "0", -1}, {tooLong, "\xff", 0}, {"1.2.3.4", "1.2.3", 0}, {"1.2.3B", "1.2.3", 0},
      {"1.2-7a", "1.2.7a", 0}, {"1.2.3z9", "1.2.3z", 0}, {"v2", "0.0.0", 0}, {"1..2", "1.0.2", 0},
      {"  +7x.1", "7.1", 0}};
  for (const auto& [a, b, order] : cases) {
    EXPECT_EQ(compareVelVersionStrings(a, b), order) << a << " vs " << b;
    EXPECT_EQ(compareVelVersionStrings(b, a), -order) << b << " vs " << a;
  }
}

// The sheet itself needs a display.
class ConfigSheet : public UpdateCheck {
 protected:
  void SetUp() override {
    MOONWISP_NEEDS_SERVER(moonwisp::ui::initializeToolkit(), "the sheet needs an X display");
    UpdateCheck::SetUp();
    server.route(kFeed, reply(200, feed(entry("0.5"))));
    prefs->loadNib();
    ASSERT_NE(prefs->quantitySlider(), nullptr);
  }
  moonwisp::ui::Window* open() {
    moonwisp::ui::Window* sheet = prefs->returnWindow();
    if (sheet) sheet->show();
    finish();
    moonwisp::ui::processPendingEvents();
    return sheet;
  }
  // Slider, scheme, glow, main screen only and update box as shown.
  std::vector<int> controls() const {
    return {prefs->quantitySlider()->intValue(), prefs->colorTypeSelect()->selectedTag(),
            prefs->glowCheckBox()->state(), prefs->mainScreenOnlyCheckbox()->state(),
            prefs->softwareUpToDateCheckBox()->state()};
  }
};

// A user's whole session. The sheet shows what is stored, clamped, and takes
// input while the update check runs; closing the window ends the sheet and the
// check, storing nothing. Default resets the controls but the update box;
// Check Now records the time and answers; Cancel stores nothing; OK stores all
// five settings. The same hidden window comes back each time. Its texts are
// in the user's language.
TEST_F(ConfigSheet, ShowsChangesAndStoresTheSettings) {
  g_setenv("LANGUAGE", "de", TRUE);
  server.route(kFeed, {200, "", {}, true, true});  // a server that keeps silent
  const std::string before = kGroup + "quantity=500\nparticleColor=258\nglow=256\nmainscreenonly=true\n";
  writeFile(folder / "preferences.ini", before);
  moonwisp::ui::Window* sheet = prefs->returnWindow();
  ASSERT_NE(sheet, nullptr);
  sheet->show();
  moonwisp::ui::processPendingEvents();
  EXPECT_TRUE(sheet->isVisible() && prefs->isCheckingForUpdates());
  EXPECT_FALSE(prefs->softwareUpToDateCheckNowButton()->isEnabled());
  EXPECT_EQ(prefs->softwareUpToDateTextField()->stringValue(), "Suche nach Updates…");
  EXPECT_EQ(controls(), (std::vector<int>{220, 2, 0, 1, 1}));
  for (int tag = 0; tag <= 8; ++tag) EXPECT_EQ(prefs->colorTypeSelect()->selectItemWithTag(tag), tag < 8);
  prefs->softwareUpToDateCheckBox()->setState(0);
  prefs->defaultButton()->performClick();
  EXPECT_EQ(controls(), (std::vector<int>{77, 6, 1, 0, 0}));
  gtk_window_close(GTK_WINDOW(sheet->nativeHandle()));
  moonwisp::ui::processPendingEvents();
  EXPECT_FALSE(sheet->isVisible() || prefs->isCheckingForUpdates());
  EXPECT_TRUE(prefs->softwareUpToDateCheckNowButton()->isEnabled());
  EXPECT_EQ(prefs->softwareUpToDateTextField()->stringValue(), "Version: 1.0.0");
  drain();
  EXPECT_TRUE(told.empty());
  EXPECT_EQ(readFile(folder / "preferences.ini"), before);

  server.route(kFeed, reply(200, feed(entry("0.5"))));
  EXPECT_EQ(open(), sheet);  // the check that is due runs
  EXPECT_EQ(controls(), (std::vector<int>{220, 2, 0, 1, 1}));
  now += seconds(60);
  prefs->softwareUpToDateCheckNowButton()->performClick();
  finish();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].messageText, "Dieses Moonwisp ist auf dem neuesten Stand.");
  g_unsetenv("LANGUAGE");
  EXPECT_EQ(stored().lastUpdateCheck, now);
  prefs->quantitySlider()->setIntValue(100);
  const std::string checked = readFile(folder / "preferences.ini");
  prefs->cancelButton()->performClick();
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_EQ(readFile(folder / "preferences.ini"), checked);

  EXPECT_EQ(open(), sheet);
  prefs->quantitySlider()->setIntValue(5);  // the slider holds 20 to 220
  prefs->colorTypeSelect()->selectItemWithTag(3);
  prefs->glowCheckBox()->setState(1);
  prefs->mainScreenOnlyCheckbox()->setState(0);
  prefs->softwareUpToDateCheckBox()->setState(2);  // mixed is not a yes
  prefs->okayButton()->performClick();
  EXPECT_FALSE(sheet->isVisible());
  EXPECT_EQ(open(), sheet);
  EXPECT_EQ(controls(), (std::vector<int>{20, 3, 1, 0, 0}));
  EXPECT_EQ(stored().lastUpdateCheck, now) << "OK leaves the date of the last check";
  // A scheme this version does not know stores the default one.
  prefs->colorTypeSelect()->addItemWithTag(9, "odd item");
  ASSERT_TRUE(prefs->colorTypeSelect()->selectItemWithTag(9));
  prefs->okayButton()->performClick();
  EXPECT_EQ(stored().particleColor, 6);
  EXPECT_EQ(fetches(), 3);
  // The controller may go while a check runs.
  server.route(kFeed, {200, "", {}, true, true});
  prefs->softwareUpToDateCheckNowButton()->performClick();
}

// When the sheet opens, a check runs if the box is on and more than a week
// has passed; its time is recorded even when it failed, and it says nothing.
TEST_F(ConfigSheet, TheAutomaticCheckRunsWhenMoreThanAWeekHasPassed) {
  const seconds week(604800);
  const struct {
    std::optional<VelDate> last;
    bool box;
    int status;
    bool checks;
  } cases[] = {{std::nullopt, true, 200, true}, {kNow - week, true, 200, false},
               {kNow - week - seconds(1), true, 500, true}, {kNow + week, true, 200, false},
               {std::nullopt, false, 200, false}, {kNow - 50 * week, false, 200, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    writeFile(folder / "preferences.ini", kGroup + "checkForUpdates=" + (c.box ? "1" : "0"));
    if (c.last) VelPreferenceHandler(folder / "preferences.ini").setVelLastUpdateCheckPrefs(*c.last);
    server.route(kFeed, reply(c.status, feed(entry("0.5"))));
    const int before = fetches();
    open();
    EXPECT_EQ(fetches() - before, c.checks ? 1 : 0);
    EXPECT_EQ(stored().lastUpdateCheck, c.checks ? kNow : c.last);
    EXPECT_TRUE(told.empty());
    prefs->cancelButton()->performClick();
  }
}

// With a name lookup that never ends: closing the sheet 1 s into its check
// returns at once, with no alert and nothing stored; a check left to run says
// at the connect limit that the name could not be resolved; and the settings
// program ends within 1 s of its panel closing in the middle of a check.
TEST_F(ConfigSheet, AStalledNameLookupHoldsUpNothing) {
  if (!insideStalledLookup()) {
    MOONWISP_NEEDS_SERVER(canUnshare(), "a stalled name lookup needs unshare --net --mount, which needs root");
    ChildProcess inside = startCurrentTestWithStalledLookup();
    EXPECT_TRUE(exitedWith(inside.waitFor(allowedMs(90000)), 0)) << inside.report();
    return;
  }
  std::string error;
  ASSERT_TRUE(stallNameLookups(folder.path(), &error)) << error;
  using Clock = std::chrono::steady_clock;
  const auto msTaken = [](const std::function<void()>& step) {  // how long the step took
    const Clock::time_point start = Clock::now();
    step();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  };
  const auto runMainLoopFor = [](std::chrono::milliseconds span) {
    for (const auto end = Clock::now() + span; Clock::now() < end; sleepMs(10)) drain();
  };
  prefs->setFeedSource(moonwisp::update::defaultFeedSource());

  moonwisp::ui::Window* sheet = prefs->returnWindow();  // never checked: the check is due
  ASSERT_NE(sheet, nullptr);
  sheet->show();
  ASSERT_TRUE(prefs->isCheckingForUpdates());
  runMainLoopFor(std::chrono::seconds(1));
  const double closeMs = msTaken([&] {
    gtk_window_close(GTK_WINDOW(sheet->nativeHandle()));
    moonwisp::ui::processPendingEvents();
  });
  EXPECT_LT(closeMs, allowedMs(100));
  EXPECT_FALSE(sheet->isVisible() || prefs->isCheckingForUpdates());

  const double alertMs = msTaken([&] { check(true); });
  EXPECT_TRUE(alertMs > moonwisp::update::kFeedConnectTimeoutMs * 0.9 && alertMs < allowedMs(6000)) << alertMs;
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].messageText,
            "Moonwisp could not check for updates: the update server's name could not be resolved in time");

  // The program: Options… opens the sheet and its first check; 1 s later
  // Cancel ends the sheet, then Ctrl+W the panel.
  const std::string config = folder / "config";
  const char* asan = std::getenv("ASAN_OPTIONS");
  ChildProcess program({MOONWISP_CONFIG_PATH},
                       {"XDG_CONFIG_HOME=" + config, "NO_AT_BRIDGE=1", "GDK_CORE_DEVICE_EVENTS=1",
                        "DBUS_SESSION_BUS_ADDRESS",
                        // The GL driver of the preview keeps its caches to the end.
                        "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":detect_leaks=0"});
  const auto findWindow = [&program](const std::string& title) {
    const std::string found = runChild({"xdotool", "search", "--all", "--onlyvisible", "--pid",
                                        std::to_string(program.pid()), "--name", "^" + title + "$"}).out;
    return found.substr(0, found.find('\n'));
  };
  const auto press = [](const std::string& window, const std::string& keys) {
    runChild({"xdotool", "key", "--window", window, keys});
  };
  std::string panel, options;
  waitUntil([&] { return !(panel = findWindow("Moonwisp")).empty() || !program.running(); });
  ASSERT_FALSE(panel.empty()) << program.report();
  // The key is sent again should the first come before the panel is ready
  // (and should the sheet be slow to show, the second one presses its OK).
  ASSERT_TRUE(waitUntil([&] {
    press(panel, "alt+o");
    return waitUntil([&] { return !(options = findWindow("Moonwisp Options")).empty(); }, 5000, 100);
  })) << program.report();
  sleepMs(1000);
  press(options, "alt+c");
  ASSERT_TRUE(waitUntil([&] { return findWindow("Moonwisp Options").empty(); })) << program.report();
  const std::string storedFile = config + "/org.moonwisp.Moonwisp/preferences.ini";
  const std::string storedAtClose = readFile(storedFile);
  double exitMs = 0;
  ASSERT_TRUE(waitUntil([&] {
    exitMs = msTaken([&] {
      press(panel, "ctrl+w");
      program.waitFor(allowedMs(2000));
    });
    return !program.running();
  })) << program.report();
  EXPECT_LT(exitMs, allowedMs(1000));
  EXPECT_TRUE(exitedWith(program.waitFor(0), 0)) << program.report();
  EXPECT_EQ(program.output(), "");

  // The panel goes, and the controller with it, 1 s into a check.
  prefs->checkUpdates(true);
  runMainLoopFor(std::chrono::seconds(1));
  const double destroyMs = msTaken([&] { prefs.reset(); });
  EXPECT_LT(destroyMs, allowedMs(100));
  drain();
  EXPECT_EQ(told.size(), 1u) << "no alert from a cancelled check";
  EXPECT_FALSE(exists(folder / "preferences.ini")) << readFile(folder / "preferences.ini");
  EXPECT_EQ(readFile(storedFile), storedAtClose) << "nothing stored after the sheet closed";
  std::printf("stalled lookup: sheet closed in %.1f ms, controller gone in %.1f ms, failure told after %.0f ms, "
              "program ended %.0f ms after Ctrl+W\n", closeMs, destroyMs, alertMs, exitMs);
}

}  // namespace
