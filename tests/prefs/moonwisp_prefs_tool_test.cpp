// The moonwisp-prefs tool, run as users and scripts run it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/process.h"

namespace {

using moonwisp::test::ChildResult;
using moonwisp::test::exists;
using moonwisp::test::readFile;
using moonwisp::test::TestFolder;
using moonwisp::test::writeFile;

class MoonwispPrefsTool : public ::testing::Test {
 protected:
  // Runs the tool with the test's folder as the user's config folder.
  ChildResult tool(std::vector<std::string> args) const {
    args.insert(args.begin(), MOONWISP_PREFS_TOOL);
    return moonwisp::test::runChild(args, {"XDG_CONFIG_HOME=" + config(), "HOME=" + (folder / "home")});
  }
  std::string config() const { return folder / "config"; }
  std::string file() const { return config() + "/org.moonwisp.Moonwisp/preferences.ini"; }

  TestFolder folder;
};

const char* const kDefaults =
    "quantity 77\nparticleSize 4\nparticleSpeed 10\nparticleColor 6\nparticleType 4\nglow 1\n"
    "mainscreenonly false\ncheckForUpdates true\nlastUpdateCheck null\n";

TEST_F(MoonwispPrefsTool, PathFollowsTheXdgRules) {
  EXPECT_EQ(tool({"path"}).out, file() + "\n");
  const ChildResult fallback = moonwisp::test::runChild({MOONWISP_PREFS_TOOL, "path"},
                                                        {"XDG_CONFIG_HOME", "HOME=" + (folder / "home")});
  EXPECT_EQ(fallback.status, 0);
  EXPECT_EQ(fallback.out, folder / "home/.config/org.moonwisp.Moonwisp/preferences.ini\n");
}

TEST_F(MoonwispPrefsTool, ReadPrintsTheRecordAsTheSaverSeesIt) {
  const ChildResult fresh = tool({"read"});
  EXPECT_EQ(fresh.status, 0);
  EXPECT_EQ(fresh.out, kDefaults);
  EXPECT_FALSE(exists(config()));  // reading creates nothing

  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"quantity", "5000000000"}, {"particleColor", "258"}, {"glow", "256"}, {"mainscreenonly", "true"},
           {"checkForUpdates", "0"}, {"lastUpdateCheck", "2026-12-06T08:52:41.123456+01:00"}}) {
    const ChildResult written = tool({"write", key, value});
    EXPECT_EQ(written.status, 0) << key << ": " << written.err;
    EXPECT_EQ(written.err, "");
  }
  EXPECT_EQ(tool({"read"}).out,
            "quantity 220\nparticleSize 4\nparticleSpeed 10\nparticleColor 2\nparticleType 4\nglow 0\n"
            "mainscreenonly true\ncheckForUpdates false\nlastUpdateCheck 2026-12-06T07:52:41.123456Z\n");
  // Stored as given, each with its type.
  EXPECT_EQ(readFile(file()),
            "[org.moonwisp.Moonwisp]\nquantity=5000000000\nparticleColor=258\nglow=256\nmainscreenonly=true\n"
            "checkForUpdates=false\nlastUpdateCheck=2026-12-06T07:52:41.123456Z\n");
  EXPECT_EQ(tool({"write", "quantity", "-5"}).status, 0);
  EXPECT_EQ(tool({"read"}).out.substr(0, 12), "quantity 20\n");
  EXPECT_EQ(tool({"--file", folder / "other.ini", "read"}).out, kDefaults);
}

TEST_F(MoonwispPrefsTool, DeleteBringsBackTheDefault) {
  ASSERT_EQ(tool({"write", "quantity", "100"}).status, 0);
  ASSERT_EQ(tool({"write", "glow", "0"}).status, 0);
  EXPECT_EQ(tool({"delete", "quantity"}).status, 0);
  EXPECT_EQ(tool({"delete", "quantity"}).status, 0);
  EXPECT_EQ(readFile(file()), "[org.moonwisp.Moonwisp]\nglow=0\n");
  EXPECT_EQ(tool({"read"}).out.substr(0, 12), "quantity 77\n");
  // Deleting from no file at all creates none.
  EXPECT_EQ(tool({"--file", folder / "none/p.ini", "delete", "glow"}).status, 0);
  EXPECT_FALSE(exists(folder / "none"));
}

TEST_F(MoonwispPrefsTool, BadKeysAndValuesAreRefusedAndWriteNothing) {
  ASSERT_EQ(tool({"write", "quantity", "100"}).status, 0);
  const std::string before = readFile(file());
  const std::vector<std::vector<std::string>> refused = {
      {"write", "speed", "1"},          {"write", "particleSize", "4"},     {"write", "Quantity", "1"},
      {"delete", "nothing"},            {"write", "quantity", "many"},      {"write", "quantity", "1.5"},
      {"write", "quantity", ""},        {"write", "quantity", " 7"},        {"write", "glow", "on"},
      {"write", "quantity", "9223372036854775808"},                         {"write", "mainscreenonly", "yes"},
      {"write", "checkForUpdates", "TRUE"},                                 {"write", "lastUpdateCheck", "now"},
      {"write", "lastUpdateCheck", "2026-12-06T07:52:41"},                  {"write", "lastUpdateCheck", "2026-02-30T00:00:00Z"},
      {"write", "quantity"},            {"write"},                          {},
      {"frobnicate"},                   {"read", "extra"},
  };
  for (const std::vector<std::string>& args : refused) {
    const ChildResult result = tool(args);
    std::string line;
    for (const std::string& arg : args) line += arg + " ";
    EXPECT_EQ(result.status, 2) << line;
    EXPECT_FALSE(result.err.empty()) << line;
    EXPECT_EQ(result.out, "") << line;
    EXPECT_EQ(readFile(file()), before) << line;
  }
  EXPECT_NE(tool({"write", "speed", "1"}).err.find("unknown key \"speed\""), std::string::npos);
  EXPECT_NE(tool({"write", "glow", "on"}).err.find("expected an integer"), std::string::npos);
  // A refused write does not create a missing file either.
  EXPECT_EQ(tool({"--file", folder / "none/p.ini", "write", "glow", "on"}).status, 2);
  EXPECT_FALSE(exists(folder / "none"));
}

TEST_F(MoonwispPrefsTool, AFailedWriteSaysWhyAndExitsWithOne) {
  writeFile(folder / "blocked", "");
  const std::string path = folder / "blocked/preferences.ini";
  const ChildResult result = tool({"--file", path, "write", "quantity", "100"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find(path), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("Not a directory"), std::string::npos) << result.err;
}

TEST_F(MoonwispPrefsTool, AnUnreadableFileReadsAsDefaultsAndIsKeptOnWrite) {
  ASSERT_EQ(tool({"write", "quantity", "100"}).status, 0);
  writeFile(file(), "\x01\x02 not settings");
  const ChildResult read = tool({"read"});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, kDefaults);
  EXPECT_NE(read.err.find(file()), std::string::npos) << read.err;
  const ChildResult written = tool({"write", "glow", "0"});
  EXPECT_EQ(written.status, 0);
  EXPECT_NE(written.err.find(".broken-"), std::string::npos) << written.err;
  EXPECT_EQ(readFile(file()), "[org.moonwisp.Moonwisp]\nglow=0\n");
}

}  // namespace
