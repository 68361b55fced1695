#pragma once
// How the preferences are stored: one group named after the bundle, and the
// keys with the type of value each holds, in the order of the record's fields.
// Each user setting's default and range live here only, and so do the
// record's fixed values: the handler applies them on reading, the sheet when
// it shows and stores values, the view when it checks the record it was given.
#include <cstdint>
#include <string>

namespace moonwisp {

enum class VelPrefType { Integer, Boolean, Date };

struct VelPrefKey {
  const char* name;
  VelPrefType type;
  int64_t defaultValue;  // booleans: 0 or 1; dates have none (never checked)
  int64_t minimum;       // the range a value must lie in
  int64_t maximum;
};

inline constexpr char kVelPrefQuantity[] = "quantity";
inline constexpr char kVelPrefParticleColor[] = "particleColor";
inline constexpr char kVelPrefGlow[] = "glow";
inline constexpr char kVelPrefMainScreenOnly[] = "mainscreenonly";
inline constexpr char kVelPrefCheckForUpdates[] = "checkForUpdates";
inline constexpr char kVelPrefLastUpdateCheck[] = "lastUpdateCheck";

inline constexpr VelPrefKey kVelPrefKeys[] = {
    {kVelPrefQuantity, VelPrefType::Integer, 77, 20, 220},
    {kVelPrefParticleColor, VelPrefType::Integer, 6, 0, 7},
    {kVelPrefGlow, VelPrefType::Integer, 1, 0, 1},
    {kVelPrefMainScreenOnly, VelPrefType::Boolean, 0, 0, 1},
    {kVelPrefCheckForUpdates, VelPrefType::Boolean, 1, 0, 1},
    {kVelPrefLastUpdateCheck, VelPrefType::Date, 0, 0, 0},
};
inline constexpr const VelPrefKey& kVelQuantitySetting = kVelPrefKeys[0];
inline constexpr const VelPrefKey& kVelParticleColorSetting = kVelPrefKeys[1];
inline constexpr const VelPrefKey& kVelGlowSetting = kVelPrefKeys[2];
inline constexpr const VelPrefKey& kVelMainScreenOnlySetting = kVelPrefKeys[3];
inline constexpr const VelPrefKey& kVelCheckForUpdatesSetting = kVelPrefKeys[4];

// The record's fields that no setting changes: every reading gives these.
inline constexpr float kVelParticleSize = 4.0f;
inline constexpr float kVelParticleSpeed = 10.0f;
inline constexpr int8_t kVelParticleType = 4;

// Whether value lies in the setting's range.
constexpr bool velPrefInRange(const VelPrefKey& key, int64_t value) {
  return value >= key.minimum && value <= key.maximum;
}

// The group that holds the keys: the bundle's identifier.
const char* velPrefsGroup();

// nullptr for a name that is not a preference key.
const VelPrefKey* findVelPrefKey(const std::string& name);

}  // namespace moonwisp
