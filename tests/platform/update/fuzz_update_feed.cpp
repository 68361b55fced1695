// Feed bytes through the strict and the recovering parse to the chosen entry.
#include <cstddef>
#include <cstdint>

#include "platform/update/feed_parse.h"
#include "platform/update/web_address.h"
#include "prefs/update/VelFeedChoice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace moonwisp;
  using namespace moonwisp::update;
  const std::string body(reinterpret_cast<const char*>(data), size);
  FeedParseResult feed = parseFeed(body, false);
  if (feed.status == FeedParseStatus::malformed) feed = parseFeed(body, true);
  for (const FeedEntry& entry : feed.entries) {
    if (entry.downloadURL && !isWebAddress(*entry.downloadURL)) __builtin_trap();
    if (entry.detailsURL && !isWebAddress(*entry.detailsURL)) __builtin_trap();
  }
  const int best = chooseNewestFeedEntry(feed.entries);
  if (best >= 0 && !feed.entries[static_cast<size_t>(best)].version) __builtin_trap();
  return 0;
}
