#pragma once
// The platform's 64-bit microsecond counter value, held as two 32-bit words.
// The counter itself is the platform's (implemented in platform/core).
#include <cstdint>

struct UnsignedWide {
  uint32_t lo;  // low 32 bits
  uint32_t hi;  // high 32 bits
};

// Stores the current value of a monotonic counter of microseconds.
void Microseconds(UnsignedWide* value);
// 64-bit two's-complement subtraction target - source, stored into target.
UnsignedWide* WideSubtract(UnsignedWide* target, const UnsignedWide* source);
