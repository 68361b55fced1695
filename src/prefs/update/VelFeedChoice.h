#pragma once
// Picks the entry of the update feed that a user would be offered.
#include <vector>

#include "platform/update/feed_entry.h"

namespace moonwisp {

// Index of the entry with the highest version, the first one of equal
// versions; entries without a (parsable) version are skipped. -1 when no
// entry has a version.
int chooseNewestFeedEntry(const std::vector<moonwisp::update::FeedEntry>& entries);

}  // namespace moonwisp
