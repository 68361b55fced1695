// A writer process for the tests of the settings file shared between processes.
//   prefs_test_writer key FILE KEY COUNT: stores KEY = 1 .. COUNT one write at
//     a time; after each write the file must parse and hold the value just
//     written. Exits 0 when all went well.
//   prefs_test_writer records FILE FIRST: stores whole records k = FIRST,
//     FIRST + 1, ... until killed, each field derived from k so that a reader
//     can tell a whole record from a torn one.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/keyfile/key_file_store.h"
#include "prefs/VelPreferenceEditor.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/VelPreferenceKeys.h"

int main(int argc, char** argv) {
  using namespace moonwisp;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "key" && argc == 5) {
    const VelPreferenceEditor editor(argv[2]);
    for (long i = 1; i <= std::atol(argv[4]); ++i) {
      if (editor.writeValue(argv[3], std::to_string(i)) != VelPrefEditResult::Done) return 3;
      const moonwisp::KeyFileSnapshot now = moonwisp::readKeyFile(argv[2]);
      if (now.state != moonwisp::KeyFileState::Loaded) return 4;
      if (now.file.integer(velPrefsGroup(), argv[3]) != i) return 5;
    }
    return 0;
  }
  if (mode == "records" && argc == 4) {
    const VelPreferenceHandler handler(argv[2]);
    for (long k = std::atol(argv[3]);; ++k) {
      const auto c = static_cast<int8_t>(k % 8);
      const VelPrefs record{static_cast<int32_t>(k),    4,          10,         c,           4,
                            static_cast<int8_t>(k % 2), k % 3 == 0, k % 5 == 0, std::nullopt};
      handler.setVelPrefs(&record);
    }
  }
  std::fprintf(stderr, "usage: prefs_test_writer key FILE KEY COUNT | records FILE FIRST\n");
  return 2;
}
