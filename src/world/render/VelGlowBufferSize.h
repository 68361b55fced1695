#pragma once
// Sides of the two square glow buffers for a view: the world's renderer draws
// into them and the view's GL resources allocate them.
#include <cstdint>

// Side of the full glow buffer: the largest power of two not greater than the
// smaller of width and height. 0 when that side is below 2 pixels (no glow).
int32_t screen_buffer_dimensions1(int32_t width, int32_t height);
// Side of the half glow buffer: screen_buffer_dimensions1 / 2 (0 when no glow).
int32_t screen_buffer_dimensions2(int32_t width, int32_t height);
