#include "platform/update/feed_parse.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/update/web_address.h"

namespace moonwisp::update {
namespace {

TEST(FeedParse, ReadsTheUpdateEntriesUnderTheRootInDocumentOrder) {
  const FeedParseResult feed = parseFeed(
      "<?xml version=\"1.0\"?>\n<updates><note><update version=\"nested\"/></note>\n"
      "<update version=\"1.2.3\" downloadURL=\"https://e.org/get?a=1&amp;b=2\" detailsURL=\"http://e.org/n\"/>\n"
      "<update version=\"0.9\" downloadURL=\"javascript:alert(1)\" detailsURL=\"/relative\">text</update>\n"
      "<update downloadURL=\"https://e.org/old\"/></updates>\n",
      false);
  ASSERT_EQ(feed.status, FeedParseStatus::ok);
  ASSERT_EQ(feed.entries.size(), 3u);
  EXPECT_EQ(feed.entries[0].version, "1.2.3");
  EXPECT_EQ(feed.entries[0].downloadURL, "https://e.org/get?a=1&b=2");
  EXPECT_EQ(feed.entries[0].detailsURL, "http://e.org/n");
  EXPECT_EQ(feed.entries[1].version, "0.9");
  EXPECT_FALSE(feed.entries[1].downloadURL || feed.entries[1].detailsURL);  // not absolute web addresses
  EXPECT_FALSE(feed.entries[2].version.has_value());
}

TEST(FeedParse, HostileFeedsAreRefusedOrGiveWhatTheyPlainlySay) {
  std::string bomb = "<!DOCTYPE updates [<!ENTITY e0 \"0123456789\">";
  for (int i = 1; i <= 12; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "\">";
  }
  bomb += "]><updates><update version=\"&e12;\">&e12;</update></updates>";
  std::string nested = "<updates><update version=\"1\"/>";
  for (int i = 0; i < 5000; ++i) nested += "<u>";
  const struct {
    std::string body;
    FeedParseStatus strict;  // without recovery, which then gives no entries
    FeedParseStatus recovered;
    const char* version;  // of the one entry read with recovery; null when none
  } cases[] = {
      {bomb, FeedParseStatus::refused, FeedParseStatus::refused, nullptr},
      {"<!DOCTYPE updates SYSTEM \"/etc/hostname\"><updates><update/></updates>", FeedParseStatus::refused,
       FeedParseStatus::refused, nullptr},
      {"<!DOCTYPE updates [<!ENTITY f SYSTEM \"file:///etc/hostname\">]><updates><update version=\"&f;\"/>"
       "</updates>",
       FeedParseStatus::refused, FeedParseStatus::refused, nullptr},
      {"<html><body>Sign in</body></html>", FeedParseStatus::notAFeed, FeedParseStatus::notAFeed, nullptr},
      {"<feed><updates><update/></updates></feed>", FeedParseStatus::notAFeed, FeedParseStatus::notAFeed, nullptr},
      {"", FeedParseStatus::malformed, FeedParseStatus::malformed, nullptr},
      {nested, FeedParseStatus::malformed, FeedParseStatus::ok, "1"},
      {"<updates><update version=\"2.0\"><b>open</updates>", FeedParseStatus::malformed, FeedParseStatus::ok, "2.0"},
      {"<updates xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"file:///etc/passwd\"/>"
       "<update version=\"&v;\"/></updates>",
       FeedParseStatus::malformed, FeedParseStatus::ok, ""},  // nothing expanded or included
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 60));
    const FeedParseResult strict = parseFeed(c.body, false);
    EXPECT_EQ(strict.status, c.strict);
    EXPECT_TRUE(strict.entries.empty());
    const FeedParseResult recovered = parseFeed(c.body, true);
    EXPECT_EQ(recovered.status, c.recovered);
    ASSERT_EQ(recovered.entries.size(), c.version ? 1u : 0u);
    if (c.version) EXPECT_EQ(recovered.entries[0].version.value_or("-"), c.version);
  }
}

TEST(WebAddress, OnlyHttpAndHttpsWithAHost) {
  for (const char* good : {"https://e.org/", "http://e.org", "HTTPS://E.org:8443/a?b=c#d", "http://127.0.0.1/x"})
    EXPECT_TRUE(isWebAddress(good)) << good;
  for (const char* bad : {"", "javascript:alert(1)", "file:///etc/passwd", "ftp://e.org/", "e.org/x", "https://",
                          "http:e.org", "https://e x.org/", "https://e.org/\n", "//e.org/x", "data:text/html,hi"})
    EXPECT_FALSE(isWebAddress(bad)) << bad;
}

}  // namespace
}  // namespace moonwisp::update
