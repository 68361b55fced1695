#pragma once
// The user's saver settings as one record, read with defaults and ranges
// applied, written back durably. Callers create a handler per use.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "prefs/VelDate.h"

namespace moonwisp {

struct VelPrefs {
  // Ranges and fixed values: VelPreferenceKeys.h.
  int32_t quantity;        // 20 ..= 220
  float particleSize;      // always kVelParticleSize
  float particleSpeed;     // always kVelParticleSpeed
  int8_t particleColor;    // 0 ..= 7
  int8_t particleType;     // always kVelParticleType
  int8_t glow;             // 0 or 1
  bool mainscreenonly;
  bool checkForUpdates;
  std::optional<VelDate> lastUpdateCheck;  // null when never checked
};

// A value given for one run (the saver's command line) in place of the
// stored one. It goes through the same read rules as a stored value, so an
// out-of-range one reads as it would from the file; it is never written.
struct VelPrefOverride {
  const char* key;  // an integer or boolean key of kVelPrefKeys
  int64_t value;    // booleans: 0 or 1
};
using VelPrefOverrides = std::vector<VelPrefOverride>;

class VelPreferenceHandler {
 public:
  // The store of the user's preferences file (under the XDG config folder).
  VelPreferenceHandler();
  // A store at an explicit file path (tools and tests).
  explicit VelPreferenceHandler(std::string path);

  // Reads from now on see these values in place of the stored ones; writes
  // are not affected.
  void setOverrides(VelPrefOverrides overrides) { overrides_ = std::move(overrides); }

  void getVelPrefs(VelPrefs* prefs) const;
  void setVelPrefs(const VelPrefs* prefs) const;
  void setVelLastUpdateCheckPrefs(VelDate date) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  VelPrefOverrides overrides_;
};

}  // namespace moonwisp
