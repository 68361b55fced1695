#include "platform/keyfile/key_file.h"

#include <gtest/gtest.h>

#include <string>

namespace moonwisp {
namespace {

KeyFile parsed(const std::string& text) {
  KeyFile file;
  std::string error;
  EXPECT_TRUE(file.parse(text.data(), text.size(), &error)) << error;
  return file;
}

TEST(KeyFile, IntegersAreDecimalAndMustFitIn64Bits) {
  const KeyFile file = parsed(
      "[g]\n"
      "plain=42\nnegative=-7\nplus=+5\nmax=9223372036854775807\nmin=-9223372036854775808\n"
      "over=9223372036854775808\nunder=-9223372036854775809\nhuge=99999999999999999999999\n"
      "text=abc\nempty=\ntrailing=12abc\nfloat=1.5\nhex=0x10\nspaced=1 2\n");
  EXPECT_EQ(file.integer("g", "plain"), 42);
  EXPECT_EQ(file.integer("g", "negative"), -7);
  EXPECT_EQ(file.integer("g", "plus"), 5);
  EXPECT_EQ(file.integer("g", "max"), INT64_MAX);
  EXPECT_EQ(file.integer("g", "min"), INT64_MIN);
  for (const char* key : {"over", "under", "huge", "text", "empty", "trailing", "float", "hex", "spaced", "absent"}) {
    EXPECT_FALSE(file.integer("g", key).has_value()) << key;
  }
  EXPECT_FALSE(file.integer("nogroup", "plain").has_value());
}

TEST(KeyFile, BooleansAndStrings) {
  const KeyFile file = parsed("[g]\nt=true\nf=false\none=1\nzero=0\nyes=yes\nupper=TRUE\nbad=\xff\xfe\nword=h\\u00e9llo\\n\n");
  EXPECT_EQ(file.boolean("g", "t"), true);
  EXPECT_EQ(file.boolean("g", "f"), false);
  EXPECT_EQ(file.boolean("g", "one"), true);
  EXPECT_EQ(file.boolean("g", "zero"), false);
  EXPECT_FALSE(file.boolean("g", "yes").has_value());
  EXPECT_FALSE(file.boolean("g", "upper").has_value());
  EXPECT_FALSE(file.boolean("g", "absent").has_value());
  EXPECT_FALSE(file.string("g", "bad").has_value());  // not UTF-8
  EXPECT_TRUE(file.hasKey("g", "bad"));
  EXPECT_FALSE(file.hasKey("g", "absent"));
  EXPECT_FALSE(file.hasKey("h", "t"));
}

TEST(KeyFile, TextThatIsNoKeyFileIsRefusedAndLeavesItEmpty) {
  for (const std::string& text : {std::string("key=before any group\n"), std::string("[g]\nnot a pair\n"),
                                 std::string("[g]\nq=1\0garbage\n", 16), std::string("\x7f" "ELF\x02\x01")}) {
    KeyFile file = parsed("[g]\nq=1\n");
    std::string error;
    EXPECT_FALSE(file.parse(text.data(), text.size(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(file.hasKey("g", "q"));
    EXPECT_EQ(file.serialize(), "");
  }
}

TEST(KeyFile, TheReasonForARefusalIsShortAndPrintable) {
  const std::string text = "[g]\n\x1b]0;title\x07\xff" + std::string(10000, 'x') + "\n";
  KeyFile file;
  std::string error;
  ASSERT_FALSE(file.parse(text.data(), text.size(), &error));
  EXPECT_LT(error.size(), 800u);
  EXPECT_EQ(error.find('\x1b'), std::string::npos) << error;
  EXPECT_EQ(error.find('\x07'), std::string::npos) << error;
  EXPECT_EQ(error.find('\xff'), std::string::npos) << error;
}

TEST(KeyFile, AnEditKeepsCommentsUnknownKeysAndOtherGroups) {
  KeyFile file = parsed(
      "# my settings\n\n[g]\n# how many\nq=1\nfuture=keep me\n\n[other]\nx=\xff raw bytes\n");
  file.setInteger("g", "q", 2);
  file.setBoolean("g", "b", true);
  file.setString("g", "s", "2026-12-06T07:52:41.123456Z");
  EXPECT_TRUE(file.remove("g", "future"));
  EXPECT_FALSE(file.remove("g", "future"));
  file.setInteger("new", "n", -3);
  // GLib adds new keys after the group's last line, here a blank one.
  EXPECT_EQ(file.serialize(),
            "# my settings\n\n[g]\n# how many\nq=2\n\nb=true\ns=2026-12-06T07:52:41.123456Z\n\n"
            "[other]\nx=\xff raw bytes\n\n[new]\nn=-3\n");
}

TEST(KeyFile, RepeatedKeysAndGroupsReadTheLastValue) {
  const KeyFile file = parsed("[g]\nq=1\nq=2\n[h]\nz=0\n[g]\nq=3\n");
  EXPECT_EQ(file.integer("g", "q"), 3);
  EXPECT_EQ(file.integer("h", "z"), 0);
}

}  // namespace
}  // namespace moonwisp
