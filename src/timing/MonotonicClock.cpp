#include "timing/MonotonicClock.h"

#include <chrono>

namespace moonwisp {
namespace {
MicrosecondSource g_source = nullptr;
}

int64_t monotonicNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void setMicrosecondSource(MicrosecondSource source) { g_source = source; }

}  // namespace moonwisp

void Microseconds(UnsignedWide* value) {
  const uint64_t now =
      moonwisp::g_source ? moonwisp::g_source() : uint64_t(moonwisp::monotonicNanoseconds()) / 1000u;
  value->lo = uint32_t(now);
  value->hi = uint32_t(now >> 32);
}
