#pragma once
// Fetches the update feed: one GET of one address, nothing else sent.
#include <cstddef>
#include <string>

namespace moonwisp::update {

// Where the feed comes from. The program always uses defaultFeedSource();
// tests may point it at a plain-http server on the loopback interface.
struct FeedSource {
  std::string url;
  // Allows http:// for the first request when the host is 127.0.0.1, ::1 or
  // localhost. Redirects must always go to https.
  bool allowPlainHttpToLoopback = false;
};

FeedSource defaultFeedSource();

// Limits of every fetch.
constexpr long kFeedConnectTimeoutMs = 5000;
constexpr long kFeedTotalTimeoutMs = 15000;
constexpr long kFeedMaxRedirects = 3;
constexpr std::size_t kFeedMaxBytes = 1024 * 1024;

struct FeedFetchResult {
  bool ok = false;
  std::string body;   // the whole response body when ok
  std::string error;  // a short reason for the user when not ok
};

// Blocks until the body has arrived or a limit ends the transfer.
FeedFetchResult fetchFeed(const FeedSource& source);

}  // namespace moonwisp::update
