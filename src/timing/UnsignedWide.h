#pragma once
// A 64-bit value held as two 32-bit words: a reading of the clock in
// microseconds (timing/MonotonicClock.h) or a difference of two.
#include <cstdint>

struct UnsignedWide {
  uint32_t lo;  // low 32 bits
  uint32_t hi;  // high 32 bits
};

// 64-bit two's-complement subtraction target - source, stored into target.
UnsignedWide* WideSubtract(UnsignedWide* target, const UnsignedWide* source);
