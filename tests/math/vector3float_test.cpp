#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/Vector3Float.h"

namespace {

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void expectSameBits(Vector3Float got, Vector3Float want) {
  EXPECT_TRUE(sameBits(got.x, want.x)) << got.x << " vs " << want.x;
  EXPECT_TRUE(sameBits(got.y, want.y)) << got.y << " vs " << want.y;
  EXPECT_TRUE(sameBits(got.z, want.z)) << got.z << " vs " << want.z;
}

TEST(Vector3Float, NormalizeKeepsZeroAndDividesEachComponent) {
  expectSameBits(Vector3FloatNormalize(Vector3FloatZero()), Vector3FloatZero());
  expectSameBits(Vector3FloatNormalize({0.0f, 3.0f, 4.0f}), {0.0f, 0.6f, 0.8f});
  // Three divisions, not a multiplication by the reciprocal: 1/3 then *2 differs.
  const Vector3Float v{2.0f, 2.0f, 1.0f};
  const Vector3Float n = Vector3FloatNormalize(v);
  EXPECT_TRUE(sameBits(n.x, 2.0f / 3.0f));
  EXPECT_TRUE(sameBits(n.z, 1.0f / 3.0f));
}

TEST(Vector3Float, LimitShortensOnlyWhenStrictlyLonger) {
  expectSameBits(Vector3FloatLimit({3.0f, 4.0f, 0.0f}, 5.0f), {3.0f, 4.0f, 0.0f});
  expectSameBits(Vector3FloatLimit({6.0f, 8.0f, 0.0f}, 5.0f), {3.0f, 4.0f, 0.0f});
  const float nan = std::nanf("");
  const Vector3Float withNan = Vector3FloatLimit({nan, 1.0f, 1.0f}, 0.5f);
  EXPECT_TRUE(std::isnan(withNan.x));
  EXPECT_EQ(withNan.y, 1.0f);
}

TEST(Vector3Float, NegFlipsSignBitsIncludingZero) {
  const Vector3Float n = Vector3FloatNeg({0.0f, 1.0f, -2.0f});
  EXPECT_TRUE(std::signbit(n.x));
  EXPECT_EQ(n.y, -1.0f);
  EXPECT_EQ(n.z, 2.0f);
}

// x*x rounds to 1 + 2^-11 in single precision; a fused multiply-add would keep
// the 2^-24 that rounding drops, and the sum would not cancel to zero.
TEST(Vector3Float, ProductsAreRoundedBeforeTheyAreAdded) {
  const float x = 1.0f + std::ldexp(1.0f, -12);
  const float y = 1.0f + std::ldexp(1.0f, -11);
  EXPECT_EQ(Vector3FloatDot({x, -1.0f, 0.0f}, {x, y, 0.0f}), 0.0f);
  EXPECT_EQ(Vector3FloatDot({-1.0f, 0.0f, x}, {y, 0.0f, x}), 0.0f);
  // (x.x + y.y) is rounded first, so each 1 is lost against 2^24 in turn.
  const float big = 16777216.0f;  // 2^24
  EXPECT_EQ(Vector3FloatLength2({big / 4096.0f, 1.0f, 1.0f}), big);
}

TEST(Vector3Float, ArithmeticIsComponentwise) {
  expectSameBits(Vector3FloatAdd({1, 2, 3}, {4, 5, 6}), {5, 7, 9});
  expectSameBits(Vector3FloatSub({1, 2, 3}, {4, 5, 6}), {-3, -3, -3});
  expectSameBits(Vector3FloatScalarMult({1, -2, 0.5f}, 2.0f), {2, -4, 1});
  expectSameBits(Vector3FloatConstruct(1, 2, 3), {1, 2, 3});
  expectSameBits(Vector3FloatX(), {1, 0, 0});
  expectSameBits(Vector3FloatY(), {0, 1, 0});
  expectSameBits(Vector3FloatZ(), {0, 0, 1});
}

}  // namespace
