// Fetches from a real server on loopback; plain http is opened to it only
// through the loopback seam, and never by a redirect.
#include "platform/update/feed_fetch.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/loopback_http_server.h"

namespace moonwisp::update {
namespace {

using Response = test::LoopbackHttpServer::Response;

TEST(FeedFetch, OneGetOfTheFeedWithNothingOfOurs) {
  EXPECT_EQ(defaultFeedSource().url.rfind("https://", 0), 0u);
  test::LoopbackHttpServer server;
  server.route("/update.xml", {200, "<updates/>", {}, true, false});
  const FeedFetchResult result = fetchFeed({server.url("/update.xml"), true});
  EXPECT_EQ(result.body, "<updates/>") << result.error;
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  // The request line, Host and Accept: no agent, cookies or encodings.
  EXPECT_EQ(requests[0], "GET /update.xml HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                             "\r\nAccept: */*");
}

TEST(FeedFetch, RefusalsAndLimitsGiveAReasonAndNoBody) {
  test::LoopbackHttpServer server;
  const std::string limit(kFeedMaxBytes, 'x');
  const std::string huge(10 * 1024 * 1024, 'x');
  const std::string tooLarge = "the update feed is larger than 1 MiB";
  const std::string notHttps = "the update server sent an address that is not https";
  const std::string late = "the update server did not answer in time";
  server.route("/limit", {200, limit, {}, false, false});
  const struct {
    std::string path;  // on the server, or a whole address
    Response response;
    std::string error;
  } cases[] = {
      {"/over", {200, limit + "x", {}, false, false}, tooLarge},
      {"/huge-declared", {200, huge, {}, true, false}, tooLarge},
      {"/huge-streamed", {200, huge, {}, false, false}, tooLarge},
      {"/error", {500, "<updates/>", {}, true, false}, "the update server answered with status 500"},
      {"/to-http", {302, "", {"Location: " + server.url("/limit")}, true, false}, notHttps},
      {"/to-relative", {301, "", {"Location: /limit"}, true, false}, notHttps},
      {"/to-file", {302, "", {"Location: file:///etc/hostname"}, true, false}, notHttps},
      {"/silent", {200, "", {}, true, true}, late},
      {"http://updates.example.invalid/x", {}, notHttps},  // the seam is for loopback only
      {"http://127.0.0.1:" + std::to_string(test::unusedLoopbackPort()), {}, "the update server could not be reached"},
  };
  for (const auto& c : cases) server.route(c.path, c.response);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto start = std::chrono::steady_clock::now();
    const FeedFetchResult result = fetchFeed({c.path[0] == '/' ? server.url(c.path) : c.path, true});
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, c.error);
    EXPECT_TRUE(result.body.empty());
    // Given up at the time-out, not before and not long after.
    EXPECT_LT(seconds, kFeedTotalTimeoutMs / 1000.0 * 2);
    EXPECT_TRUE(c.error != late || seconds > kFeedTotalTimeoutMs / 1000.0 * 0.9) << seconds;
  }
  EXPECT_FALSE(fetchFeed({server.url("/limit"), false}).ok);  // plain http without the seam
  EXPECT_EQ(server.requestCount("/limit"), 0);  // nor by any redirect
  const FeedFetchResult full = fetchFeed({server.url("/limit"), true});
  EXPECT_TRUE(full.ok && full.body.size() == kFeedMaxBytes) << full.error;
}

}  // namespace
}  // namespace moonwisp::update
