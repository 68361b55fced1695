#include "platform/update/web_address.h"

#include <curl/curl.h>

#include <memory>

namespace moonwisp::update {
namespace {

bool hasPrefixIgnoringCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

bool isWebAddress(const std::string& text) {
  if (text.empty() || text.size() > 4096) return false;
  for (const unsigned char c : text) {
    if (c <= 0x20 || c == 0x7f) return false;
  }
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  char* scheme = nullptr;
  char* host = nullptr;
  bool ok = curl_url_get(url.get(), CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
            curl_url_get(url.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK && host[0] != '\0';
  if (ok) {
    const std::string s = scheme;
    ok = s == "http" || s == "https";
  }
  curl_free(scheme);
  curl_free(host);
  // Absolute means "scheme://host": curl would also take "http:host".
  return ok && (hasPrefixIgnoringCase(text, "http://") || hasPrefixIgnoringCase(text, "https://"));
}

}  // namespace moonwisp::update
