// Any bytes as a version string: parsing and comparing must be total and consistent.
#include <cstddef>
#include <cstdint>
#include <string>

#include "prefs/sheet/VelVersionString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const size_t cut = size / 2;
  const std::string a = all.substr(0, cut);
  const std::string b = all.substr(cut);
  const int32_t ab = compareVelVersionStrings(a, b);
  const int32_t ba = compareVelVersionStrings(b, a);
  if (ab < -1 || ab > 1 || ab != -ba) __builtin_trap();
  if (compareVelVersionStrings(a, a) != 0) __builtin_trap();
  if (const auto v = parseVelVersionString(all)) {
    if (v->letter < 0 || v->letter > 26 || v->minor < 0 || v->patch < 0) __builtin_trap();
  }
  return 0;
}
