#include "platform/ui/string_table.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace moonwisp::ui {
namespace {

class StringTableFile : public ::testing::Test {
 protected:
  void SetUp() override {
    gchar* dir = g_dir_make_tmp("moonwisp-strings-XXXXXX", nullptr);
    ASSERT_NE(dir, nullptr);
    dir_ = dir;
    g_free(dir);
    path_ = dir_ + "/configStrings.ini";
  }
  void TearDown() override {
    g_remove(path_.c_str());
    g_rmdir(dir_.c_str());
  }
  void write(const std::string& text) { std::ofstream(path_) << text; }
  std::string dir_;
  std::string path_;
};

TEST_F(StringTableFile, LooksUpKeysWithLocalisedVariantsAndDefaults) {
  write("[Strings]\nkOk=OK\nkOk[de]=Gut\nkOk[pt_BR]=Bom\nkOnlyGerman[de]=Nur\n");
  const StringTable table(path_);
  EXPECT_EQ(table.localizedString("kOk", "x", "C"), "OK");
  EXPECT_EQ(table.localizedString("kOk", "x", "de"), "Gut");
  EXPECT_EQ(table.localizedString("kOk", "x", "de_AT"), "Gut");
  EXPECT_EQ(table.localizedString("kOk", "x", "pt_BR"), "Bom");
  EXPECT_EQ(table.localizedString("kOk", "x", "fr"), "OK");
  EXPECT_EQ(table.localizedString("kMissing", "Default text", "de"), "Default text");
  EXPECT_EQ(table.localizedString("kOnlyGerman", "Only", "fr"), "Only");
}

TEST_F(StringTableFile, FollowsTheUsersLanguage) {
  write("[Strings]\nkOk=OK\nkOk[de]=Gut\n");
  const StringTable table(path_);
  const gchar* saved = g_getenv("LANGUAGE");
  const std::string previous = saved ? saved : "";
  g_setenv("LANGUAGE", "de", TRUE);
  EXPECT_EQ(table.localizedString("kOk", "x"), "Gut");
  g_setenv("LANGUAGE", "en", TRUE);
  EXPECT_EQ(table.localizedString("kOk", "x"), "OK");
  if (saved) {
    g_setenv("LANGUAGE", previous.c_str(), TRUE);
  } else {
    g_unsetenv("LANGUAGE");
  }
}

TEST_F(StringTableFile, AnUnreadableOrBrokenTableGivesTheDefaults) {
  EXPECT_EQ(StringTable(path_).localizedString("kOk", "fallback"), "fallback");
  write("this is [not a key file\n\x01\x02");
  EXPECT_EQ(StringTable(path_).localizedString("kOk", "fallback"), "fallback");
  write("[Other]\nkOk=wrong group\n");
  EXPECT_EQ(StringTable(path_).localizedString("kOk", "fallback"), "fallback");
}

TEST(StringTableFormat, ReplacesEveryPlaceholderAndNothingElse) {
  EXPECT_EQ(StringTable::format("Version: %@", "1.2.3"), "Version: 1.2.3");
  EXPECT_EQ(StringTable::format("%@ and %@", "a"), "a and a");
  EXPECT_EQ(StringTable::format("100% sure %d %s %", "x"), "100% sure %d %s %");
  EXPECT_EQ(StringTable::format("no placeholder", "x"), "no placeholder");
  EXPECT_EQ(StringTable::format("%@", "%@%s"), "%@%s");  // the argument is not formatted again
}

TEST(StringTableResource, TheShippedTableHasEveryTextOfTheUpdateCheck) {
  const StringTable table(std::string(MOONWISP_BINARY_DIR) + "/share/moonwisp/configStrings.ini");
  const char* keys[] = {"kUpdateAvailableDownloadButton", "kUpdateAvailableDetailsButton",
                        "kUpdateAvailableCancelButton",   "kUpdateAvailableMessageText",
                        "kUpdateNotAvailableOkayButton",  "kUpdateNotAvailableMessageText",
                        "kUpdateCheckFailedMessageText",  "kVersionString"};
  for (const char* key : keys) {
    EXPECT_NE(table.localizedString(key, "<missing>", "C"), "<missing>") << key;
    EXPECT_NE(table.localizedString(key, "<missing>", "de"), "<missing>") << key;
  }
  EXPECT_EQ(table.localizedString("kUpdateNotAvailableMessageText", "", "C"), "This copy of Moonwisp is up-to-date.");
  EXPECT_EQ(table.localizedString("kUpdateAvailableDownloadButton", "", "de"), "Herunterladen");
}

}  // namespace
}  // namespace moonwisp::ui
