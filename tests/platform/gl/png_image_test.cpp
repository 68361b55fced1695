// Decoding of every PNG colour type, depth and interlacing into 8-bit RGB(A),
// rows top down; broken and oversized files give an empty image.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gl/png_image.h"

using moonwisp::RasterImage;

namespace {

struct PngFormat {
  int width = 3;
  int height = 2;
  int colourType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  int interlace = PNG_INTERLACE_NONE;
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;  // tRNS for palette images
  bool greyKey = false;                // tRNS for grey images: value 0 is transparent
};

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

// Encodes raw rows (already in the file's own sample layout) as a PNG.
std::vector<uint8_t> encode(const PngFormat& format, const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test image";
    return {};
  }
  png_set_write_fn(png, &out, appendBytes, nullptr);
  png_set_IHDR(png, info, format.width, format.height, format.bitDepth, format.colourType, format.interlace,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!format.palette.empty())
    png_set_PLTE(png, info, format.palette.data(), static_cast<int>(format.palette.size()));
  if (!format.paletteAlpha.empty())
    png_set_tRNS(png, info, format.paletteAlpha.data(), static_cast<int>(format.paletteAlpha.size()), nullptr);
  if (format.greyKey) {
    png_color_16 key{};
    key.gray = 0;
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const auto& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

RasterImage decode(const std::vector<uint8_t>& bytes, std::string* error = nullptr) {
  return moonwisp::decodePngImage(bytes.data(), bytes.size(), error);
}

std::vector<uint8_t> pixel(const RasterImage& image, int x, int y) {
  const uint8_t* p = &image.pixels[(static_cast<size_t>(y) * image.width + x) * image.channels()];
  return std::vector<uint8_t>(p, p + image.channels());
}

std::string temporaryPath(const std::string& name) {
  return testing::TempDir() + "png_image_test_" + std::to_string(getpid()) + "_" + name;
}

// A 3 x 2 RGBA picture whose rows differ, to catch flipped or shifted rows.
std::vector<std::vector<uint8_t>> rgbaRows() {
  return {{255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0},
          {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}};
}

}  // namespace

TEST(PngImageDecode, RgbAndRgbaKeepTheirChannelsAndRowOrder) {
  PngFormat format;
  format.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  const RasterImage rgba = decode(encode(format, rgbaRows()));
  ASSERT_FALSE(rgba.empty());
  EXPECT_EQ(rgba.width, 3);
  EXPECT_EQ(rgba.height, 2);
  EXPECT_TRUE(rgba.hasAlpha);
  EXPECT_EQ(rgba.pixels.size(), 3u * 2u * 4u);
  EXPECT_EQ(pixel(rgba, 0, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
  EXPECT_EQ(pixel(rgba, 1, 0), (std::vector<uint8_t>{0, 255, 0, 128}));
  EXPECT_EQ(pixel(rgba, 2, 1), (std::vector<uint8_t>{90, 100, 110, 120}));

  format.colourType = PNG_COLOR_TYPE_RGB;
  const RasterImage rgb = decode(encode(format, {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {11, 12, 13, 14, 15, 16, 17, 18, 19}}));
  ASSERT_FALSE(rgb.empty());
  EXPECT_FALSE(rgb.hasAlpha);
  EXPECT_EQ(rgb.pixels.size(), 3u * 2u * 3u);
  EXPECT_EQ(pixel(rgb, 2, 0), (std::vector<uint8_t>{7, 8, 9}));
  EXPECT_EQ(pixel(rgb, 0, 1), (std::vector<uint8_t>{11, 12, 13}));
}

TEST(PngImageDecode, GreyPaletteSixteenBitAndInterlacedAreConverted) {
  PngFormat grey;
  grey.colourType = PNG_COLOR_TYPE_GRAY;
  const RasterImage g8 = decode(encode(grey, {{0, 128, 255}, {1, 2, 3}}));
  ASSERT_FALSE(g8.empty());
  EXPECT_FALSE(g8.hasAlpha);
  EXPECT_EQ(pixel(g8, 1, 0), (std::vector<uint8_t>{128, 128, 128}));

  grey.bitDepth = 1;  // 3 pixels in the top bits of one byte
  const RasterImage g1 = decode(encode(grey, {{0b10100000}, {0b01000000}}));
  ASSERT_FALSE(g1.empty());
  EXPECT_EQ(pixel(g1, 0, 0), (std::vector<uint8_t>{255, 255, 255}));
  EXPECT_EQ(pixel(g1, 1, 0), (std::vector<uint8_t>{0, 0, 0}));
  EXPECT_EQ(pixel(g1, 1, 1), (std::vector<uint8_t>{255, 255, 255}));

  PngFormat greyAlpha;
  greyAlpha.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
  const RasterImage ga = decode(encode(greyAlpha, {{10, 20, 30, 40, 50, 60}, {1, 2, 3, 4, 5, 6}}));
  ASSERT_FALSE(ga.empty());
  EXPECT_TRUE(ga.hasAlpha);
  EXPECT_EQ(pixel(ga, 2, 0), (std::vector<uint8_t>{50, 50, 50, 60}));

  PngFormat wide;
  wide.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  wide.bitDepth = 16;
  wide.width = 1;
  wide.height = 1;
  const RasterImage w16 = decode(encode(wide, {{0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00, 0x12, 0x34}}));
  ASSERT_FALSE(w16.empty());
  EXPECT_TRUE(w16.hasAlpha);
  const std::vector<uint8_t> p = pixel(w16, 0, 0);
  EXPECT_EQ(p[0], 255);
  EXPECT_NEAR(p[1], 128, 1);
  EXPECT_EQ(p[2], 0);
  EXPECT_NEAR(p[3], 0x12, 1);

  PngFormat palette;
  palette.colourType = PNG_COLOR_TYPE_PALETTE;
  palette.bitDepth = 4;
  palette.palette = {{255, 0, 0}, {0, 0, 255}};
  palette.paletteAlpha = {255, 64};
  const RasterImage pal = decode(encode(palette, {{0x01, 0x00}, {0x10, 0x10}}));
  ASSERT_FALSE(pal.empty());
  EXPECT_TRUE(pal.hasAlpha);
  EXPECT_EQ(pixel(pal, 0, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
  EXPECT_EQ(pixel(pal, 1, 0), (std::vector<uint8_t>{0, 0, 255, 64}));
  EXPECT_EQ(pixel(pal, 0, 1), (std::vector<uint8_t>{0, 0, 255, 64}));

  PngFormat keyed;
  keyed.colourType = PNG_COLOR_TYPE_GRAY;
  keyed.greyKey = true;
  const RasterImage key = decode(encode(keyed, {{0, 200, 0}, {9, 9, 9}}));
  ASSERT_FALSE(key.empty());
  EXPECT_TRUE(key.hasAlpha);
  EXPECT_EQ(pixel(key, 0, 0), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(pixel(key, 1, 0), (std::vector<uint8_t>{200, 200, 200, 255}));

  PngFormat interlaced;
  interlaced.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  interlaced.interlace = PNG_INTERLACE_ADAM7;
  const RasterImage adam7 = decode(encode(interlaced, rgbaRows()));
  PngFormat plain;
  plain.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  EXPECT_EQ(adam7.pixels, decode(encode(plain, rgbaRows())).pixels);
}

TEST(PngImageDecode, BrokenInputGivesAnEmptyImageAndAReason) {
  PngFormat format;
  format.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  const std::vector<uint8_t> good = encode(format, rgbaRows());
  std::string error;

  EXPECT_TRUE(decode({}, &error).empty());
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(moonwisp::decodePngImage(nullptr, 100, &error).empty());
  EXPECT_TRUE(decode({'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}, &error).empty());

  // Cut at every length: never a crash, never a partial image.
  for (size_t length = 0; length < good.size() - 12; ++length) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(length));
    error.clear();
    EXPECT_TRUE(decode(cut, &error).empty()) << "length " << length;
    EXPECT_FALSE(error.empty()) << "length " << length;
  }

  // A flipped byte in the header chunk fails its checksum.
  std::vector<uint8_t> corrupt = good;
  corrupt[20] ^= 0x40;
  EXPECT_TRUE(decode(corrupt, &error).empty());
}

TEST(PngImageDecode, ImagesOverTheSizeLimitAreRefused) {
  PngFormat format;
  format.colourType = PNG_COLOR_TYPE_GRAY;
  format.width = moonwisp::kMaxImageSide + 1;
  format.height = 1;
  std::string error;
  EXPECT_TRUE(decode(encode(format, {std::vector<uint8_t>(format.width, 7)}), &error).empty());
  EXPECT_FALSE(error.empty());

  format.width = 1;
  format.height = moonwisp::kMaxImageSide + 1;
  std::vector<std::vector<uint8_t>> tall(format.height, std::vector<uint8_t>(1, 7));
  EXPECT_TRUE(decode(encode(format, tall)).empty());

  format.width = moonwisp::kMaxImageSide;
  format.height = 1;
  const RasterImage widest = decode(encode(format, {std::vector<uint8_t>(format.width, 7)}));
  EXPECT_EQ(widest.width, moonwisp::kMaxImageSide);
}

TEST(PngImageFile, MissingFileGivesAnEmptyImage) {
  std::string error;
  EXPECT_TRUE(moonwisp::loadPngImage("/nonexistent/wing1.png", &error).empty());
  EXPECT_NE(error.find("/nonexistent/wing1.png"), std::string::npos);
  EXPECT_TRUE(moonwisp::loadPngImage("/", &error).empty());
}

TEST(PngImageFile, WrittenImagesReadBackUnchanged) {
  RasterImage image;
  image.width = 5;
  image.height = 3;
  image.hasAlpha = true;
  for (int i = 0; i < 5 * 3 * 4; ++i) image.pixels.push_back(static_cast<uint8_t>(i * 7));
  const std::string path = temporaryPath("roundtrip.png");
  std::string error;
  ASSERT_TRUE(moonwisp::writePngImage(path, image, &error)) << error;
  const RasterImage back = moonwisp::loadPngImage(path, &error);
  EXPECT_EQ(back.width, 5);
  EXPECT_EQ(back.height, 3);
  EXPECT_TRUE(back.hasAlpha);
  EXPECT_EQ(back.pixels, image.pixels);
  std::remove(path.c_str());

  image.hasAlpha = false;
  image.pixels.resize(5 * 3 * 3);
  ASSERT_TRUE(moonwisp::writePngImage(path, image, &error)) << error;
  EXPECT_EQ(moonwisp::loadPngImage(path).pixels, image.pixels);
  std::remove(path.c_str());
}

TEST(PngImageFile, UnwritablePathsAndBadImagesFailWithoutLeavingFiles) {
  RasterImage image;
  image.width = 2;
  image.height = 2;
  image.pixels.assign(2 * 2 * 3, 9);
  std::string error;
  EXPECT_FALSE(moonwisp::writePngImage("/nonexistent/dir/out.png", image, &error));
  EXPECT_FALSE(error.empty());

  const std::string path = temporaryPath("bad.png");
  RasterImage inconsistent = image;
  inconsistent.pixels.pop_back();
  EXPECT_FALSE(moonwisp::writePngImage(path, inconsistent));
  EXPECT_FALSE(moonwisp::writePngImage(path, RasterImage()));
  EXPECT_FALSE(std::ifstream(path).good());
  EXPECT_FALSE(std::ifstream(path + ".part").good());

  // A truncated file on disk reads as empty.
  PngFormat format;
  format.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  const std::vector<uint8_t> good = encode(format, rgbaRows());
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(good.data()), static_cast<std::streamsize>(good.size() / 2));
  }
  EXPECT_TRUE(moonwisp::loadPngImage(path, &error).empty());
  std::remove(path.c_str());
}
