#pragma once
// Decoding of PNG images with libpng into 8-bit RGB or RGBA pixels, rows from
// the top of the image down, no padding between rows. Every PNG colour type,
// bit depth and interlacing is converted. A missing, truncated or corrupt file,
// or one larger than kMaxImageSide on a side, gives an empty image.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace moonwisp {

struct RasterImage {
  int width = 0;
  int height = 0;
  bool hasAlpha = false;         // 4 bytes per pixel (RGBA) when true, else 3 (RGB)
  std::vector<uint8_t> pixels;   // width * height * (hasAlpha ? 4 : 3) bytes

  bool empty() const { return pixels.empty(); }
  int channels() const { return hasAlpha ? 4 : 3; }
};

constexpr int kMaxImageSide = 4096;

// On failure the image is empty and *error (when given) says why.
RasterImage loadPngImage(const std::string& path, std::string* error = nullptr);
RasterImage decodePngImage(const uint8_t* data, size_t size, std::string* error = nullptr);

// Writes 8-bit RGB or RGBA pixels (rows top down) as a PNG file. False, with
// *error set and no file left behind, when it cannot be written.
bool writePngImage(const std::string& path, const RasterImage& image, std::string* error = nullptr);

}  // namespace moonwisp
