#pragma once
// Random helpers over the process-wide rand()/srand() generator. Ranges include
// both ends; an empty range returns its lower end without drawing.
#include <cstdint>

double randdouble(double lo, double hi);
float randfloat(float lo, float hi);
int32_t randint(int32_t lo, int32_t hi);
void seedRandom(uint32_t seed);
