#pragma once
// One published version as the update feed lists it.
#include <optional>
#include <string>

namespace moonwisp::update {

struct FeedEntry {
  std::optional<std::string> version;
  // Only absolute http or https addresses are kept; anything else is absent.
  std::optional<std::string> downloadURL;
  std::optional<std::string> detailsURL;
};

}  // namespace moonwisp::update
