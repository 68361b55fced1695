// The update check against a real HTTP server on the loopback interface, with
// the alert and the browser launch recorded instead of shown.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_http_server.h"
#include "platform/core/bundle.h"
#include "platform/ui/toolkit.h"
#include "prefs/VelConfigPrefs.h"
#include "sheet_test_bundle.h"

namespace {

using moonwisp::test::LoopbackHttpServer;
using moonwisp::ui::Alert;

constexpr const char* kFeedPath = "/updates/products/moonwisp/update.xml";
constexpr const char* kUpToDate = "This copy of Moonwisp is up-to-date.";

std::string entry(const std::string& version, const std::string& download = "",
                  const std::string& details = "") {
  std::string e = "<update version=\"" + version + "\"";
  if (!download.empty()) e += " downloadURL=\"" + download + "\"";
  if (!details.empty()) e += " detailsURL=\"" + details + "\"";
  return e + "/>";
}

std::string feed(const std::vector<std::string>& entries) {
  std::string body = "<?xml version=\"1.0\"?>\n<updates>";
  for (const auto& e : entries) body += e;
  return body + "</updates>\n";
}

class UpdateCheck : public ::testing::Test {
 protected:
  // A controller whose bundle says installedVersion, reading the feed at path.
  void install(const std::string& installedVersion, const std::string& path = kFeedPath) {
    alerts_.clear();
    opened_.clear();
    prefs_.reset();
    bundle_.reset();
    bundleDir_ = std::make_unique<moonwisp::test::SheetTestBundle>(installedVersion);
    bundle_ = std::make_unique<moonwisp::Bundle>(bundleDir_->path());
    prefs_ = std::make_unique<VelConfigPrefs>(*bundle_);
    prefs_->setPreferencesPath(bundleDir_->preferencesPath());
    prefs_->setFeedSource({server_.url(path), true});
    prefs_->setAlertRunner([this](const Alert& alert) {
      alerts_.push_back(alert);
      return answer_;
    });
    prefs_->setAddressOpener([this](const std::string& address) { opened_.push_back(address); });
  }
  // Runs a check to its end on this thread's main loop.
  void check(bool interactive) {
    prefs_->checkUpdates(interactive);
    while (prefs_->isCheckingForUpdates()) moonwisp::ui::waitForMainLoopEvent();
  }
  void serve(const std::string& body, const std::string& path = kFeedPath) {
    server_.route(path, {200, body, {}, true, false});
  }
  void expectUpToDateAlert() {
    ASSERT_EQ(alerts_.size(), 1u);
    EXPECT_EQ(alerts_[0].messageText, kUpToDate);
    EXPECT_EQ(alerts_[0].buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(opened_.empty());
  }
  void expectFailureAlert(const std::string& reason) {
    ASSERT_EQ(alerts_.size(), 1u);
    EXPECT_EQ(alerts_[0].messageText, "Moonwisp could not check for updates: " + reason);
    EXPECT_EQ(alerts_[0].buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(opened_.empty());
  }

  LoopbackHttpServer server_;
  std::unique_ptr<moonwisp::test::SheetTestBundle> bundleDir_;
  std::unique_ptr<moonwisp::Bundle> bundle_;
  std::unique_ptr<VelConfigPrefs> prefs_;
  std::vector<Alert> alerts_;
  std::vector<std::string> opened_;
  int answer_ = moonwisp::ui::kAlertFirstButtonReturn;
};

TEST_F(UpdateCheck, OffersTheNewestVersionAndOpensTheChosenAddress) {
  serve(feed({entry("0.9", "https://e.org/0.9"), entry("1.0.1", "https://e.org/get", "https://e.org/notes")}));
  const struct {
    int answer;
    std::vector<std::string> opened;
  } answers[] = {{1000, {"https://e.org/get"}}, {1001, {"https://e.org/notes"}}, {1002, {}}};
  for (const auto& a : answers) {
    install("1.0");
    alerts_.clear();
    opened_.clear();
    answer_ = a.answer;
    check(false);  // an offer is made in silent mode too
    ASSERT_EQ(alerts_.size(), 1u);
    EXPECT_EQ(alerts_[0].messageText, "A new version (1.0.1) of Moonwisp is now available for download.");
    EXPECT_EQ(alerts_[0].buttons, (std::vector<std::string>{"Download", "Details", "Cancel"}));
    EXPECT_EQ(opened_, a.opened) << a.answer;
  }
  // The check itself stores nothing.
  EXPECT_EQ(bundleDir_->preferencesText(), "");
}

TEST_F(UpdateCheck, WithoutDetailsTheSecondButtonCancels) {
  serve(feed({entry("2.0", "https://e.org/2.0")}));
  install("1.0");
  answer_ = moonwisp::ui::kAlertSecondButtonReturn;
  check(true);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].buttons, (std::vector<std::string>{"Download", "Cancel"}));
  EXPECT_TRUE(opened_.empty());
}

TEST_F(UpdateCheck, EqualAndOlderVersionsAreNotOffered) {
  const struct {
    const char* installed;
    const char* feedVersion;
  } current[] = {{"1.2", "1.2.0"}, {"1.2.3", "1.2.3b"}, {"2.0", "1.9"}, {"1.10", "1.9"}};
  for (const auto& c : current) {
    serve(feed({entry(c.feedVersion, "https://e.org/x")}));
    install(c.installed);
    alerts_.clear();
    check(false);
    EXPECT_TRUE(alerts_.empty()) << c.installed << " / " << c.feedVersion;
    check(true);
    expectUpToDateAlert();
  }
  serve(feed({entry("1.2.3", "https://e.org/final")}));
  install("1.2.3b");
  check(false);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_NE(alerts_[0].messageText.find("(1.2.3)"), std::string::npos);
}

TEST_F(UpdateCheck, TheBestOfSeveralEntriesAndTheFirstOfEqualOnesWins) {
  serve(feed({entry("1.9", "https://e.org/1.9"), entry("1.10", "https://e.org/first"), entry("bad"),
              entry("1.10.0", "https://e.org/second", "https://e.org/second-notes"),
              entry(std::string(300, '9'), "https://e.org/not-a-version")}));
  install("1.0");
  check(false);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].messageText, "A new version (1.10) of Moonwisp is now available for download.");
  EXPECT_EQ(alerts_[0].buttons.size(), 2u);
  EXPECT_EQ(opened_, std::vector<std::string>{"https://e.org/first"});
}

TEST_F(UpdateCheck, ANewestEntryWithoutADownloadAddressOffersNothing) {
  serve(feed({entry("1.5", "https://e.org/1.5"), entry("2.0", "", "https://e.org/notes")}));
  install("1.0");
  check(false);
  EXPECT_TRUE(alerts_.empty());
  check(true);
  expectUpToDateAlert();
}

TEST_F(UpdateCheck, OnlyWebAddressesAreOfferedOrOpened) {
  serve(feed({entry("2.0", "javascript:alert(1)", "https://e.org/notes")}), "/js.xml");
  serve(feed({entry("2.0", "file:///etc/passwd")}), "/file.xml");
  for (const char* path : {"/js.xml", "/file.xml"}) {
    install("1.0", path);
    check(true);
    expectUpToDateAlert();
  }
  serve(feed({entry("2.0", "https://e.org/get", "javascript:alert(1)")}));
  install("1.0");
  answer_ = moonwisp::ui::kAlertSecondButtonReturn;
  check(false);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].buttons, (std::vector<std::string>{"Download", "Cancel"}));
  EXPECT_TRUE(opened_.empty());
}

TEST_F(UpdateCheck, MalformedButRepairableMarkupIsReadOnTheSecondFetch) {
  serve("<updates><update version=\"3.0\" downloadURL=\"https://e.org/3\"><oops></updates>");
  install("1.0");
  check(false);
  EXPECT_EQ(server_.requestCount(kFeedPath), 2);
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_NE(alerts_[0].messageText.find("(3.0)"), std::string::npos);
}

TEST_F(UpdateCheck, FailuresAreSilentInSilentModeAndExplainedWhenAsked) {
  std::string bomb = "<!DOCTYPE updates [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">"
                     "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                     "<updates><update version=\"9&c;\" downloadURL=\"https://e.org/&x;\"/></updates>";
  serve(bomb, "/bomb.xml");
  server_.route("/huge.xml", {200, std::string(10 * 1024 * 1024, ' '), {}, true, false});
  server_.route("/to-file.xml", {302, "", {"Location: file:///etc/passwd"}, true, false});
  serve("this is not a feed", "/junk.xml");
  serve("<html><body>Sign in to the network</body></html>", "/portal.xml");
  const struct {
    std::string path;
    std::string reason;
    int requests;
  } failures[] = {
      {"/missing.xml", "the update server answered with status 404", 1},
      {"/bomb.xml", "the update feed declares a document type, which is not accepted", 1},
      {"/huge.xml", "the update feed is larger than 1 MiB", 1},
      {"/to-file.xml", "the update server sent an address that is not https", 1},
      {"/junk.xml", "the update feed is not readable XML", 2},
      {"/portal.xml", "the server did not send an update feed", 1},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.path);
    const int before = server_.requestCount(f.path);
    install("1.0", f.path);
    check(false);
    EXPECT_TRUE(alerts_.empty());
    check(true);
    expectFailureAlert(f.reason);
    EXPECT_EQ(server_.requestCount(f.path) - before, 2 * f.requests);
    alerts_.clear();
  }
  EXPECT_TRUE(opened_.empty());
}

TEST_F(UpdateCheck, ARefusedConnectionIsAFailure) {
  install("1.0");
  const int port = moonwisp::test::unusedLoopbackPort();
  prefs_->setFeedSource({"http://127.0.0.1:" + std::to_string(port) + kFeedPath, true});
  check(false);
  EXPECT_TRUE(alerts_.empty());
  check(true);
  expectFailureAlert("the update server could not be reached");
}

TEST_F(UpdateCheck, AServerThatNeverAnswersIsAskedOnceAndGivenUp) {
  LoopbackHttpServer::Response silent;
  silent.neverAnswer = true;
  server_.route(kFeedPath, silent);
  install("1.0");
  const auto start = std::chrono::steady_clock::now();
  check(true);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 20.0);
  EXPECT_EQ(server_.requestCount(kFeedPath), 1);
  expectFailureAlert("the update server did not answer in time");
}

// The fetch runs on a worker thread: the caller's loop goes on at once, and a
// cancelled check ends its thread promptly, long before the transfer's limits,
// with no alert and no completion afterwards.
TEST_F(UpdateCheck, ACheckRunsInTheBackgroundAndCancellingEndsItAtOnce) {
  LoopbackHttpServer::Response silent;
  silent.neverAnswer = true;
  server_.route(kFeedPath, silent);
  for (const bool destroy : {false, true}) {
    install("1.0");
    bool finished = false;
    prefs_->checkUpdates(true, [&finished] { finished = true; });
    EXPECT_TRUE(prefs_->isCheckingForUpdates());
    // Wait until the request is on the wire, so that the cancel must wake it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (server_.requestCount(kFeedPath) < (destroy ? 2 : 1) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto start = std::chrono::steady_clock::now();
    if (destroy) {
      prefs_.reset();  // the controller goes with the check still running
    } else {
      prefs_->cancelUpdateCheck();
      EXPECT_FALSE(prefs_->isCheckingForUpdates());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 5.0) << "the cancel waited for the transfer's own limits";
    // Whatever the main loop still holds hands nothing back.
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    EXPECT_FALSE(finished);
    EXPECT_TRUE(alerts_.empty());
  }
}

TEST_F(UpdateCheck, TextsFollowTheUsersLanguage) {
  serve(feed({entry("2.0", "https://e.org/2.0")}));
  const gchar* saved = g_getenv("LANGUAGE");
  const std::string previous = saved ? saved : "";
  g_setenv("LANGUAGE", "de", TRUE);
  install("1.0");
  check(true);
  if (saved) {
    g_setenv("LANGUAGE", previous.c_str(), TRUE);
  } else {
    g_unsetenv("LANGUAGE");
  }
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].messageText, "Eine neue Version (2.0) von Moonwisp kann jetzt geladen werden.");
  EXPECT_EQ(alerts_[0].buttons, (std::vector<std::string>{"Herunterladen", "Abbrechen"}));
}

TEST_F(UpdateCheck, TextsComeFromTheStringTableOrTheirDefaults) {
  serve(feed({entry("2.0", "https://e.org/2.0", "https://e.org/n")}));
  install("1.0");
  // A bundle without a string table still speaks, in the default texts.
  std::remove((bundleDir_->path() + "/configStrings.ini").c_str());
  VelConfigPrefs bare(*bundle_);
  bare.setFeedSource({server_.url(kFeedPath), true});
  bare.setAlertRunner([this](const Alert& alert) {
    alerts_.push_back(alert);
    return 1002;
  });
  bare.checkUpdates(true);
  while (bare.isCheckingForUpdates()) moonwisp::ui::waitForMainLoopEvent();
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].messageText, "A new version (2.0) of Moonwisp is now available for download.");
  EXPECT_EQ(alerts_[0].buttons, (std::vector<std::string>{"Download", "Details", "Cancel"}));
}

}  // namespace
