#pragma once
// Reads the update feed's entries from a fetched body.
#include <string>
#include <vector>

#include "platform/update/feed_entry.h"

namespace moonwisp::update {

enum class FeedParseStatus {
  ok,         // a document was read; entries holds its update entries (maybe none)
  malformed,  // not well-formed (a recovering parse may still read it)
  notAFeed,   // well-formed, but its root is not "updates" (an error page, say)
  refused,    // carries a document type declaration: entities and external
              // subsets are never processed, so such a feed is not read at all
};

struct FeedParseResult {
  FeedParseStatus status = FeedParseStatus::malformed;
  std::vector<FeedEntry> entries;  // in document order
};

// Parses without network access, without substituting entities and without
// loading any DTD. With recover set, malformed markup is repaired as far as
// the parser can. Entries are the elements "./updates/update" of the document.
FeedParseResult parseFeed(const std::string& body, bool recover);

}  // namespace moonwisp::update
