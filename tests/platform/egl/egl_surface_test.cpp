// The headless EGL surface draws into a picture of its size and refuses
// sizes it cannot make.
#include <gtest/gtest.h>

#include "support/gl.h"

namespace moonwisp {
namespace {

TEST(EglSurface, DrawsIntoAPictureOfItsSizeAndRefusesSizesItCannotMake) {
  EXPECT_TRUE(!EglSurface::create(0, 10) && !EglSurface::create(1 << 20, 4));
  auto surface = EglSurface::create(67, 33);
  ASSERT_TRUE(surface);
  EXPECT_TRUE(test::drawsOverAllOf(*surface));
}

}  // namespace
}  // namespace moonwisp
