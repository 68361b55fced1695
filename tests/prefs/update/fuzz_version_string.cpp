// Any bytes as two version strings: comparing them is total and consistent,
// and what parses as a version has its parts in range.
#include <cstddef>
#include <cstdint>
#include <string>

#include "prefs/update/VelVersionString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace moonwisp;
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::string a = all.substr(0, size / 2);
  const std::string b = all.substr(size / 2);
  const int32_t ab = compareVelVersionStrings(a, b);
  if (ab < -1 || ab > 1 || ab != -compareVelVersionStrings(b, a) || compareVelVersionStrings(a, a) != 0) {
    __builtin_trap();
  }
  const auto v = parseVelVersionString(all);
  if (v && (v->letter < 0 || v->letter > 26 || v->minor < 0 || v->patch < 0)) __builtin_trap();
  return 0;
}
