// Arbitrary bytes as the settings file: the record read from it is complete
// and in range. The same bytes as a date: any date read formats to text that
// reads back as the same date.
#include <cstdint>
#include <string>

#include "platform/core/system_log.h"
#include "prefs/VelDateText.h"
#include "prefs/VelPreferenceHandler.h"
#include "support/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace moonwisp;
  static const moonwisp::test::TestFolder folder;
  static const bool quiet = (moonwisp::setSystemLogSink([](const std::string&) {}), true);
  (void)quiet;
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  moonwisp::test::writeFile(folder / "preferences.ini", bytes);
  VelPrefs p;
  VelPreferenceHandler(folder / "preferences.ini").getVelPrefs(&p);
  if (p.quantity < 20 || p.quantity > 220 || p.particleColor < 0 || p.particleColor > 7) __builtin_trap();
  if ((p.glow != 0 && p.glow != 1) || p.particleType != 4 || p.particleSize != 4 || p.particleSpeed != 10) {
    __builtin_trap();
  }
  for (const std::optional<VelDate>& date : {p.lastUpdateCheck, parseVelDate(bytes)}) {
    const std::optional<std::string> text = date ? formatVelDate(*date) : std::nullopt;
    if (date && (!text || parseVelDate(*text) != date)) __builtin_trap();
  }
  return 0;
}
