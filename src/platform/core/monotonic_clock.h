#pragma once
// Microsecond counter over CLOCK_MONOTONIC, with a seam for tests.
#include <cstdint>

#include "timing/UnsignedWide.h"

namespace moonwisp {

uint64_t monotonicMicroseconds();

// Test seam: replaces the counter behind Microseconds(); nullptr restores it.
using MicrosecondSource = uint64_t (*)();
void setMicrosecondSource(MicrosecondSource source);

}  // namespace moonwisp
