// The view's OpenGL objects in a headless context: glow buffer sizes, black
// glow buffers, the wing lists, loading once, disposal, and failed loads that
// leak nothing however often they are retried.
#include <gtest/gtest.h>

#include <climits>

#include "support/gl.h"
#include "saver/gl_resources.h"

using moonwisp::test::HeadlessContext;

TEST(ScreenBufferDimensions, LargestPowerOfTwoWithinTheSmallerSideAndItsHalf) {
  struct Case {
    int32_t w, h, d1, d2;
  };
  const Case cases[] = {{1920, 1200, 1024, 512}, {1440, 900, 512, 256}, {2560, 1440, 1024, 512},
                        {1024, 768, 512, 256},   {296, 184, 128, 64},   {1024, 1024, 1024, 512},
                        {1023, 2000, 512, 256},  {2, 2, 2, 1},          {3, 500, 2, 1},
                        {7680, 4320, 4096, 2048}};
  for (const Case& c : cases) {
    EXPECT_EQ(screen_buffer_dimensions1(c.w, c.h), c.d1) << c.w << " x " << c.h;
    EXPECT_EQ(screen_buffer_dimensions2(c.w, c.h), c.d2) << c.w << " x " << c.h;
  }
}

TEST(ScreenBufferDimensions, SidesBelowTwoPixelsGetNoGlowBuffers) {
  // Includes sizes whose halving never ends or would shift by a negative count.
  for (const auto& size : {std::pair{1, 1}, std::pair{1, 800}, std::pair{0, 0}, std::pair{-4, 100},
                           std::pair{INT32_MIN, 5}}) {
    EXPECT_EQ(screen_buffer_dimensions1(size.first, size.second), 0);
    EXPECT_EQ(screen_buffer_dimensions2(size.first, size.second), 0);
  }
  EXPECT_EQ(screen_buffer_dimensions1(INT32_MAX, INT32_MAX), 1 << 30);
}

namespace {

GLint textureSide(GLuint name) {
  glBindTexture(GL_TEXTURE_2D, name);
  GLint width = -1, height = -1;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  EXPECT_EQ(width, height);
  return width;
}

GLint textureParameter(GLuint name, GLenum parameter) {
  glBindTexture(GL_TEXTURE_2D, name);
  GLint value = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, parameter, &value);
  return value;
}

class GlResourcesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(context_.ok()) << context_.error();
  }
  void TearDown() override { setGenListsForTesting(nullptr); }

  HeadlessContext context_{32, 32};
  GLuint textures_[kTextureCount] = {};
  GLuint lists_[kDisplayListCount] = {};
  bool loaded_ = false;
};

GLuint failingGenLists(GLsizei) { return 0; }

}  // namespace

TEST_F(GlResourcesTest, GlowBuffersAreSizedFromTheViewAndBlack) {
  struct Case {
    int32_t w, h, d1, d2;
  };
  for (const Case& c : {Case{1920, 1200, 1024, 512}, Case{1024, 1024, 1024, 512}, Case{1023, 2000, 512, 256},
                        Case{296, 184, 128, 64}}) {
    GLuint textures[kTextureCount] = {};
    LoadGLTextures(textures, c.w, c.h);
    EXPECT_EQ(textureSide(textures[1]), c.d1) << c.w << " x " << c.h;
    EXPECT_EQ(textureSide(textures[2]), c.d2) << c.w << " x " << c.h;
    glDeleteTextures(kTextureCount, textures);
  }

  GLuint textures[kTextureCount] = {};
  LoadGLTextures(textures, 296, 184);
  for (int slot : {1, 2}) {
    const GLint side = textureSide(textures[slot]);
    std::vector<uint8_t> texels(static_cast<size_t>(side) * side * 3, 0xAB);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(std::count(texels.begin(), texels.end(), 0), static_cast<long>(texels.size())) << "slot " << slot;
    EXPECT_EQ(textureParameter(textures[slot], GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(textureParameter(textures[slot], GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  }
  // The wing image from the bundle, with alpha.
  glBindTexture(GL_TEXTURE_2D, textures[0]);
  GLint width = 0, format = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
  EXPECT_EQ(width, 256);
  EXPECT_EQ(format, GL_RGBA);
  EXPECT_EQ(textureParameter(textures[0], GL_TEXTURE_WRAP_T), GL_REPEAT);
  GLint alignment = 0;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  EXPECT_EQ(alignment, 1);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  glDeleteTextures(kTextureCount, textures);
}

TEST_F(GlResourcesTest, TinyViewsAndMissingImagesStillLoad) {
  GLuint textures[kTextureCount] = {};
  LoadGLTextures(textures, 1, 1);
  EXPECT_NE(textures[1], 0u);
  EXPECT_EQ(textureSide(textures[1]), 0);  // no storage: no glow at this size
  glDeleteTextures(kTextureCount, textures);

  LoadGLTexturesFromFile(textures, 64, 64, "/nonexistent/wing1.png");
  EXPECT_NE(textures[0], 0u);
  EXPECT_EQ(textureSide(textures[0]), 0);  // an empty texture
  EXPECT_EQ(textureSide(textures[1]), 64);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  glDeleteTextures(kTextureCount, textures);
}

TEST_F(GlResourcesTest, LoadFillsDistinctNamesAndConsecutiveWingLists) {
  glDataLoad(textures_, lists_, &loaded_, 640, 480);
  ASSERT_TRUE(loaded_);
  for (int i = 0; i < kTextureCount; ++i) EXPECT_NE(textures_[i], 0u);
  EXPECT_NE(textures_[0], textures_[1]);
  EXPECT_NE(textures_[1], textures_[2]);
  EXPECT_NE(lists_[0], 0u);
  EXPECT_EQ(lists_[1], lists_[0] + 1);
  EXPECT_EQ(lists_[2], lists_[0] + 2);
  for (GLuint list : lists_) EXPECT_TRUE(glIsList(list));

  // A second load while loaded changes nothing and makes nothing new.
  GLuint texturesBefore[kTextureCount];
  std::copy(std::begin(textures_), std::end(textures_), texturesBefore);
  const GLuint listsBefore = lists_[0];
  glDataLoad(textures_, lists_, &loaded_, 640, 480);
  EXPECT_TRUE(std::equal(std::begin(textures_), std::end(textures_), texturesBefore));
  EXPECT_EQ(lists_[0], listsBefore);
  GLuint probe = 0;
  glGenTextures(1, &probe);
  EXPECT_EQ(probe, *std::max_element(std::begin(textures_), std::end(textures_)) + 1);
  glDeleteTextures(1, &probe);

  glDataDispose(textures_, lists_, &loaded_);
  EXPECT_FALSE(loaded_);
  for (GLuint name : textures_) EXPECT_EQ(name, 0u);
  for (GLuint name : lists_) EXPECT_EQ(name, 0u);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(glIsList(listsBefore + static_cast<GLuint>(i)));
  EXPECT_FALSE(glIsTexture(texturesBefore[0]));

  // Disposing again does nothing; loading again works.
  glDataDispose(textures_, lists_, &loaded_);
  glDataLoad(textures_, lists_, &loaded_, 640, 480);
  EXPECT_TRUE(loaded_);
  glDataDispose(textures_, lists_, &loaded_);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlResourcesTest, WingListsHoldTheTexturedQuads) {
  loadDisplayLists(lists_);
  // Render each list with an orthographic view and check where it lands:
  // the unit quad covers [0, 1]^2, the left wing [-1, 0] x [0, 1], the right
  // wing [0, 1] x [0, 1].
  glDisable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(0, 0, 32, 32);
  const int expectedLeft[3] = {16, 0, 16};
  for (int i = 0; i < 3; ++i) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    glCallList(lists_[i]);
    const auto picture = moonwisp::test::readPicture(32, 32);
    int left = 32, right = -1, bottom = 32, top = -1;
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x)
        if (picture.level(x, y) > 0) {
          left = std::min(left, x), right = std::max(right, x);
          bottom = std::min(bottom, y), top = std::max(top, y);
        }
    EXPECT_EQ(left, expectedLeft[i]) << "list " << i;
    EXPECT_EQ(right, expectedLeft[i] + 15) << "list " << i;
    EXPECT_EQ(bottom, 16) << "list " << i;
    EXPECT_EQ(top, 31) << "list " << i;
  }
  freeDisplaylists(lists_);
  for (GLuint name : lists_) EXPECT_EQ(name, 0u);
}

TEST_F(GlResourcesTest, FailingListReservationCompilesNothingAndLeaksNothing) {
  setGenListsForTesting(failingGenLists);
  loadDisplayLists(lists_);
  for (GLuint name : lists_) EXPECT_EQ(name, 0u);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));  // no glNewList(0, ...)

  GLuint highest = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    glDataLoad(textures_, lists_, &loaded_, 64, 64);
    ASSERT_FALSE(loaded_);
    for (GLuint name : textures_) ASSERT_EQ(name, 0u);
    for (GLuint name : lists_) ASSERT_EQ(name, 0u);
    GLuint probe = 0;
    glGenTextures(1, &probe);
    highest = std::max(highest, probe);
    glDeleteTextures(1, &probe);
  }
  // Every texture name any attempt reserved was given back.
  EXPECT_GE(highest, static_cast<GLuint>(kTextureCount));
  int alive = 0;
  for (GLuint name = 1; name <= highest; ++name) alive += glIsTexture(name) ? 1 : 0;
  EXPECT_EQ(alive, 0);

  setGenListsForTesting(nullptr);
  glDataLoad(textures_, lists_, &loaded_, 64, 64);
  EXPECT_TRUE(loaded_);
  glDataDispose(textures_, lists_, &loaded_);
}
