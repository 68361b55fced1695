// PNG pictures written read back unchanged; broken, cut and oversized files
// give an empty image and a reason, and a failed write leaves no file.
#include <gtest/gtest.h>

#include "support/files.h"
#include "platform/image/png_image.h"

namespace moonwisp {
namespace {

// Every byte differs from its neighbours, so a flipped, shifted or mixed row shows.
RasterImage picture(int width, int height, bool alpha) {
  RasterImage image{width, height, alpha, {}};
  for (size_t i = 0; i < static_cast<size_t>(width) * height * image.channels(); ++i)
    image.pixels.push_back(static_cast<uint8_t>(i * 7));
  return image;
}

TEST(PngImage, WrittenPicturesReadBackUnchangedAndBadFilesGiveAnEmptyImageAndAReason) {
  test::TestFolder folder;
  const RasterImage images[] = {picture(5, 3, true), picture(4, 2, false), picture(kMaxImageSide, 1, true)};
  for (const RasterImage& image : images) {
    std::string error;
    ASSERT_TRUE(writePngImage(folder / "good", image, &error)) << error;
    const RasterImage back = loadPngImage(folder / "good", &error);
    EXPECT_TRUE(back.width == image.width && back.hasAlpha == image.hasAlpha && back.pixels == image.pixels);
  }
  ASSERT_TRUE(writePngImage(folder / "good", picture(3, 2, true)));
  ASSERT_TRUE(writePngImage(folder / "wide", picture(kMaxImageSide + 1, 1, false)));
  ASSERT_TRUE(writePngImage(folder / "tall", picture(1, kMaxImageSide + 1, false)));
  const std::string good = test::readFile(folder / "good");
  std::string flipped = good;
  flipped[20] ^= 0x40;  // the header's checksum no longer matches
  std::vector<std::string> files = {"GIF89a", flipped};
  for (size_t length = 0; length < good.size() - 12; ++length) files.push_back(good.substr(0, length));
  for (const std::string& file : files) {
    std::string error;
    EXPECT_TRUE(decodePngImage(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &error).empty());
    EXPECT_FALSE(error.empty()) << file.size();
  }
  for (const std::string& path : {folder / "wide", folder / "tall", folder / "missing", folder.path()}) {
    std::string error;
    EXPECT_TRUE(loadPngImage(path, &error).empty());
    EXPECT_NE(error.find(path), std::string::npos) << error;
  }
  // A failed write leaves no file.
  RasterImage inconsistent = picture(2, 2, false);
  inconsistent.pixels.pop_back();
  EXPECT_FALSE(writePngImage(folder / "missing/p.png", picture(2, 2, false)));
  EXPECT_FALSE(writePngImage(folder / "p.png", inconsistent));
  EXPECT_FALSE(writePngImage(folder / "p.png", RasterImage()));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"good", "tall", "wide"}));
}

}  // namespace
}  // namespace moonwisp
