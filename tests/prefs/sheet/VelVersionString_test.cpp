#include "prefs/sheet/VelVersionString.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "prefs/VelConfigPrefs.h"
#include "prefs/sheet/VelFeedChoice.h"

namespace {

void expectVersion(const std::string& text, int32_t major, int32_t minor, int32_t patch, int32_t letter) {
  const auto v = parseVelVersionString(text);
  ASSERT_TRUE(v.has_value()) << text;
  EXPECT_EQ(v->major, major) << text;
  EXPECT_EQ(v->minor, minor) << text;
  EXPECT_EQ(v->patch, patch) << text;
  EXPECT_EQ(v->letter, letter) << text;
}

TEST(VelVersionString, ParsesMajorMinorPatchAndLetter) {
  expectVersion("2", 2, 0, 0, 0);
  expectVersion("1.5", 1, 5, 0, 0);
  expectVersion("1.2.3", 1, 2, 3, 0);
  expectVersion("1.2.3b", 1, 2, 3, 2);
  expectVersion("1.2b3", 1, 2, 3, 0);
  expectVersion("1.2b", 1, 2, 0, 0);
  expectVersion("1.2.3.4", 1, 2, 3, 0);
  expectVersion("1.2.3z9", 1, 2, 3, 26);
  expectVersion("1.2.3B", 1, 2, 3, 0);
  expectVersion("1.2-7a", 1, 2, 7, 1);
}

TEST(VelVersionString, EmptyAndOddPartsCountAsZero) {
  expectVersion("", 0, 0, 0, 0);
  expectVersion("v2", 0, 0, 0, 0);
  expectVersion("1..2", 1, 0, 2, 0);
  expectVersion("1.2.", 1, 2, 0, 0);
  expectVersion(".5", 0, 5, 0, 0);
  expectVersion("  +7x.1", 7, 1, 0, 0);
  expectVersion("-3.1", -3, 1, 0, 0);
  expectVersion("2b", 2, 0, 0, 0);
}

TEST(VelVersionString, HugeNumbersSaturateInsteadOfOverflowing) {
  expectVersion("99999999999999999999.1", INT32_MAX, 1, 0, 0);
  expectVersion("-99999999999999999999", INT32_MIN, 0, 0, 0);
  expectVersion("1.99999999999999999999.99999999999999999999", 1, INT32_MAX, INT32_MAX, 0);
}

TEST(VelVersionString, NonAsciiAndOverlongPartsAreNotVersions) {
  EXPECT_FALSE(parseVelVersionString("1.2\xc3\xa9").has_value());
  EXPECT_FALSE(parseVelVersionString(std::string("1.2\0.3", 6)).has_value());
  const std::string longPart(300, '1');
  EXPECT_FALSE(parseVelVersionString(longPart).has_value());
  EXPECT_FALSE(parseVelVersionString("1." + longPart).has_value());
  EXPECT_FALSE(parseVelVersionString("1.2." + longPart).has_value());
  EXPECT_TRUE(parseVelVersionString(std::string(255, '1') + ".2").has_value());
  // What follows the letter is ignored, however long.
  EXPECT_TRUE(parseVelVersionString("1.2.3b" + longPart).has_value());
}

TEST(VelVersionString, ComparesNumericallyWithLettersBeforeTheRelease) {
  struct Case {
    const char* a;
    const char* b;
    int32_t expected;
  };
  const Case cases[] = {
      {"1.0", "1.0.1", -1}, {"1.0", "0.9", 1},       {"1.2", "1.2.0", 0},    {"1.2.3b", "1.2.3", -1},
      {"1.2.3", "1.2.3b", 1}, {"1.2.3a", "1.2.3b", -1}, {"1.2.3b", "1.2.3b", 0}, {"1.10", "1.9", 1},
      {"2", "1.99.99", 1},  {"", "0", 0},            {"v2", "0.0.0", 0},     {"1..2", "1.0.2", 0},
      {"-1", "0", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VelConfigPrefs::versionStringCompare(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(VelConfigPrefs::versionStringCompare(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
  }
}

TEST(VelVersionString, NonVersionsAreOlderThanEveryVersion) {
  const std::string tooLong(300, '9');
  EXPECT_EQ(VelConfigPrefs::versionStringCompare(tooLong, "0"), -1);
  EXPECT_EQ(VelConfigPrefs::versionStringCompare("0", "\xff"), 1);
  EXPECT_EQ(VelConfigPrefs::versionStringCompare(tooLong, "\xff"), 0);
}

TEST(VelFeedChoice, PicksTheHighestVersionAndTheFirstOfEqualOnes) {
  using moonwisp::update::FeedEntry;
  std::vector<FeedEntry> entries(6);
  entries[0].version = "1.9";
  entries[1].version = std::string(300, '9');  // not a version: skipped
  entries[2].version = "1.10";
  entries[3] = FeedEntry{};  // no version: skipped
  entries[4].version = "1.10.0";
  entries[5].version = "1.10b";
  EXPECT_EQ(chooseNewestFeedEntry(entries), 2);
  EXPECT_EQ(chooseNewestFeedEntry({}), -1);
  EXPECT_EQ(chooseNewestFeedEntry({FeedEntry{}, FeedEntry{std::string("\xc3\xa9"), {}, {}}}), -1);
}

}  // namespace
