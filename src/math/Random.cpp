#include "math/Random.h"

#include <cstdlib>

static_assert(RAND_MAX == 2147483647, "the formulas assume a 31-bit rand()");

double randdouble(double lo, double hi) {
  if (!(hi > lo)) return lo;
  const double r = double(rand());
  return lo + (r * (hi - lo)) / 2147483647.0;
}

float randfloat(float lo, float hi) {
  if (!(hi > lo)) return lo;
  const float r = float(rand());  // nearest float: the largest draws become 2^31
  const float scaled = r * (hi - lo);
  return lo + scaled * 4.656612873077393e-10f;
}

int32_t randint(int32_t lo, int32_t hi) {
  if (hi <= lo) return lo;
  return lo + int32_t(rand()) % (hi - lo + 1);
}

void seedRandom(uint32_t seed) { srand(seed); }
