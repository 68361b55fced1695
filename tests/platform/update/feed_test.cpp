// The update feed: fetched from a real server on loopback (plain http is
// opened to it only through the loopback seam, and never by a redirect), and
// parsed from hostile bodies.
#include "platform/update/feed_fetch.h"
#include "platform/update/feed_parse.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/loopback_http_server.h"

namespace moonwisp::update {
namespace {

TEST(FeedFetch, OneGetOfTheFeedWithNothingOfOurs) {
  test::LoopbackHttpServer server;
  server.route("/update.xml", {200, "<updates/>", {}});
  const FeedFetchResult result = fetchFeed({server.url("/update.xml"), true});
  EXPECT_EQ(result.body, "<updates/>") << result.error;
  // The request line, Host and Accept: no agent, cookies or encodings.
  const std::string request = "GET /update.xml HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port());
  EXPECT_EQ(server.requests(), std::vector<std::string>{request + "\r\nAccept: */*"});
}

TEST(FeedFetch, RefusalsAndLimitsGiveAReasonAndNoBody) {
  test::LoopbackHttpServer server;
  const std::string limit(kFeedMaxBytes, 'x');
  const std::string notHttps = "the update server sent an address that is not https";
  server.route("/limit", {200, limit, {}, false});
  const struct {
    std::string path;  // on the server, or a whole address
    test::LoopbackHttpServer::Response response;
    std::string error;
  } cases[] = {
      {"/over", {200, limit + "x", {}, false}, "the update feed is larger than 1 MiB"},
      {"/over-declared", {200, limit + "x", {}}, "the update feed is larger than 1 MiB"},
      {"/error", {500, "<updates/>", {}}, "the update server answered with status 500"},
      {"/to-http", {302, "", {"Location: " + server.url("/limit")}}, notHttps},
      {"/to-file", {302, "", {"Location: file:///etc/hostname"}}, notHttps},
      {"/silent", {200, "", {}, true, true}, "the update server did not answer in time"},
      {"http://updates.example.invalid/x", {}, notHttps},  // the seam is for loopback only
      {"http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()), {},
       "the update server could not be reached"},
  };
  for (const auto& c : cases) server.route(c.path, c.response);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto start = std::chrono::steady_clock::now();
    const FeedFetchResult result = fetchFeed({c.path[0] == '/' ? server.url(c.path) : c.path, true});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(!result.ok && result.body.empty());
    EXPECT_EQ(result.error, c.error);
    // Given up at the time-out, not before and not long after.
    EXPECT_LT(seconds, kFeedTotalTimeoutMs / 1000.0 * 2);
    EXPECT_TRUE(c.path != "/silent" || seconds > kFeedTotalTimeoutMs / 1000.0 * 0.9) << seconds;
  }
  EXPECT_FALSE(fetchFeed({server.url("/limit"), false}).ok);  // plain http without the seam
  EXPECT_EQ(server.requestCount("/limit"), 0);  // nor by any redirect
  const FeedFetchResult full = fetchFeed({server.url("/limit"), true});
  EXPECT_TRUE(full.ok && full.body.size() == kFeedMaxBytes) << full.error;
}

using P = FeedParseStatus;

TEST(FeedParse, HostileFeedsAreRefusedOrGiveWhatTheyPlainlySay) {
  // The parse stops at the declaration: were it read, these would grow past any memory.
  const std::string bomb = "<!DOCTYPE updates [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">"
                           "<!ENTITY c \"&b;&b;&b;&b;&b;&b;\">]><updates><update version=\"&c;\"/></updates>";
  std::string nested = "<updates><update version=\"1\"/>";
  for (int i = 0; i < 5000; ++i) nested += "<u>";
  const struct {
    std::string body;
    FeedParseStatus strict;  // without recovery, which then gives no entries
    FeedParseStatus recovered;
    const char* version;  // of the one entry read with recovery; null when none
  } cases[] = {
      {bomb, P::refused, P::refused, nullptr},
      {"<!DOCTYPE updates SYSTEM \"/etc/hostname\"><updates/>", P::refused, P::refused, nullptr},
      {"<!DOCTYPE updates [<!ENTITY f SYSTEM \"file:///etc/hostname\">]><updates>&f;</updates>", P::refused,
       P::refused, nullptr},
      {"<html><body>Sign in</body></html>", P::notAFeed, P::notAFeed, nullptr},
      {nested, P::malformed, P::ok, "1"},
      {"<updates><update version=\"2\"><b>open</updates>", P::malformed, P::ok, "2"},
      {"<updates xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"file:///etc/passwd\"/>"
       "<update version=\"&v;\"/></updates>",
       P::malformed, P::ok, ""},  // nothing expanded or included
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 60));
    const FeedParseResult strict = parseFeed(c.body, false);
    EXPECT_EQ(strict.status, c.strict);
    EXPECT_TRUE(strict.entries.empty());
    const FeedParseResult recovered = parseFeed(c.body, true);
    EXPECT_EQ(recovered.status, c.recovered);
    ASSERT_EQ(recovered.entries.size(), c.version ? 1u : 0u);
    EXPECT_TRUE(!c.version || recovered.entries[0].version.value_or("-") == c.version);
  }
}

}  // namespace
}  // namespace moonwisp::update
