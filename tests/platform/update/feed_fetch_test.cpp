// Fetches from a real server on loopback; plain http is opened to it only
// through the loopback seam, and never by a redirect.
#include "platform/update/feed_fetch.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/loopback_http_server.h"

namespace moonwisp::update {
namespace {

using test::LoopbackHttpServer;

constexpr const char* kPath = "/updates/products/moonwisp/update.xml";

TEST(FeedFetch, OneGetOfTheFixedPathWithNothingOfOurs) {
  const FeedSource program = defaultFeedSource();
  EXPECT_EQ(program.url.rfind("https://", 0), 0u);
  EXPECT_EQ(program.url.substr(program.url.size() - std::string(kPath).size()), kPath);
  EXPECT_FALSE(program.allowPlainHttpToLoopback);

  LoopbackHttpServer server;
  server.route(kPath, {200, "<updates/>", {}, true, false});
  const FeedFetchResult result = fetchFeed({server.url(kPath), true});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.body, "<updates/>");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind(std::string("GET ") + kPath + " HTTP/1.1\r\n", 0), 0u) << requests[0];
  // Only Host and Accept: no agent, cookies or encodings.
  size_t lines = 0;
  for (size_t at = 0; (at = requests[0].find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, 2u) << requests[0];
}

TEST(FeedFetch, RefusalsAndLimitsGiveAReasonAndNoBody) {
  LoopbackHttpServer server;
  const std::string limit(kFeedMaxBytes, 'x');
  const std::string huge(10 * 1024 * 1024, 'x');
  server.route("/limit", {200, limit, {}, false, false});
  server.route("/target", {200, "<updates/>", {}, true, false});
  server.route("/over", {200, limit + "x", {}, false, false});
  server.route("/huge-declared", {200, huge, {}, true, false});
  server.route("/huge-streamed", {200, huge, {}, false, false});
  server.route("/error", {500, "<updates/>", {}, true, false});
  server.route("/to-http", {302, "", {"Location: " + server.url("/target")}, true, false});
  server.route("/to-relative", {301, "", {"Location: /target"}, true, false});
  server.route("/to-file", {302, "", {"Location: file:///etc/hostname"}, true, false});
  const std::string tooLarge = "the update feed is larger than 1 MiB";
  const std::string notHttps = "the update server sent an address that is not https";
  const std::string refused = "http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()) + "/x";
  const struct {
    FeedSource source;
    std::string error;
  } cases[] = {
      {{server.url("/limit"), false}, notHttps},  // http without the seam
      {{"http://updates.example.invalid/x", true}, notHttps},  // the seam is for loopback only
      {{server.url("/over"), true}, tooLarge},
      {{server.url("/huge-declared"), true}, tooLarge},
      {{server.url("/huge-streamed"), true}, tooLarge},
      {{server.url("/missing"), true}, "the update server answered with status 404"},
      {{server.url("/error"), true}, "the update server answered with status 500"},
      {{server.url("/to-http"), true}, notHttps},
      {{server.url("/to-relative"), true}, notHttps},
      {{server.url("/to-file"), true}, notHttps},
      {{refused, true}, "the update server could not be reached"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source.url);
    const FeedFetchResult result = fetchFeed(c.source);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, c.error);
    EXPECT_TRUE(result.body.empty());
  }
  EXPECT_EQ(server.requestCount("/limit"), 0);
  EXPECT_EQ(server.requestCount("/target"), 0);
  const FeedFetchResult full = fetchFeed({server.url("/limit"), true});
  EXPECT_TRUE(full.ok && full.body.size() == kFeedMaxBytes) << full.error;
}

TEST(FeedFetch, AServerThatNeverAnswersIsGivenUpAtTheTimeout) {
  LoopbackHttpServer server;
  server.route(kPath, {200, "", {}, true, true});
  const auto start = std::chrono::steady_clock::now();
  const FeedFetchResult result = fetchFeed({server.url(kPath), true});
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "the update server did not answer in time");
  EXPECT_GT(seconds, kFeedTotalTimeoutMs / 1000.0 * 0.9);
  EXPECT_LT(seconds, kFeedTotalTimeoutMs / 1000.0 * 2);
}

}  // namespace
}  // namespace moonwisp::update
