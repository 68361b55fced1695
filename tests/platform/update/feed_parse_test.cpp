#include "platform/update/feed_parse.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/update/web_address.h"

namespace moonwisp::update {
namespace {

TEST(FeedParse, ReadsTheUpdateEntriesUnderTheRootInDocumentOrder) {
  const FeedParseResult feed = parseFeed(
      "<?xml version=\"1.0\"?>\n<updates>\n"
      "<update version=\"1.2.3\" downloadURL=\"https://e.org/get?a=1&amp;b=2\" detailsURL=\"http://e.org/n\"/>\n"
      "<note><update version=\"nested\"/></note><update downloadURL=\"https://e.org/old\"/>\n"
      "<update version=\"0.9\" downloadURL=\"javascript:alert(1)\" detailsURL=\"/relative\">text</update>\n"
      "</updates>\n",
      false);
  ASSERT_EQ(feed.status, FeedParseStatus::ok);
  ASSERT_EQ(feed.entries.size(), 3u);
  EXPECT_EQ(feed.entries[0].version, "1.2.3");
  EXPECT_EQ(feed.entries[0].downloadURL, "https://e.org/get?a=1&b=2");
  EXPECT_EQ(feed.entries[0].detailsURL, "http://e.org/n");
  EXPECT_FALSE(feed.entries[1].version.has_value());
  EXPECT_EQ(feed.entries[1].downloadURL, "https://e.org/old");
  EXPECT_EQ(feed.entries[2].version, "0.9");
  // Only absolute web addresses are kept.
  EXPECT_FALSE(feed.entries[2].downloadURL.has_value());
  EXPECT_FALSE(feed.entries[2].detailsURL.has_value());
}

std::string entityBomb() {
  std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE updates [\n<!ENTITY e0 \"0123456789\">\n";
  for (int i = 1; i <= 12; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "\">\n";
  }
  return bomb + "]>\n<updates><update version=\"&e12;\" downloadURL=\"https://e.org/\">&e12;</update></updates>";
}

TEST(FeedParse, HostileFeedsGiveNoEntries) {
  const std::string deep = std::string(100000, '<') + "a>";
  std::string nested = "<updates>";
  for (int i = 0; i < 5000; ++i) nested += "<u>";
  const struct {
    std::string name;
    std::string body;
    FeedParseStatus strict;     // without recovery
    FeedParseStatus recovered;  // with it
  } cases[] = {
      {"entity bomb", entityBomb(), FeedParseStatus::refused, FeedParseStatus::refused},
      {"external DTD",
       "<!DOCTYPE updates SYSTEM \"/etc/hostname\"><updates><update version=\"&v;\"/></updates>",
       FeedParseStatus::refused, FeedParseStatus::refused},
      {"external entity",
       "<!DOCTYPE updates [<!ENTITY f SYSTEM \"file:///etc/hostname\">]><updates><update version=\"&f;\"/>"
       "</updates>",
       FeedParseStatus::refused, FeedParseStatus::refused},
      {"error page", "<html><body>Sign in</body></html>", FeedParseStatus::notAFeed, FeedParseStatus::notAFeed},
      {"feed inside another root", "<feed><updates><update version=\"1\"/></updates></feed>",
       FeedParseStatus::notAFeed, FeedParseStatus::notAFeed},
      {"empty", "", FeedParseStatus::malformed, FeedParseStatus::malformed},
      {"binary", std::string("\x00\x01\x02\xff", 4), FeedParseStatus::malformed, FeedParseStatus::malformed},
      {"deeply nested", nested, FeedParseStatus::malformed, FeedParseStatus::ok},
      {"a huge name", deep, FeedParseStatus::malformed, FeedParseStatus::malformed},
      {"undeclared entities and XInclude",
       "<updates xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"file:///etc/passwd\"/>"
       "<update version=\"&v;\" x=\"&x;\"/></updates>",
       FeedParseStatus::malformed, FeedParseStatus::ok},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const FeedParseResult strict = parseFeed(c.body, false);
    EXPECT_EQ(strict.status, c.strict);
    EXPECT_TRUE(strict.entries.empty());
    const FeedParseResult recovered = parseFeed(c.body, true);
    EXPECT_EQ(recovered.status, c.recovered);
    for (const FeedEntry& entry : recovered.entries) EXPECT_EQ(entry.version.value_or(""), "");
  }
}

TEST(FeedParse, MalformedMarkupIsReadOnlyByTheRecoveringParse) {
  const std::string body = "<updates><update version=\"2.0\" downloadURL=\"https://e.org/2\"><b>open</updates>";
  EXPECT_EQ(parseFeed(body, false).status, FeedParseStatus::malformed);
  const FeedParseResult repaired = parseFeed(body, true);
  ASSERT_EQ(repaired.entries.size(), 1u);
  EXPECT_EQ(repaired.entries[0].version, "2.0");
  EXPECT_EQ(repaired.entries[0].downloadURL, "https://e.org/2");
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
