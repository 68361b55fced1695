// The vector operations' rounding, which the world's bit-exact results rest
// on, and the random helpers' empty ranges.
#include <gtest/gtest.h>

#include <cmath>

#include "math/Random.h"
#include "support/WorldFixtures.h"

namespace {

// x*x rounds to 1 + 2^-11 in single precision; a fused multiply-add would keep
// the 2^-24 that rounding drops, and the sum would not cancel to zero.
TEST(Vector3Float, ProductsAreRoundedBeforeTheyAreAdded) {
  const float x = 1.0f + std::ldexp(1.0f, -12);
  const float y = 1.0f + std::ldexp(1.0f, -11);
  EXPECT_EQ(Vector3FloatDot({x, -1.0f, 0.0f}, {x, y, 0.0f}), 0.0f);
  EXPECT_EQ(Vector3FloatDot({-1.0f, 0.0f, x}, {y, 0.0f, x}), 0.0f);
  // (x.x + y.y) is rounded first, so each 1 is lost against 2^24 in turn.
  EXPECT_EQ(Vector3FloatLength2({16777216.0f / 4096.0f, 1.0f, 1.0f}), 16777216.0f);
}

TEST(Vector3Float, NormalizeDividesAndLimitShortensOnlyWhatIsStrictlyLonger) {
  EXPECT_TRUE(sameBits(Vector3FloatNormalize(Vector3FloatZero()), Vector3FloatZero()));
  // Three divisions, not a multiplication by the reciprocal: 1/3 then *2 differs.
  EXPECT_TRUE(sameBits(Vector3FloatNormalize({2.0f, 2.0f, 1.0f}), {2.0f / 3.0f, 2.0f / 3.0f, 1.0f / 3.0f}));
  EXPECT_TRUE(sameBits(Vector3FloatLimit({3.0f, 4.0f, 0.0f}, 5.0f), {3.0f, 4.0f, 0.0f}));
  EXPECT_TRUE(sameBits(Vector3FloatLimit({6.0f, 8.0f, 0.0f}, 5.0f), {3.0f, 4.0f, 0.0f}));
  // Longer by the last bit only: 5.0000005^2 is above 25 and is cut.
  const Vector3Float barely{0.0f, 0.0f, std::nextafter(5.0f, 6.0f)};
  EXPECT_TRUE(sameBits(Vector3FloatLimit(barely, 5.0f), {0.0f, 0.0f, 5.0f}));
}

TEST(Random, EmptyRangesReturnTheLowerEndWithoutDrawing) {
  seedRandom(99);
  const int32_t first = randint(0, 1000);
  seedRandom(99);
  EXPECT_EQ(randint(5, 5), 5);
  EXPECT_EQ(randint(7, 3), 7);
  EXPECT_EQ(randfloat(1.0f, 1.0f), 1.0f);
  EXPECT_EQ(randdouble(2.0, 1.0), 2.0);
  EXPECT_EQ(randint(0, 1000), first);
}

}  // namespace
