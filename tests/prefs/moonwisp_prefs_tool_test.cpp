// The settings file as the saver, its tools and several processes at once see
// it. Through the moonwisp-prefs tool, run as users and scripts run it: whatever
// the file holds, read prints a complete record in range; writes store what
// they are given and lose nothing. Between processes: writers that run at once
// lose nothing, and a writer killed at any moment leaves the old or the new file.
#include <gtest/gtest.h>

#include <random>

#include "platform/keyfile/key_file_store.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/VelPreferenceKeys.h"
#include "support/process.h"

namespace {

using namespace moonwisp::test;
using moonwisp::readKeyFile;
using moonwisp::velPrefsGroup;
using Fields = std::vector<std::pair<std::string, std::string>>;

const Fields kDefaults = {{"quantity", "77"},      {"particleSize", "4"},       {"particleSpeed", "10"},
                          {"particleColor", "6"}, {"particleType", "4"},       {"glow", "1"},
                          {"mainscreenonly", "false"}, {"checkForUpdates", "true"}, {"lastUpdateCheck", "null"}};
const std::string kGroup = "[org.moonwisp.Moonwisp]\n";

// What read prints: the defaults but for the fields given.
std::string record(const Fields& changed = {}) {
  std::string text;
  for (auto [key, value] : kDefaults) {
    for (const auto& field : changed) value = field.first == key ? field.second : value;
    text += key + " " + value + "\n";
  }
  return text;
}

class MoonwispPrefsTool : public ::testing::Test {
 protected:
  // Runs the tool with the test's folder as the user's config folder, or
  // without XDG_CONFIG_HOME.
  ChildResult tool(std::vector<std::string> args, bool xdg = true) const {
    args.insert(args.begin(), MOONWISP_PREFS_PATH);
    const std::string config = xdg ? "XDG_CONFIG_HOME=" + (folder / "config") : "XDG_CONFIG_HOME";
    return runChild(args, {config, "HOME=" + (folder / "home")});
  }
  std::string file() const { return folder / "config/org.moonwisp.Moonwisp/preferences.ini"; }

  TestFolder folder;
  const std::string ini = folder / "p.ini";  // a file named on the command line
};
using VelPreferenceProcesses = MoonwispPrefsTool;

// Each stored text of one key and what the saver makes of it.
TEST_F(MoonwispPrefsTool, ReadShowsEachStoredTextInRangeOrAsTheDefault) {
  const std::string never = "null", t = "2026-12-06T07:52:41";
  const std::vector<std::pair<std::string, Fields>> cases = {
      {"quantity", {{"5", "20"}, {"20", "20"}, {"220", "220"}, {"221", "220"}, {"-1", "20"}, {"5000000000", "220"},
                    {"-9223372036854775808", "20"}, {"9223372036854775808", "77"}, {std::string(100000, '9'), "77"},
                    {"0x10", "77"}, {"12abc", "77"}, {"", "77"}}},
      // The colour and glow fields are one byte: the low byte of the number counts.
      {"particleColor",
       {{"7", "7"}, {"8", "6"}, {"258", "2"}, {"-254", "2"}, {"-1", "6"}, {"4294967298", "2"}, {"1e3", "6"}}},
      {"glow", {{"0", "0"}, {"5", "1"}, {"256", "0"}, {"-1", "1"}, {" ", "1"}}},
      {"mainscreenonly", {{"true", "true"}, {"1", "true"}, {"yes", "false"}, {"TRUE", "false"}}},
      {"checkForUpdates", {{"0", "false"}, {"2", "true"}}},
      // Dates with a zone, shown in UTC to the microsecond; anything else is "never checked".
      {"lastUpdateCheck",
       {{t + ".123456Z", t + ".123456Z"}, {"2026-12-06t07:52:41,5z", t + ".500000Z"},
        {t + ".123456789Z", t + ".123456Z"}, {"2026-12-06T02:22:41-0530", t + ".000000Z"},
        {"2026-12-06T09:52:41+02", t + ".000000Z"}, {"1969-12-31T23:59:59.999999Z", "1969-12-31T23:59:59.999999Z"},
        {"2000-02-29T00:00:00Z", "2000-02-29T00:00:00.000000Z"},
        {"0000-01-01T01:00:00+01:00", "0000-01-01T00:00:00.000000Z"},
        {"9999-12-31T23:59:59.999999Z", "9999-12-31T23:59:59.999999Z"}, {t, never}, {"2026-12-06 07:52:41Z", never},
        {"2026-13-06T07:52:41Z", never}, {"2026-02-29T07:52:41Z", never}, {"2026-04-31T07:52:41Z", never},
        {"2026-12-06T24:00:00Z", never}, {"2026-12-06T07:52:60Z", never}, {t + ".Z", never}, {t + "+24:00", never},
        {t + "ZZ", never}, {t + ".1234567890Z", never}, {"0000-01-01T00:30:00+01:00", never}}},
  };
  for (const auto& [key, texts] : cases) {
    for (const auto& [stored, shown] : texts) {
      writeFile(ini, kGroup + key + "=" + stored + "\n");
      EXPECT_EQ(tool({"--file", ini, "read"}).out, record({{key, shown}})) << stored.substr(0, 40);
    }
  }
}

// Files broken by accident or on purpose: read shows a valid record, and says
// why where the file is no settings file at all; a write then succeeds and
// keeps aside what it could not read.
TEST_F(MoonwispPrefsTool, HostileFilesReadAsValidRecordsAndAreKeptAsideOnWrite) {
  std::string binary(4096, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>((i * 7919 + 13) % 256);
  const struct {
    std::string content;
    std::string shown;  // empty: unreadable, so the defaults
  } files[] = {
      {kGroup + "quantity=100\n#" + std::string(1024 * 1024, 'x') + "\n", ""},
      {kGroup + std::string("quantity=3\0" "00\n", 14), ""},
      {"quantity=100\n", ""},
      {kGroup + "quantity=\xc3\x28\nlastUpdateCheck=\xed\xa0\x80\n[\xff\xfe]\nx=\xf8\n", record()},
      {kGroup + "quantity=30\nquantity=40\nquantity=abc\nglow=0\nglow=1\nglow=0\n", record({{"glow", "0"}})},
      {kGroup + "quantity=30\n[x]\ny=1\n" + kGroup + "glow=0\n" + kGroup + "quantity=31\n",
       record({{"quantity", "31"}, {"glow", "0"}})},
      {kGroup + "lastUpdateCheck=2026-12-06T07:52:41\\s.0Z\\\nquantity=\\\n", record()},
      {binary, ""},
  };
  for (const auto& file : files) {
    SCOPED_TRACE(file.content.substr(0, 40));
    writeFile(ini, file.content);
    const ChildResult read = tool({"--file", ini, "read"});
    EXPECT_EQ(read.out, file.shown.empty() ? record() : file.shown);
    EXPECT_EQ(read.err.find(ini) != std::string::npos, file.shown.empty()) << read.err;
  }
  ASSERT_EQ(tool({"--file", ini, "write", "particleColor", "1"}).status, 0);
  EXPECT_EQ(tool({"--file", ini, "read"}).out, record({{"particleColor", "1"}}));
  const std::vector<std::string> names = folder.list();  // sorted: the file, its copy, its lock
  ASSERT_EQ(names.size(), 3u);
  EXPECT_TRUE(names[1].rfind("p.ini.broken-", 0) == 0 && readFile(folder / names[1]) == binary) << names[1];
}

// Writes store each value as given, with its type, in a private folder, next
// to what this version does not know; delete brings back the default.
TEST_F(MoonwispPrefsTool, WritesStoreWhatTheyAreGivenAndRefuseBadUsage) {
  EXPECT_EQ(tool({"path"}).out, file() + "\n");
  EXPECT_EQ(tool({"path"}, false).out, folder / "home/.config/org.moonwisp.Moonwisp/preferences.ini\n");
  EXPECT_EQ(tool({"read"}).out, record());
  EXPECT_FALSE(exists(folder / "config")) << "reading creates nothing";
  ASSERT_EQ(tool({"write", "quantity", "1"}).status, 0);
  EXPECT_EQ(modeOf(folder / "config/org.moonwisp.Moonwisp"), 0700u);
  EXPECT_EQ(modeOf(file()), 0600u);
  writeFile(file(), kGroup + "# chosen by hand\nquantity=1\nwingStyle=lace\n[elsewhere]\nkey=value\n");
  const Fields written = {{"quantity", "5000000000"}, {"particleColor", "258"}, {"glow", "256"},
                          {"mainscreenonly", "true"}, {"checkForUpdates", "0"},
                          {"lastUpdateCheck", "2026-12-06T08:52:41.123456+01:00"}};
  for (const auto& [key, value] : written) {
    const ChildResult result = tool({"write", key, value});
    EXPECT_TRUE(result.status == 0 && result.err + result.out == "") << key << result.err;
  }
  const std::string text = readFile(file());
  for (const char* part : {"# chosen by hand\nquantity=5000000000\nwingStyle=lace\n", "particleColor=258\n",
                           "glow=256\n", "mainscreenonly=true\n", "checkForUpdates=false\n",
                           "lastUpdateCheck=2026-12-06T07:52:41.123456Z\n", "[elsewhere]\nkey=value\n"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
  }
  for (int i = 0; i < 2; ++i) EXPECT_EQ(tool({"delete", "quantity"}).status, 0);
  EXPECT_EQ(readFile(file()).find("quantity"), std::string::npos);
  // Deleting from no file at all creates none (checked below).
  EXPECT_EQ(tool({"--file", folder / "none/p.ini", "delete", "glow"}).status, 0);

  // Bad usage is refused and changes nothing; failures are explained.
  const std::string before = readFile(file());
  const std::vector<std::vector<std::string>> refused = {
      {"write", "speed", "1"}, {"write", "particleSize", "4"}, {"write", "Quantity", "1"}, {"delete", "nothing"},
      {"write", "quantity", "1.5"}, {"write", "quantity", ""}, {"write", "quantity", " 7"}, {"write", "glow", "on"},
      {"write", "quantity", "9223372036854775808"}, {"write", "mainscreenonly", "yes"}, {"write", "quantity"}, {},
      {"write", "lastUpdateCheck", "2026-12-06T07:52:41"}, {"write", "lastUpdateCheck", "2026-02-30T00:00:00Z"},
      {"frobnicate"}, {"read", "extra"}, {"--file", folder / "none/p.ini", "write", "glow", "on"}};
  for (const std::vector<std::string>& args : refused) {
    const ChildResult result = tool(args);
    EXPECT_TRUE(result.status == 2 && !result.err.empty() && result.out.empty()) << ::testing::PrintToString(args);
    EXPECT_EQ(readFile(file()), before);
  }
  EXPECT_FALSE(exists(folder / "none"));
  // The folder of the file is a file, or the file is a folder.
  writeFile(folder / "blocked", "");
  const ChildResult failed = tool({"--file", folder / "blocked/p.ini", "write", "quantity", "100"});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("cannot write " + (folder / "blocked/p.ini")), std::string::npos) << failed.err;
  EXPECT_NE(failed.err.find("Not a directory"), std::string::npos) << failed.err;
  const ChildResult folderRead = tool({"--file", folder.path(), "read"});
  EXPECT_EQ(folderRead.out, record());
  EXPECT_NE(folderRead.err.find("it is a folder"), std::string::npos) << folderRead.err;
}

// Whether the file reads as a whole one: the line the test put there is still in it.
bool whole(const moonwisp::KeyFileSnapshot& now) {
  return now.state == moonwisp::KeyFileState::Loaded && now.file.string(velPrefsGroup(), "sentinel") == "on";
}

// Each writer checks after each of its writes that the file reads as a whole
// and holds its value.
TEST_F(VelPreferenceProcesses, TwoWritersOfDifferentKeysLoseNothing) {
  writeFile(ini, kGroup + "sentinel=on\n");
  ChildProcess a({PREFS_TEST_WRITER_PATH, "key", ini, "quantity", "400"}),
      b({PREFS_TEST_WRITER_PATH, "key", ini, "particleColor", "400"});
  for (ChildProcess* writer : {&a, &b})  // 3: a write failed, 4: a read did not parse, 5: its own value was lost
    EXPECT_TRUE(exitedWith(writer->waitFor(600000), 0)) << writer->report();
  const moonwisp::KeyFileSnapshot last = readKeyFile(ini);
  EXPECT_TRUE(whole(last) && last.file.integer(velPrefsGroup(), "quantity") == 400 &&
              last.file.integer(velPrefsGroup(), "particleColor") == 400) << last.reason;
}

TEST_F(VelPreferenceProcesses, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewFile) {
  writeFile(ini, kGroup + "sentinel=on\n");
  const char* group = velPrefsGroup();
  std::mt19937 random(20261206);
  long last = 0;
  int advanced = 0;
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    ChildProcess writer({PREFS_TEST_WRITER_PATH, "records", ini, std::to_string(last + 1)});
    // Half the rounds kill it at any moment from its start on, half surely
    // while it writes: once the file has changed.
    for (int i = 0; round % 2 == 1 && i < 4000; ++i) {
      if (readKeyFile(ini).file.integer(group, "quantity").value_or(0) > last) break;
      usleep(500);
    }
    usleep(std::uniform_int_distribution<useconds_t>(0, round % 2 ? 3000 : 20000)(random));
    writer.signal(SIGKILL);
    ASSERT_TRUE(writer.waitFor(10000));
    const moonwisp::KeyFileSnapshot now = readKeyFile(ini);
    ASSERT_TRUE(whole(now)) << now.reason;
    // Every field follows from k in a whole record.
    const long k = now.file.integer(group, "quantity").value_or(0);
    ASSERT_GE(k, last);
    EXPECT_TRUE(k == 0 || (now.file.integer(group, "particleColor") == k % 8 &&
                           now.file.integer(group, "glow") == k % 2 &&
                           now.file.boolean(group, "mainscreenonly") == (k % 3 == 0) &&
                           now.file.boolean(group, "checkForUpdates") == (k % 5 == 0)))
        << k;
    advanced += k > last;
    last = k;
  }
  EXPECT_GE(advanced, 40);
}

}  // namespace
