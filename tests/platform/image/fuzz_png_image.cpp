// libFuzzer target: any bytes given to the PNG decoder give either an empty
// image or a consistent one, never a crash or an out-of-bounds access.
#include "platform/image/png_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const moonwisp::RasterImage image = moonwisp::decodePngImage(data, size);
  if (image.empty()) return 0;
  const size_t expected = static_cast<size_t>(image.width) * image.height * image.channels();
  if (image.width < 1 || image.height < 1 || image.width > moonwisp::kMaxImageSide ||
      image.height > moonwisp::kMaxImageSide || image.pixels.size() != expected)
    __builtin_trap();
  return 0;
}
