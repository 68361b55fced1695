#pragma once
// Version strings such as "1.2.3b": major, minor, patch and an optional
// lower-case letter that marks a pre-release of those numbers.
#include <cstdint>
#include <optional>
#include <string>

namespace moonwisp {

struct VelVersion {
  int32_t major = 0;
  int32_t minor = 0;
  int32_t patch = 0;
  int32_t letter = 0;  // 0 for none, 1..26 for a..z
};

// Longest text a part may have before its separator.
constexpr std::size_t kVelVersionMaxPartLength = 255;

// Parses "major.minor<any char>patch<letter>..."; absent or empty parts are 0.
// Returns nothing for text that is not plain ASCII or has a part longer than
// kVelVersionMaxPartLength: such a string is not a version.
std::optional<VelVersion> parseVelVersionString(const std::string& text);

// -1, 0 or 1 as a is older than, equal to or newer than b. A letter makes a
// version older than the same numbers without one.
int32_t compareVelVersions(const VelVersion& a, const VelVersion& b);

// The same over strings; a string that is not a version is older than every
// version and equal to any other such string.
int32_t compareVelVersionStrings(const std::string& a, const std::string& b);

}  // namespace moonwisp
