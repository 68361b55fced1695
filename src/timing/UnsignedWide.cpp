#include "timing/UnsignedWide.h"

UnsignedWide* WideSubtract(UnsignedWide* target, const UnsignedWide* source) {
  const uint64_t a = (uint64_t(target->hi) << 32) | target->lo;
  const uint64_t b = (uint64_t(source->hi) << 32) | source->lo;
  const uint64_t d = a - b;  // two's complement: a negative result has a non-zero hi word
  target->lo = uint32_t(d);
  target->hi = uint32_t(d >> 32);
  return target;
}
