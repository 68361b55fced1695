#include "prefs/VelPreferenceHandler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/files.h"
#include "platform/core/system_log.h"
#include "prefs/VelPreferenceKeys.h"

namespace {

using moonwisp::test::readFile;
using moonwisp::test::TestFolder;
using moonwisp::test::writeFile;

class VelPreferenceHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    moonwisp::setSystemLogSink([this](const std::string& line) { log.push_back(line); });
  }
  void TearDown() override { moonwisp::setSystemLogSink(nullptr); }

  std::string path() const { return folder / "org.moonwisp.Moonwisp/preferences.ini"; }

  // Stores the given lines as the preferences group of the file.
  void storeLines(const std::string& lines) {
    mkdir((folder / "org.moonwisp.Moonwisp").c_str(), 0700);
    writeFile(path(), std::string("[") + velPrefsGroup() + "]\n" + lines);
  }

  VelPrefs read() const {
    VelPrefs prefs;
    VelPreferenceHandler(path()).getVelPrefs(&prefs);
    return prefs;
  }

  TestFolder folder;
  std::vector<std::string> log;
};

// Every value of a record that a read returns lies in its range.
void expectInRange(const VelPrefs& p) {
  EXPECT_GE(p.quantity, 20);
  EXPECT_LE(p.quantity, 220);
  EXPECT_EQ(p.particleSize, 4.0f);
  EXPECT_EQ(p.particleSpeed, 10.0f);
  EXPECT_GE(p.particleColor, 0);
  EXPECT_LE(p.particleColor, 7);
  EXPECT_EQ(p.particleType, 4);
  EXPECT_TRUE(p.glow == 0 || p.glow == 1);
}

void expectDefaults(const VelPrefs& p) {
  EXPECT_EQ(p.quantity, 77);
  EXPECT_EQ(p.particleSize, 4.0f);
  EXPECT_EQ(p.particleSpeed, 10.0f);
  EXPECT_EQ(p.particleColor, 6);
  EXPECT_EQ(p.particleType, 4);
  EXPECT_EQ(p.glow, 1);
  EXPECT_FALSE(p.mainscreenonly);
  EXPECT_TRUE(p.checkForUpdates);
  EXPECT_FALSE(p.lastUpdateCheck.has_value());
}

TEST_F(VelPreferenceHandlerTest, WithNoStoredPreferencesAReadYieldsTheDefaults) {
  expectDefaults(read());
  // The read created nothing.
  EXPECT_TRUE(folder.list().empty());
  // An empty file, a file without the group and a group without keys alike.
  storeLines("");
  expectDefaults(read());
  writeFile(path(), "[some.other.App]\nquantity=100\n");
  expectDefaults(read());
  EXPECT_TRUE(log.empty());
}

TEST_F(VelPreferenceHandlerTest, QuantityIsClampedTo20Through220) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"5", 20},          {"19", 20},          {"20", 20},   {"21", 21},
      {"77", 77},         {"219", 219},        {"220", 220}, {"221", 220},
      {"500", 220},       {"5000000000", 220}, {"-1", 20},   {"-5000000000", 20},
      {"9223372036854775807", 220},            {"-9223372036854775808", 20}};
  for (const auto& [stored, expected] : cases) {
    storeLines("quantity=" + stored + "\n");
    EXPECT_EQ(read().quantity, expected) << "stored " << stored;
  }
}

TEST_F(VelPreferenceHandlerTest, ParticleColorKeepsItsLowByteAndFallsBackTo6AboveSeven) {
  const std::vector<std::pair<std::string, int8_t>> cases = {
      {"0", 0},   {"5", 5},   {"7", 7},   {"8", 6},          {"9", 6},   {"127", 6},  {"255", 6},
      {"256", 0}, {"258", 2}, {"263", 7}, {"264", 6},        {"-1", 6},  {"-256", 0}, {"-254", 2},
      {"4294967298", 2},                  {"-9223372036854775808", 0}};
  for (const auto& [stored, expected] : cases) {
    storeLines("particleColor=" + stored + "\n");
    EXPECT_EQ(read().particleColor, expected) << "stored " << stored;
  }
}

TEST_F(VelPreferenceHandlerTest, GlowIsOnForANonzeroLowByte) {
  const std::vector<std::pair<std::string, int8_t>> cases = {
      {"0", 0}, {"1", 1}, {"5", 1}, {"255", 1}, {"256", 0}, {"257", 1}, {"512", 0}, {"-1", 1}, {"-256", 0}};
  for (const auto& [stored, expected] : cases) {
    storeLines("glow=" + stored + "\n");
    EXPECT_EQ(read().glow, expected) << "stored " << stored;
  }
}

TEST_F(VelPreferenceHandlerTest, IntegerKeysWhoseTextIsNoIntegerTakeTheirDefaults) {
  for (const std::string bad : {"abc", "", "12abc", "1.5", "0x10", " ", "1e3", "9223372036854775808",
                                "-9223372036854775809", "99999999999999999999999999", "\xff\xfe"}) {
    storeLines("quantity=" + bad + "\nparticleColor=" + bad + "\nglow=" + bad + "\n");
    const VelPrefs p = read();
    EXPECT_EQ(p.quantity, 77) << "stored " << bad;
    EXPECT_EQ(p.particleColor, 6) << "stored " << bad;
    EXPECT_EQ(p.glow, 1) << "stored " << bad;
  }
}

TEST_F(VelPreferenceHandlerTest, BooleansReadTrueFalseOneAndZero) {
  const std::vector<std::tuple<std::string, bool, bool>> cases = {
      {"true", true, true},     {"false", false, false}, {"1", true, true},   {"0", false, false},
      {"yes", false, true},     {"TRUE", false, true},   {"2", false, true},  {"", false, true},
  };
  for (const auto& [stored, mainscreenonly, checkForUpdates] : cases) {
    storeLines("mainscreenonly=" + stored + "\ncheckForUpdates=" + stored + "\n");
    const VelPrefs p = read();
    EXPECT_EQ(p.mainscreenonly, mainscreenonly) << "stored " << stored;
    EXPECT_EQ(p.checkForUpdates, checkForUpdates) << "stored " << stored;
  }
}

TEST_F(VelPreferenceHandlerTest, LastUpdateCheckIsADateOrNull) {
  storeLines("lastUpdateCheck=2026-12-06T07:52:41.123456Z\n");
  ASSERT_TRUE(read().lastUpdateCheck.has_value());
  EXPECT_EQ(read().lastUpdateCheck->time_since_epoch().count(), 1796543561123456);
  for (const std::string bad : {"", "yesterday", "2026-12-06", "2026-13-06T07:52:41Z", "1796543561", "\xff"}) {
    storeLines("lastUpdateCheck=" + bad + "\n");
    EXPECT_FALSE(read().lastUpdateCheck.has_value()) << "stored " << bad;
  }
}

TEST_F(VelPreferenceHandlerTest, AWrittenRecordReadsBackWithTheConstantsRestored) {
  VelPrefs written{150, 1.0f, 2.0f, 3, 0, 0, true, false, std::nullopt};
  VelPreferenceHandler(path()).setVelPrefs(&written);
  VelPrefs p = read();
  EXPECT_EQ(p.quantity, 150);
  EXPECT_EQ(p.particleSize, 4.0f);
  EXPECT_EQ(p.particleSpeed, 10.0f);
  EXPECT_EQ(p.particleColor, 3);
  EXPECT_EQ(p.particleType, 4);
  EXPECT_EQ(p.glow, 0);
  EXPECT_TRUE(p.mainscreenonly);
  EXPECT_FALSE(p.checkForUpdates);

  // The write stores what it is given; the read applies the ranges.
  written = {500, 0, 0, -1, 9, 5, false, true, std::nullopt};
  VelPreferenceHandler(path()).setVelPrefs(&written);
  EXPECT_EQ(readFile(path()), std::string("[") + velPrefsGroup() +
                                  "]\nquantity=500\nparticleColor=-1\nglow=5\nmainscreenonly=false\n"
                                  "checkForUpdates=true\n");
  p = read();
  EXPECT_EQ(p.quantity, 220);
  EXPECT_EQ(p.particleColor, 6);
  EXPECT_EQ(p.glow, 1);
  EXPECT_FALSE(p.mainscreenonly);
  EXPECT_TRUE(p.checkForUpdates);
  EXPECT_EQ(p.particleType, 4);
  EXPECT_TRUE(log.empty());
}

TEST_F(VelPreferenceHandlerTest, TheRecordAndTheUpdateCheckDateAreWrittenSeparately) {
  const VelDate checked{std::chrono::microseconds(1796543561123456)};
  VelPreferenceHandler(path()).setVelLastUpdateCheckPrefs(checked);
  VelPrefs record{30, 4, 10, 1, 4, 0, true, true, std::nullopt};
  VelPreferenceHandler(path()).setVelPrefs(&record);  // does not touch the date
  VelPrefs p = read();
  EXPECT_EQ(p.lastUpdateCheck, checked);
  EXPECT_EQ(p.quantity, 30);
  EXPECT_NE(readFile(path()).find("lastUpdateCheck=2026-12-06T07:52:41.123456Z\n"), std::string::npos);

  // Before 1970, and microsecond precision both ways.
  const VelDate early{std::chrono::microseconds(-1)};
  VelPreferenceHandler(path()).setVelLastUpdateCheckPrefs(early);
  EXPECT_EQ(read().lastUpdateCheck, early);
  EXPECT_EQ(read().quantity, 30);
}

TEST_F(VelPreferenceHandlerTest, ADateTheFileCannotHoldIsNotWritten) {
  VelPreferenceHandler(path()).setVelLastUpdateCheckPrefs(VelDate{std::chrono::microseconds(1796543561123456)});
  const std::string before = readFile(path());
  VelPreferenceHandler(path()).setVelLastUpdateCheckPrefs(VelDate{std::chrono::hours(24 * 366 * 9000)});
  EXPECT_EQ(readFile(path()), before);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find(path()), std::string::npos);
}

TEST_F(VelPreferenceHandlerTest, WritesKeepKeysThisVersionDoesNotKnow) {
  storeLines("# chosen by hand\nquantity=100\nwingStyle=lace\n");
  writeFile(path(), readFile(path()) + "\n[elsewhere]\nkey=value\n");
  VelPrefs record{40, 4, 10, 2, 4, 1, false, true, std::nullopt};
  VelPreferenceHandler(path()).setVelPrefs(&record);
  const std::string text = readFile(path());
  EXPECT_NE(text.find("# chosen by hand\nquantity=40\n"), std::string::npos) << text;
  EXPECT_NE(text.find("wingStyle=lace\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[elsewhere]\nkey=value\n"), std::string::npos) << text;
}

TEST_F(VelPreferenceHandlerTest, AFailedWriteLeavesThePreviousValues) {
  VelPrefs record{40, 4, 10, 2, 4, 1, false, true, std::nullopt};
  VelPreferenceHandler(path()).setVelPrefs(&record);
  // The folder of the file turns into a file: nothing can be written there.
  const std::string other = folder / "blocked/preferences.ini";
  writeFile(folder / "blocked", "");
  record.quantity = 50;
  VelPreferenceHandler(other).setVelPrefs(&record);
  VelPreferenceHandler(other).setVelLastUpdateCheckPrefs(VelDate{});
  EXPECT_EQ(log.size(), 2u);
  VelPrefs p;
  VelPreferenceHandler(other).getVelPrefs(&p);
  expectDefaults(p);
  EXPECT_EQ(read().quantity, 40);
}

// Files that are broken by accident or on purpose: every read yields a
// complete record in range, and a later write keeps what it cannot read.
TEST_F(VelPreferenceHandlerTest, HostileFilesReadAsValidRecords) {
  const std::string group = std::string("[") + velPrefsGroup() + "]\n";
  std::string binary(4096, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 7919 + 13) % 256);
  struct Hostile {
    const char* name;
    std::string content;
    bool readable;  // as a key file; else a write keeps it aside
  };
  const std::vector<Hostile> files = {
      {"binary garbage", binary, false},
      {"invalid UTF-8", group + "quantity=\xc3\x28\nlastUpdateCheck=\xed\xa0\x80\n[\xff\xfe]\nx=\xf8\n", true},
      {"huge file", group + "quantity=100\n#" + std::string(1024 * 1024, 'x') + "\n", false},
      {"repeated keys", group + "quantity=30\nquantity=40\nquantity=abc\nglow=0\nglow=1\nglow=0\n", true},
      {"repeated groups", group + "quantity=30\n[x]\ny=1\n" + group + "glow=0\n" + group + "quantity=31\n", true},
      {"long values", group + "quantity=" + std::string(100000, '9') + "\nparticleColor=" +
                          std::string(100000, '1') + "\nlastUpdateCheck=" + std::string(100000, '2') + "\n",
       true},
      {"long key and group", "[" + std::string(100000, 'g') + "]\n" + std::string(100000, 'k') + "=1\n", true},
      {"NUL in a value", group + std::string("quantity=3\0" "00\n", 14), false},
      {"no group", "quantity=100\n", false},
      {"CR line ends", group + "quantity=100\r\nglow=0\r\n", true},
      {"escapes", group + "lastUpdateCheck=2026-12-06T07:52:41\\s.0Z\\\nquantity=\\\n", true},
  };
  for (const Hostile& file : files) {
    SCOPED_TRACE(file.name);
    storeLines("");
    writeFile(path(), file.content);
    expectInRange(read());
    // A write succeeds; whatever it could not read is kept aside.
    VelPrefs record{60, 4, 10, 1, 4, 0, true, false, std::nullopt};
    VelPreferenceHandler(path()).setVelPrefs(&record);
    const VelPrefs p = read();
    EXPECT_EQ(p.quantity, 60);
    EXPECT_EQ(p.particleColor, 1);
    std::vector<std::string> kept;
    for (const std::string& entry : folder.list("org.moonwisp.Moonwisp")) {
      if (entry.find(".broken-") != std::string::npos) kept.push_back(folder / ("org.moonwisp.Moonwisp/" + entry));
    }
    if (file.readable) {
      EXPECT_TRUE(kept.empty());
    } else {
      ASSERT_EQ(kept.size(), 1u);
      EXPECT_EQ(readFile(kept[0]), file.content);
    }
    TestFolder::removeTree(folder / "org.moonwisp.Moonwisp");
  }
  expectDefaults(read());
}

TEST_F(VelPreferenceHandlerTest, AFolderOrADanglingLinkInPlaceOfTheFileReadsAsDefaults) {
  mkdir((folder / "org.moonwisp.Moonwisp").c_str(), 0700);
  mkdir(path().c_str(), 0700);
  expectDefaults(read());
  EXPECT_EQ(log.size(), 1u);
  rmdir(path().c_str());
  symlink("/nonexistent/preferences.ini", path().c_str());
  expectDefaults(read());
}

}  // namespace
