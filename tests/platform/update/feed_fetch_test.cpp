#include "platform/update/feed_fetch.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/loopback_http_server.h"

namespace moonwisp::update {
namespace {

using test::LoopbackHttpServer;

constexpr const char* kPath = "/updates/products/moonwisp/update.xml";

FeedSource loopback(const LoopbackHttpServer& server, const std::string& path = kPath) {
  return FeedSource{server.url(path), true};
}

TEST(FeedFetch, TheProgramsFeedIsHttpsOnTheFixedPath) {
  const FeedSource source = defaultFeedSource();
  EXPECT_EQ(source.url.rfind("https://", 0), 0u);
  EXPECT_NE(source.url.find(std::string("/") + "updates/products/moonwisp/update.xml"), std::string::npos);
  EXPECT_EQ(source.url.substr(source.url.size() - std::string(kPath).size()), kPath);
  EXPECT_FALSE(source.allowPlainHttpToLoopback);
}

TEST(FeedFetch, ReturnsTheBodyAndSendsNothingButTheRequest) {
  LoopbackHttpServer server;
  server.route(kPath, {200, "<updates/>", {}, true, false});
  const FeedFetchResult result = fetchFeed(loopback(server));
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.body, "<updates/>");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind(std::string("GET ") + kPath + " HTTP/1.1\r\n", 0), 0u) << requests[0];
  // No agent, cookies, encodings or anything else of ours: only Host and Accept.
  EXPECT_EQ(requests[0].find("User-Agent"), std::string::npos);
  EXPECT_EQ(requests[0].find("Cookie"), std::string::npos);
  size_t lines = 0;
  for (size_t at = 0; (at = requests[0].find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, 2u) << requests[0];
}

TEST(FeedFetch, PlainHttpNeedsTheLoopbackSeam) {
  LoopbackHttpServer server;
  server.route(kPath, {200, "<updates/>", {}, true, false});
  const FeedFetchResult withoutSeam = fetchFeed(FeedSource{server.url(kPath), false});
  EXPECT_FALSE(withoutSeam.ok);
  EXPECT_FALSE(withoutSeam.error.empty());
  // The seam opens plain http to loopback only, never to another host.
  const FeedFetchResult elsewhere = fetchFeed(FeedSource{"http://updates.example.invalid/update.xml", true});
  EXPECT_FALSE(elsewhere.ok);
  EXPECT_EQ(elsewhere.error, "the update server sent an address that is not https");
  EXPECT_EQ(server.requests().size(), 0u);
}

TEST(FeedFetch, ServerErrorsAndRefusedConnectionsAreFailuresWithAReason) {
  LoopbackHttpServer server;
  server.route(kPath, {500, "<updates/>", {}, true, false});
  const FeedFetchResult missing = fetchFeed(loopback(server, "/elsewhere.xml"));
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.error, "the update server answered with status 404");
  const FeedFetchResult broken = fetchFeed(loopback(server));
  EXPECT_FALSE(broken.ok);
  EXPECT_EQ(broken.error, "the update server answered with status 500");
  EXPECT_TRUE(broken.body.empty());

  const int port = test::unusedLoopbackPort();
  const FeedFetchResult refused =
      fetchFeed(FeedSource{"http://127.0.0.1:" + std::to_string(port) + kPath, true});
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error, "the update server could not be reached");
}

TEST(FeedFetch, BodiesAboveOneMebibyteAreRefusedWithOrWithoutALength) {
  LoopbackHttpServer server;
  const std::string limit(kFeedMaxBytes, 'x');
  const std::string huge(10 * 1024 * 1024, 'x');
  server.route("/exact", {200, limit, {}, false, false});
  server.route("/over", {200, limit + "x", {}, false, false});
  server.route("/huge-declared", {200, huge, {}, true, false});
  server.route("/huge-streamed", {200, huge, {}, false, false});

  const FeedFetchResult exact = fetchFeed(loopback(server, "/exact"));
  ASSERT_TRUE(exact.ok) << exact.error;
  EXPECT_EQ(exact.body.size(), kFeedMaxBytes);
  for (const char* path : {"/over", "/huge-declared", "/huge-streamed"}) {
    const FeedFetchResult result = fetchFeed(loopback(server, path));
    EXPECT_FALSE(result.ok) << path;
    EXPECT_EQ(result.error, "the update feed is larger than 1 MiB") << path;
    EXPECT_TRUE(result.body.empty()) << path;
  }
}

TEST(FeedFetch, RedirectsMustStayOnHttps) {
  LoopbackHttpServer server;
  server.route("/target.xml", {200, "<updates/>", {}, true, false});
  server.route("/to-file", {302, "", {"Location: file:///etc/passwd"}, true, false});
  server.route("/to-http", {302, "", {"Location: " + server.url("/target.xml")}, true, false});
  server.route("/to-relative", {301, "", {"Location: /target.xml"}, true, false});

  for (const char* path : {"/to-file", "/to-http", "/to-relative"}) {
    const FeedFetchResult result = fetchFeed(loopback(server, path));
    EXPECT_FALSE(result.ok) << path;
    EXPECT_EQ(result.error, "the update server sent an address that is not https") << path;
  }
  EXPECT_EQ(server.requestCount("/target.xml"), 0);
}

TEST(FeedFetch, AServerThatNeverAnswersIsGivenUpWithinTheTotalTimeout) {
  LoopbackHttpServer server;
  LoopbackHttpServer::Response silent;
  silent.neverAnswer = true;
  server.route(kPath, silent);
  const auto start = std::chrono::steady_clock::now();
  const FeedFetchResult result = fetchFeed(loopback(server));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, "the update server did not answer in time");
  EXPECT_GE(seconds, kFeedTotalTimeoutMs / 1000.0 - 0.5);
  EXPECT_LT(seconds, kFeedTotalTimeoutMs / 1000.0 + 5.0);
}

}  // namespace
}  // namespace moonwisp::update
