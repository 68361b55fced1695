#include "world/render/VelGlowBufferSize.h"

namespace {

// Number of halvings that bring the smaller side to 0; 0 when that side is
// below 1. The power-of-two sides follow from it.
int halvingCount(int32_t width, int32_t height) {
  int32_t side = width < height ? width : height;
  int count = 0;
  while (side > 0) {
    side >>= 1;
    ++count;
  }
  return count;
}

}  // namespace

int32_t screen_buffer_dimensions1(int32_t width, int32_t height) {
  const int n = halvingCount(width, height);
  return n >= 2 ? static_cast<int32_t>(1) << (n - 1) : 0;
}

int32_t screen_buffer_dimensions2(int32_t width, int32_t height) {
  const int n = halvingCount(width, height);
  return n >= 2 ? static_cast<int32_t>(1) << (n - 2) : 0;
}
