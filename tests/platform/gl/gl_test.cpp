// The GLX surface under the test X server (our own window, a foreign one
// adopted by id, a lost one) and the headless EGL surface: each draws into a
// picture of its size, and sizes they cannot make are refused. PNG pictures
// written read back unchanged; broken, cut and oversized files give an empty
// image and a reason, and a failed write leaves no file.
// gtest first: X11 defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "support/files.h"
#include "support/gl.h"
#include "support/process.h"
#include "platform/core/system_log.h"
#include "platform/gl/glx_context.h"
#include "platform/gl/png_image.h"

namespace moonwisp {
namespace {

// Green over the whole surface, read back before the swap (a GLX front buffer
// reads back black under Xvfb): a drawable smaller than the bounds shows.
void drawAndCheck(GLSurface& surface) {
  const int width = int(surface.bounds().width), height = int(surface.bounds().height);
  ASSERT_TRUE(surface.makeCurrent());
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_EQ(test::readPicture(width, height).countAbove(200), width * height);
  surface.flushBuffer();
  surface.release();
}

TEST(EglSurface, DrawsIntoAPictureOfItsSizeAndRefusesSizesItCannotMake) {
  EXPECT_TRUE(!EglSurface::create(0, 10) && !EglSurface::create(1 << 20, 4));
  auto surface = EglSurface::create(67, 33);
  ASSERT_TRUE(surface);
  drawAndCheck(*surface);
}

TEST(GlxSurface, WindowsAreDrawnIntoAndLostOnesFailWithoutEndingTheProcess) {
  Display* display = XOpenDisplay(nullptr);
  MOONWISP_NEEDS_SERVER(display != nullptr, "no X display");
  std::string log;
  setSystemLogSink([&log](const std::string& line) { log += line + "\n"; });
  for (const auto& size : {std::pair{0, 100}, std::pair{100, -1}, std::pair{40000, 10}})
    EXPECT_EQ(GlxSurface::createWindow(display, size.first, size.second, "t"), nullptr);
  EXPECT_EQ(GlxSurface::createForWindow(display, 0x7ffffff0), nullptr);
  auto own = GlxSurface::createWindow(display, 160, 100, "moonwisp test");
  ASSERT_TRUE(own);
  drawAndCheck(*own);
  // XScreenSaver hands over a window by id: ours seen by a second client, or
  // a plain one with the default visual. Both stay when we let go of them.
  const Window plain = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 50, 30, 0, 0, 0);
  for (const Window id : {own->window().id(), plain}) {
    auto adopted = GlxSurface::createForWindow(display, id);
    ASSERT_TRUE(adopted);
    drawAndCheck(*adopted);
    adopted.reset();
    XWindowAttributes attributes;
    EXPECT_NE(XGetWindowAttributes(display, id, &attributes), 0);
  }
  // A window destroyed under us: drawing and presenting must not crash, and
  // an X error outside any trap is logged, not fatal.
  auto lost = GlxSurface::createForWindow(display, plain);
  XDestroyWindow(display, plain);
  XSync(display, False);
  if (lost->makeCurrent()) lost->flushBuffer();
  EXPECT_EQ(lost->bounds().width, 0.0);
  lost.reset();
  XMapWindow(display, plain);
  XSync(display, False);
  for (const char* line : {"outside", "no window 0x7ffffff0", "X error"})
    EXPECT_NE(log.find(line), std::string::npos) << log;
  setSystemLogSink(nullptr);
  own.reset();  // before its display
  XCloseDisplay(display);
}

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
