#include "platform/update/feed_fetch.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "platform/core/translation.h"

namespace moonwisp::update {
namespace {

constexpr const char* kFeedHost = "www.moonwisp.org";
constexpr const char* kFeedPath = "/updates/products/moonwisp/update.xml";

struct Transfer {
  std::string body;
  bool tooLarge = false;
  bool nameResolved = false;  // a socket was opened, so the name lookup had ended
};

size_t appendBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (transfer->body.size() + n > kFeedMaxBytes) {
    transfer->tooLarge = true;
    return 0;  // makes curl end the transfer with a write error
  }
  transfer->body.append(data, n);
  return n;
}

int noteSocket(void* user, curl_socket_t, curlsocktype) {
  static_cast<Transfer*>(user)->nameResolved = true;
  return CURL_SOCKOPT_OK;
}

bool isLoopbackHttp(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  char* scheme = nullptr;
  char* host = nullptr;
  bool loopback = false;
  if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK) {
    const std::string h = host;
    loopback = std::string(scheme) == "http" && (h == "127.0.0.1" || h == "localhost" || h == "[::1]");
  }
  curl_free(scheme);
  curl_free(host);
  return loopback;
}

std::string reasonFor(CURLcode code, long status, const Transfer& transfer) {
  if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) return _("the update feed is larger than 1 MiB");
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return _("the update server could not be found");
    case CURLE_COULDNT_CONNECT:
      return _("the update server could not be reached");
    case CURLE_OPERATION_TIMEDOUT:
      return transfer.nameResolved ? _("the update server did not answer in time")
                                   : _("the update server's name could not be resolved in time");
    case CURLE_HTTP_RETURNED_ERROR:
      return formatTranslated(_("the update server answered with status %s"), std::to_string(status));
    case CURLE_UNSUPPORTED_PROTOCOL:
      return _("the update server sent an address that is not https");
    case CURLE_TOO_MANY_REDIRECTS:
      return _("the update server redirected too many times");
    case CURLE_PEER_FAILED_VERIFICATION:
      return _("the update server's certificate could not be verified");
    case CURLE_SSL_CONNECT_ERROR:
      return _("no secure connection to the update server could be made");
    default:
      return curl_easy_strerror(code);
  }
}

}  // namespace

// Lets cancel() wake the transfer's wait from another thread.
struct FetchRegistration {
  FetchRegistration(FeedFetchCancel* cancel, CURLM* multi) : cancel_(cancel) {
    if (!cancel_) return;
    std::lock_guard<std::mutex> lock(cancel_->mutex_);
    cancel_->wakeup_ = multi;
  }
  ~FetchRegistration() {
    if (!cancel_) return;
    std::lock_guard<std::mutex> lock(cancel_->mutex_);
    cancel_->wakeup_ = nullptr;
  }
  FeedFetchCancel* cancel_;
};

void FeedFetchCancel::cancel() {
  cancelled_.store(true);
  std::lock_guard<std::mutex> lock(mutex_);
  if (wakeup_) curl_multi_wakeup(static_cast<CURLM*>(wakeup_));
}

FeedSource defaultFeedSource() {
  return FeedSource{std::string("https://") + kFeedHost + kFeedPath, false};
}

FeedFetchResult fetchFeed(const FeedSource& source, FeedFetchCancel* cancel) {
  static std::once_flag curlReady;
  std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

  FeedFetchResult result;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    result.error = _("the network library could not be started");
    return result;
  }
  CURL* h = curl.get();
  Transfer transfer;
  const bool plainHttp = source.allowPlainHttpToLoopback && isLoopbackHttp(source.url);

  curl_easy_setopt(h, CURLOPT_URL, source.url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, plainHttp ? "http" : "https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, kFeedMaxRedirects);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kFeedConnectTimeoutMs);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kFeedTotalTimeoutMs);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kFeedMaxBytes));
  curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);  // timeouts must not use SIGALRM in a GUI process
  curl_easy_setopt(h, CURLOPT_NOPROXY, "127.0.0.1,localhost,::1");
  // A name lookup runs on a thread of libcurl's own, which may be stuck in the
  // system's resolver long after the connect limit or a cancel. Without this,
  // ending the transfer waits for that thread; with it, libcurl leaves the
  // thread to finish alone: the thread touches only what libcurl gave it and
  // frees that itself, and it dies with the process if the lookup never ends.
  curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, noteSocket);
  curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, &transfer);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);

  // The multi interface waits in a poll that cancel() can wake; the easy
  // interface's wait could only end with the server or a time-out.
  std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), curl_multi_cleanup);
  if (!multi || curl_multi_add_handle(multi.get(), h) != CURLM_OK) {
    result.error = _("the network library could not be started");
    return result;
  }
  CURLcode code = CURLE_OK;
  {
    FetchRegistration registration(cancel, multi.get());
    int running = 1;
    while (running) {
      if (cancel && cancel->cancelled()) {
        code = CURLE_ABORTED_BY_CALLBACK;
        break;
      }
      if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
        code = CURLE_OUT_OF_MEMORY;
        break;
      }
      if (running && curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr) != CURLM_OK) {
        code = CURLE_OUT_OF_MEMORY;
        break;
      }
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == h) code = message->data.result;
    }
  }
  curl_multi_remove_handle(multi.get(), h);
  if (code == CURLE_ABORTED_BY_CALLBACK) {
    result.error = _("the update check was cancelled");
    return result;
  }
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (code != CURLE_OK) {
    result.error = reasonFor(code, status, transfer);
    return result;
  }
  if (status < 200 || status > 299) {
    result.error = formatTranslated(_("the update server answered with status %s"), std::to_string(status));
    return result;
  }
  result.ok = true;
  result.body = std::move(transfer.body);
  return result;
}

}  // namespace moonwisp::update
