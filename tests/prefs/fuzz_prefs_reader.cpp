// Feeds arbitrary bytes as the preferences file to the reader and checks that
// the record it yields is complete and in range; the bytes also go to the
// date parser directly.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/core/system_log.h"
#include "prefs/VelDateText.h"
#include "prefs/VelPreferenceHandler.h"

namespace {

std::string preferencesFile() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/moonwisp-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern + "/preferences.ini";
}

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "record out of range: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = preferencesFile();
  static const bool quiet = (moonwisp::setSystemLogSink([](const std::string&) {}), true);
  (void)quiet;

  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  close(fd);

  VelPrefs prefs;
  VelPreferenceHandler(path).getVelPrefs(&prefs);
  check(prefs.quantity >= 20 && prefs.quantity <= 220, "quantity");
  check(prefs.particleSize == 4.0f && prefs.particleSpeed == 10.0f, "size or speed");
  check(prefs.particleColor >= 0 && prefs.particleColor <= 7, "particleColor");
  check(prefs.particleType == 4, "particleType");
  check(prefs.glow == 0 || prefs.glow == 1, "glow");
  // A date read back formats to text that reads as the same date.
  if (prefs.lastUpdateCheck) {
    const auto text = formatVelDate(*prefs.lastUpdateCheck);
    check(text && parseVelDate(*text) == prefs.lastUpdateCheck, "lastUpdateCheck");
  }
  // The same bytes as the text of a date: any date read formats and reads back.
  if (const auto date = parseVelDate(std::string(reinterpret_cast<const char*>(data), size))) {
    const auto text = formatVelDate(*date);
    check(text && parseVelDate(*text) == date, "date text");
  }
  return 0;
}
