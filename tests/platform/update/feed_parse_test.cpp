#include "platform/update/feed_parse.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/loopback_http_server.h"
#include "platform/update/web_address.h"

namespace moonwisp::update {
namespace {

TEST(FeedParse, ReadsTheUpdateEntriesInDocumentOrder) {
  const FeedParseResult feed = parseFeed(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<updates>\n"
      "  <update version=\"1.2.3\" downloadURL=\"https://example.org/get?a=1&amp;b=2\"\n"
      "          detailsURL=\"http://example.org/notes\"/>\n"
      "  <note>ignored</note>\n"
      "  <update downloadURL=\"https://example.org/old\"/>\n"
      "  <update version=\"0.9\" other=\"x\">text</update>\n"
      "</updates>\n",
      false);
  ASSERT_EQ(feed.status, FeedParseStatus::ok);
  ASSERT_EQ(feed.entries.size(), 3u);
  EXPECT_EQ(feed.entries[0].version, "1.2.3");
  EXPECT_EQ(feed.entries[0].downloadURL, "https://example.org/get?a=1&b=2");
  EXPECT_EQ(feed.entries[0].detailsURL, "http://example.org/notes");
  EXPECT_FALSE(feed.entries[1].version.has_value());
  EXPECT_EQ(feed.entries[1].downloadURL, "https://example.org/old");
  EXPECT_EQ(feed.entries[2].version, "0.9");
  EXPECT_FALSE(feed.entries[2].downloadURL.has_value());
  EXPECT_FALSE(feed.entries[2].detailsURL.has_value());
}

TEST(FeedParse, OnlyUpdateElementsDirectlyUnderTheRootUpdatesCount) {
  for (const char* body : {"<updates><group><update version=\"1\"/></group></updates>", "<updates/>",
                           "<updates>text<other version=\"1\"/></updates>"}) {
    const FeedParseResult feed = parseFeed(body, false);
    EXPECT_EQ(feed.status, FeedParseStatus::ok) << body;
    EXPECT_TRUE(feed.entries.empty()) << body;
  }
  // Another root is not a feed at all (an error page served as a success).
  for (const char* body : {"<feed><updates><update version=\"1\"/></updates></feed>", "<update version=\"1\"/>",
                           "<html><body>Sign in to continue</body></html>"}) {
    const FeedParseResult feed = parseFeed(body, false);
    EXPECT_EQ(feed.status, FeedParseStatus::notAFeed) << body;
    EXPECT_TRUE(feed.entries.empty()) << body;
  }
}

TEST(FeedParse, MalformedMarkupNeedsTheRecoveringParse) {
  const std::string body =
      "<updates><update version=\"2.0\" downloadURL=\"https://example.org/2.0\">"
      "<b>unclosed</updates>";
  EXPECT_EQ(parseFeed(body, false).status, FeedParseStatus::malformed);
  const FeedParseResult repaired = parseFeed(body, true);
  ASSERT_EQ(repaired.status, FeedParseStatus::ok);
  ASSERT_EQ(repaired.entries.size(), 1u);
  EXPECT_EQ(repaired.entries[0].version, "2.0");
  EXPECT_EQ(repaired.entries[0].downloadURL, "https://example.org/2.0");

  for (const char* junk : {"", "not xml at all", "\x00\x01\x02", "<updates"}) {
    EXPECT_EQ(parseFeed(junk, false).status, FeedParseStatus::malformed) << junk;
    EXPECT_TRUE(parseFeed(junk, true).entries.empty()) << junk;
  }
}

TEST(FeedParse, EntityBombsAreNeverExpanded) {
  std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE updates [\n<!ENTITY e0 \"0123456789\">\n";
  for (int i = 1; i <= 12; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "\">\n";
  }
  bomb += "]>\n<updates><update version=\"&e12;\" downloadURL=\"https://example.org/\">&e12;</update></updates>";
  const auto start = std::chrono::steady_clock::now();
  for (const bool recover : {false, true}) {
    const FeedParseResult feed = parseFeed(bomb, recover);
    EXPECT_EQ(feed.status, FeedParseStatus::refused);
    EXPECT_TRUE(feed.entries.empty());
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
}

TEST(FeedParse, ExternalEntitiesAndDtdsAreNeverFetched) {
  test::LoopbackHttpServer server;
  server.route("/evil.dtd", {200, "<!ENTITY v \"9.9\">", {}, true, false});
  server.route("/v.txt", {200, "9.9", {}, true, false});
  const std::string externalDtd = "<!DOCTYPE updates SYSTEM \"" + server.url("/evil.dtd") +
                                  "\"><updates><update version=\"&v;\" downloadURL=\"https://e.org/\"/></updates>";
  const std::string externalEntity = "<!DOCTYPE updates [<!ENTITY v SYSTEM \"" + server.url("/v.txt") +
                                     "\"><!ENTITY f SYSTEM \"file:///etc/hostname\">]>"
                                     "<updates><update version=\"1\" downloadURL=\"https://e.org/\">&v;&f;</update>"
                                     "</updates>";
  for (const std::string& body : {externalDtd, externalEntity}) {
    for (const bool recover : {false, true}) {
      const FeedParseResult feed = parseFeed(body, recover);
      EXPECT_EQ(feed.status, FeedParseStatus::refused);
      EXPECT_TRUE(feed.entries.empty());
    }
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST(FeedParse, UndeclaredEntitiesAndXIncludeStayUnexpanded) {
  const std::string body =
      "<updates xmlns:xi=\"http://www.w3.org/2001/XInclude\">"
      "<xi:include href=\"file:///etc/passwd\" parse=\"text\"/>"
      "<update version=\"&v;1\" downloadURL=\"https://example.org/&x;\"/></updates>";
  EXPECT_EQ(parseFeed(body, false).status, FeedParseStatus::malformed);
  const FeedParseResult feed = parseFeed(body, true);
  ASSERT_EQ(feed.status, FeedParseStatus::ok);
  for (const FeedEntry& entry : feed.entries) {
    if (entry.version) {
      EXPECT_EQ(entry.version->find("root"), std::string::npos);
    }
  }
}

TEST(FeedParse, OnlyAbsoluteWebAddressesAreKept) {
  const FeedParseResult feed = parseFeed(
      "<updates>"
      "<update version=\"1\" downloadURL=\"javascript:alert(1)\" detailsURL=\"file:///etc/passwd\"/>"
      "<update version=\"2\" downloadURL=\"/relative/path\" detailsURL=\"HTTPS://Example.org/x\"/>"
      "</updates>",
      false);
  ASSERT_EQ(feed.entries.size(), 2u);
  EXPECT_FALSE(feed.entries[0].downloadURL.has_value());
  EXPECT_FALSE(feed.entries[0].detailsURL.has_value());
  EXPECT_FALSE(feed.entries[1].downloadURL.has_value());
  EXPECT_EQ(feed.entries[1].detailsURL, "HTTPS://Example.org/x");
}

TEST(WebAddress, AcceptsHttpAndHttpsWithAHostOnly) {
  for (const char* good : {"https://example.org/", "http://example.org", "https://example.org:8443/a?b=c#d",
                           "http://127.0.0.1/x"}) {
    EXPECT_TRUE(isWebAddress(good)) << good;
  }
  for (const char* bad : {"", "javascript:alert(1)", "file:///etc/passwd", "ftp://example.org/", "example.org/x",
                          "https://", "http:example.org", "https://exa mple.org/", "https://example.org/\n",
                          "data:text/html,hi", "//example.org/x", "mailto:a@example.org"}) {
    EXPECT_FALSE(isWebAddress(bad)) << bad;
  }
}

}  // namespace
}  // namespace moonwisp::update
