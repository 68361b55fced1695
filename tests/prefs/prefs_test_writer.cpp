// A writer process for the multi-process tests of the preference store.
//
//   prefs_test_writer key FILE KEY COUNT
//     stores KEY = 1 .. COUNT one write at a time; after each write the file
//     must parse and hold the value just written. Exits 0 when all went well.
//   prefs_test_writer records FILE FIRST
//     stores whole records k = FIRST, FIRST + 1, ... until it is killed; each
//     record's fields are derived from k so that a reader can tell a
//     complete record from a torn one.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/keyfile/key_file_store.h"
#include "prefs/VelPreferenceEditor.h"
#include "prefs/VelPreferenceHandler.h"
#include "prefs/VelPreferenceKeys.h"

namespace {

int writeKey(const std::string& path, const std::string& key, long count) {
  const VelPreferenceEditor editor(path);
  for (long i = 1; i <= count; ++i) {
    if (editor.writeValue(key, std::to_string(i)) != VelPrefEditResult::Done) return 3;
    const moonwisp::KeyFileSnapshot now = moonwisp::readKeyFile(path);
    if (now.state != moonwisp::KeyFileState::Loaded) return 4;
    if (now.file.integer(velPrefsGroup(), key.c_str()) != i) return 5;
  }
  return 0;
}

[[noreturn]] void writeRecords(const std::string& path, long first) {
  const VelPreferenceHandler handler(path);
  for (long k = first;; ++k) {
    const VelPrefs record{static_cast<int32_t>(k), 4.0f,       10.0f,      static_cast<int8_t>(k % 8), 4,
                          static_cast<int8_t>(k % 2), k % 3 == 0, k % 5 == 0, std::nullopt};
    handler.setVelPrefs(&record);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "key" && argc == 5) return writeKey(argv[2], argv[3], std::atol(argv[4]));
  if (mode == "records" && argc == 4) writeRecords(argv[2], std::atol(argv[3]));
  std::fprintf(stderr, "usage: prefs_test_writer key FILE KEY COUNT | records FILE FIRST\n");
  return 2;
}
