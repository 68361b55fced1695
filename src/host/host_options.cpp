#include "host/host_options.h"

#include <algorithm>
#include <cmath>

namespace moonwisp {

int64_t viewPeriodNs(const SaverHostOptions& options, const ScreenSaverView& view) {
  constexpr int64_t kNsPerSecond = 1000000000;
  if (options.intervalUs >= 0) return options.intervalUs * 1000;
  const double seconds = view.animationTimeInterval();
  if (!(seconds > 0) || !std::isfinite(seconds)) return kNsPerSecond / 60;
  return static_cast<int64_t>(std::llround(std::min(seconds, 3600.0) * kNsPerSecond));
}

}  // namespace moonwisp
