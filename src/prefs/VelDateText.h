#pragma once
// Dates as text: ISO 8601 in UTC with microseconds, 2026-12-06T07:52:41.123456Z.
#include <optional>
#include <string>

#include "prefs/VelDate.h"

namespace moonwisp {

// Nothing for a date outside the years 0000 ..= 9999, which the form cannot hold.
std::optional<std::string> formatVelDate(VelDate date);

// Reads "YYYY-MM-DDTHH:MM:SS", an optional fraction of a second (up to nine
// digits, kept to the microsecond), and "Z" or an offset (+HH:MM, +HHMM,
// +HH). Anything else, including a date or time that does not exist, or text
// without a time zone, is no date.
std::optional<VelDate> parseVelDate(const std::string& text);

}  // namespace moonwisp
