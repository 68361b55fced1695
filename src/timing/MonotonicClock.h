#pragma once
// The program's one clock: std::chrono::steady_clock, which on Linux reads
// CLOCK_MONOTONIC. It comes in two forms of the same reading:
//   monotonicNanoseconds()  nanoseconds, for the host's frame deadlines and --fps;
//   Microseconds(&wide)     that reading divided by 1000 (truncated), as the
//                           two 32-bit words of an UnsignedWide, for the
//                           engine's frame clock (Scheduler).
#include <cstdint>

#include "timing/UnsignedWide.h"

namespace moonwisp {

int64_t monotonicNanoseconds();

// Test seam: replaces the microsecond reading behind Microseconds() (the
// engine's clock only; the host keeps the real one); nullptr restores it.
using MicrosecondSource = uint64_t (*)();
void setMicrosecondSource(MicrosecondSource source);

}  // namespace moonwisp

// Stores the current value of the clock in microseconds.
void Microseconds(UnsignedWide* value);
