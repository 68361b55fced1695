#include "prefs/update/VelFeedChoice.h"

#include "prefs/update/VelVersionString.h"

namespace moonwisp {

int chooseNewestFeedEntry(const std::vector<moonwisp::update::FeedEntry>& entries) {
  int best = -1;
  VelVersion bestVersion;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!entries[i].version) continue;
    const auto version = parseVelVersionString(*entries[i].version);
    if (!version) continue;
    if (best < 0 || compareVelVersions(bestVersion, *version) < 0) {
      best = static_cast<int>(i);
      bestVersion = *version;
    }
  }
  return best;
}

}  // namespace moonwisp
