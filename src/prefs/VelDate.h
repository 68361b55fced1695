#pragma once
// A point in time with microsecond resolution (UTC): when the update feed
// was last checked.
#include <chrono>

namespace moonwisp {

using VelDate = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;

}  // namespace moonwisp
