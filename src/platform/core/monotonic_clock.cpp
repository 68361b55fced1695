#include "platform/core/monotonic_clock.h"

#include <ctime>

namespace moonwisp {
namespace {
MicrosecondSource g_source = nullptr;
}

uint64_t monotonicMicroseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

void setMicrosecondSource(MicrosecondSource source) { g_source = source; }

}  // namespace moonwisp

void Microseconds(UnsignedWide* value) {
  const uint64_t now = moonwisp::g_source ? moonwisp::g_source() : moonwisp::monotonicMicroseconds();
  value->lo = uint32_t(now);
  value->hi = uint32_t(now >> 32);
}

UnsignedWide* WideSubtract(UnsignedWide* target, const UnsignedWide* source) {
  const uint64_t a = (uint64_t(target->hi) << 32) | target->lo;
  const uint64_t b = (uint64_t(source->hi) << 32) | source->lo;
  const uint64_t d = a - b;  // two's complement: a negative result has a non-zero hi word
  target->lo = uint32_t(d);
  target->hi = uint32_t(d >> 32);
  return target;
}
