#pragma once
// Fetches the update feed: one GET of one address, nothing else sent.
#include <atomic>
#include <cstddef>
#include <mutex>
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

// Limits of every fetch. The connect limit covers the name lookup.
constexpr long kFeedConnectTimeoutMs = 5000;
constexpr long kFeedTotalTimeoutMs = 15000;
constexpr long kFeedMaxRedirects = 3;
constexpr std::size_t kFeedMaxBytes = 1024 * 1024;

struct FeedFetchResult {
  bool ok = false;
  std::string body;   // the whole response body when ok
  std::string error;  // a short reason for the user when not ok
};

// Ends a fetch running on another thread: cancel() may be called from any
// thread, and the fetch returns within moments instead of waiting for the
// server, a name lookup or a time-out.
class FeedFetchCancel {
 public:
  void cancel();
  bool cancelled() const { return cancelled_.load(); }

 private:
  friend struct FetchRegistration;
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  void* wakeup_ = nullptr;  // the running transfer's CURLM, while there is one
};

// Blocks until the body has arrived, a limit ends the transfer, or cancel
// (when given) is cancelled; a cancelled fetch is not ok.
FeedFetchResult fetchFeed(const FeedSource& source, FeedFetchCancel* cancel = nullptr);

}  // namespace moonwisp::update
