#include "platform/image/png_image.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace moonwisp {
namespace {

// Largest size of one ancillary chunk libpng may allocate (text, ICC profile);
// the pixels are bounded by kMaxImageSide.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

struct ReadSource {
  const uint8_t* data;
  size_t size;
  size_t offset;
};

struct ErrorText {
  char text[200] = "";
};

[[noreturn]] void onError(png_structp png, png_const_charp message) {
  auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
  if (error) std::snprintf(error->text, sizeof error->text, "%s", message);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
  if (length > source->size - source->offset) png_error(png, "file is truncated");
  std::memcpy(out, source->data + source->offset, length);
  source->offset += length;
}

// Decodes into *image; false with the reason in error->text on any failure.
// Nothing with a destructor is created between setjmp and a possible longjmp.
bool decode(ReadSource* source, RasterImage* image, std::vector<png_bytep>* rows, ErrorText* error) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, error, onError, onWarning);
  if (!png) {
    std::snprintf(error->text, sizeof error->text, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    std::snprintf(error->text, sizeof error->text, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, source, readFromMemory);
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_read_info(png, info);

  const png_byte colourType = png_get_color_type(png, info);
  const png_byte bitDepth = png_get_bit_depth(png, info);
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (bitDepth == 16) png_set_scale_16(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int channels = png_get_channels(png, info);
  if ((channels != 3 && channels != 4) || png_get_bit_depth(png, info) != 8 ||
      png_get_rowbytes(png, info) != static_cast<size_t>(width) * channels)
    png_error(png, "unsupported pixel layout");

  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  image->hasAlpha = channels == 4;
  image->pixels.resize(static_cast<size_t>(width) * height * channels);
  rows->resize(height);
  for (png_uint_32 y = 0; y < height; ++y)
    (*rows)[y] = image->pixels.data() + static_cast<size_t>(y) * width * channels;
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

RasterImage decodePngImage(const uint8_t* data, size_t size, std::string* error) {
  RasterImage image;
  if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) {
    if (error) *error = "not a PNG file";
    return image;
  }
  ReadSource source{data, size, 0};
  std::vector<png_bytep> rows;
  ErrorText text;
  if (!decode(&source, &image, &rows, &text)) {
    if (error) *error = text.text[0] ? text.text : "cannot decode the PNG file";
    return RasterImage();
  }
  return image;
}

RasterImage loadPngImage(const std::string& path, std::string* error) {
  const auto close = [](FILE* opened) { std::fclose(opened); };
  std::unique_ptr<FILE, decltype(close)> file(std::fopen(path.c_str(), "rb"), close);
  if (!file) {
    if (error) *error = "cannot open " + path;
    return RasterImage();
  }
  // The largest sensible file: every pixel of the largest image stored
  // uncompressed (deflate's stored blocks add a few bytes per 64 KiB).
  constexpr size_t kMaxFileBytes = static_cast<size_t>(kMaxImageSide) * kMaxImageSide * 8 + (64u << 20);
  std::vector<uint8_t> bytes;
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (bytes.size() + n > kMaxFileBytes) {
      if (error) *error = path + " is too large";
      return RasterImage();
    }
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  if (std::ferror(file.get())) {
    if (error) *error = "cannot read " + path;
    return RasterImage();
  }
  std::string reason;
  RasterImage image = decodePngImage(bytes.data(), bytes.size(), &reason);
  if (image.empty() && error) *error = path + ": " + reason;
  return image;
}

namespace {

bool encode(FILE* file, const RasterImage& image, std::vector<png_const_bytep>* rows, ErrorText* error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, onError, onWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
               8, image.hasAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(image.width) * image.channels();
  rows->resize(static_cast<size_t>(image.height));
  for (int y = 0; y < image.height; ++y) (*rows)[y] = image.pixels.data() + y * stride;
  png_write_rows(png, const_cast<png_bytepp>(rows->data()), static_cast<png_uint_32>(image.height));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writePngImage(const std::string& path, const RasterImage& image, std::string* error) {
  const size_t expected = static_cast<size_t>(image.width) * image.height * image.channels();
  if (image.width < 1 || image.height < 1 || image.pixels.size() != expected) {
    if (error) *error = "the image to write is empty or inconsistent";
    return false;
  }
  // Written beside the target and renamed, so that a failure leaves no partial file.
  const std::string temporary = path + ".part";
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    if (error) *error = "cannot create " + path;
    return false;
  }
  std::vector<png_const_bytep> rows;
  ErrorText text;
  const bool encoded = encode(file, image, &rows, &text);
  const bool closed = std::fclose(file) == 0;
  if (!encoded || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    if (error) *error = "cannot write " + path + (text.text[0] ? std::string(": ") + text.text : "");
    return false;
  }
  return true;
}

}  // namespace moonwisp
