#include <gtest/gtest.h>

#include <dlfcn.h>

#include <vector>

#include "math/Random.h"

// rand() can be scripted by a test: while scripted values remain, the
// program's rand() returns them (counting every call), otherwise the C
// library's generator answers.
namespace {
std::vector<int> g_scripted;
int g_calls = 0;
}  // namespace

extern "C" int rand() noexcept {
  ++g_calls;
  if (!g_scripted.empty()) {
    const int v = g_scripted.front();
    g_scripted.erase(g_scripted.begin());
    return v;
  }
  static auto real = reinterpret_cast<int (*)()>(dlsym(RTLD_NEXT, "rand"));
  return real();
}

namespace {

TEST(Random, EmptyRangesReturnLowerEndWithoutDrawing) {
  g_calls = 0;
  EXPECT_EQ(randint(5, 5), 5);
  EXPECT_EQ(randint(7, 3), 7);
  EXPECT_EQ(randfloat(1.0f, 1.0f), 1.0f);
  EXPECT_EQ(randdouble(2.0, 1.0), 2.0);
  EXPECT_EQ(g_calls, 0);

  seedRandom(99);
  const int32_t first = randint(0, 1000);
  seedRandom(99);
  randint(3, 3);
  randfloat(2.0f, 2.0f);
  EXPECT_EQ(randint(0, 1000), first);
}

TEST(Random, ExtremeDrawsReachTheEnds) {
  g_scripted = {2147483647, 0, 0, 0, 2147483647, 2147483647};
  EXPECT_EQ(randdouble(0.0, 1.0), 1.0);
  EXPECT_EQ(randdouble(-3.0, 5.0), -3.0);
  EXPECT_EQ(randfloat(-3.0f, 5.0f), -3.0f);
  EXPECT_EQ(randint(-3, 5), -3);
  // 2147483647 becomes 2^31 as a float, so the upper end is reached.
  EXPECT_EQ(randfloat(0.0f, 1.0f), 1.0f);
  EXPECT_EQ(randint(0, 2), 2147483647 % 3);
  EXPECT_TRUE(g_scripted.empty());
}

TEST(Random, IntegerDrawsCoverBothEnds) {
  seedRandom(1);
  bool seen[3] = {false, false, false};
  for (int i = 0; i < 200; ++i) {
    const int32_t v = randint(0, 2);
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 2);
    seen[v] = true;
  }
  EXPECT_TRUE(seen[0] && seen[1] && seen[2]);
}

TEST(Random, SameSeedSameSequence) {
  auto draw = [](uint32_t seed) {
    seedRandom(seed);
    std::vector<double> out;
    for (int i = 0; i < 50; ++i) {
      out.push_back(randdouble(-1.0, 1.0));
      out.push_back(randfloat(0.0f, 360.0f));
      out.push_back(randint(1, 4));
    }
    return out;
  };
  EXPECT_EQ(draw(4242), draw(4242));
  EXPECT_NE(draw(4242), draw(4243));
}

}  // namespace
