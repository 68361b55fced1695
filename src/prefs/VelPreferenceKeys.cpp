#include "prefs/VelPreferenceKeys.h"

#include "platform/core/bundle.h"

namespace moonwisp {

const char* velPrefsGroup() { return moonwisp::Bundle::identifier(); }

const VelPrefKey* findVelPrefKey(const std::string& name) {
  for (const VelPrefKey& key : kVelPrefKeys) {
    if (name == key.name) return &key;
  }
  return nullptr;
}

}  // namespace moonwisp
