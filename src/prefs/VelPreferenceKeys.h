#pragma once
// How the preferences are stored: one group named after the bundle, and the
// keys with the type of value each holds, in the order of the record's fields.
#include <string>

enum class VelPrefType { Integer, Boolean, Date };

struct VelPrefKey {
  const char* name;
  VelPrefType type;
};

inline constexpr char kVelPrefQuantity[] = "quantity";
inline constexpr char kVelPrefParticleColor[] = "particleColor";
inline constexpr char kVelPrefGlow[] = "glow";
inline constexpr char kVelPrefMainScreenOnly[] = "mainscreenonly";
inline constexpr char kVelPrefCheckForUpdates[] = "checkForUpdates";
inline constexpr char kVelPrefLastUpdateCheck[] = "lastUpdateCheck";

inline constexpr VelPrefKey kVelPrefKeys[] = {
    {kVelPrefQuantity, VelPrefType::Integer},       {kVelPrefParticleColor, VelPrefType::Integer},
    {kVelPrefGlow, VelPrefType::Integer},           {kVelPrefMainScreenOnly, VelPrefType::Boolean},
    {kVelPrefCheckForUpdates, VelPrefType::Boolean}, {kVelPrefLastUpdateCheck, VelPrefType::Date},
};

// The group that holds the keys: the bundle's identifier.
const char* velPrefsGroup();

// nullptr for a name that is not a preference key.
const VelPrefKey* findVelPrefKey(const std::string& name);
