#include "prefs/VelPreferenceHandler.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/core/bundle.h"
#include "platform/core/system_log.h"
#include "platform/keyfile/key_file_store.h"
#include "platform/keyfile/user_config.h"
#include "prefs/VelDateText.h"
#include "prefs/VelPreferenceKeys.h"

namespace moonwisp {

namespace {

constexpr int8_t kDefaultParticleColor = static_cast<int8_t>(kVelParticleColorSetting.defaultValue);
constexpr uint8_t kMaxParticleColor = static_cast<uint8_t>(kVelParticleColorSetting.maximum);
constexpr int8_t kDefaultGlow = static_cast<int8_t>(kVelGlowSetting.defaultValue);
constexpr bool kDefaultMainScreenOnly = kVelMainScreenOnlySetting.defaultValue != 0;
constexpr bool kDefaultCheckForUpdates = kVelCheckForUpdatesSetting.defaultValue != 0;

// The low 8 bits of a stored number, as the one-byte fields hold it.
uint8_t lowByte(int64_t value) { return static_cast<uint8_t>(static_cast<uint64_t>(value) & 0xff); }

}  // namespace

VelPreferenceHandler::VelPreferenceHandler()
    : path_(moonwisp::userConfigFile(moonwisp::Bundle::identifier(), "preferences.ini")) {}

VelPreferenceHandler::VelPreferenceHandler(std::string path) : path_(std::move(path)) {}

void VelPreferenceHandler::getVelPrefs(VelPrefs* prefs) const {
  if (!prefs) return;
  moonwisp::KeyFileSnapshot stored = moonwisp::KeyFileStore(path_).read();
  if (stored.state != moonwisp::KeyFileState::Loaded && stored.state != moonwisp::KeyFileState::Missing) {
    moonwisp::systemLog("cannot read %s (%s); using the default settings", path_.c_str(), stored.reason.c_str());
  }
  const moonwisp::KeyFile& file = stored.file;
  const char* group = velPrefsGroup();
  for (const VelPrefOverride& given : overrides_) {
    const VelPrefKey* key = findVelPrefKey(given.key);
    if (key && key->type == VelPrefType::Integer) stored.file.setInteger(group, key->name, given.value);
    if (key && key->type == VelPrefType::Boolean) stored.file.setBoolean(group, key->name, given.value != 0);
  }

  const std::optional<int64_t> quantity = file.integer(group, kVelPrefQuantity);
  prefs->quantity = static_cast<int32_t>(
      quantity ? std::clamp(*quantity, kVelQuantitySetting.minimum, kVelQuantitySetting.maximum)
               : kVelQuantitySetting.defaultValue);

  prefs->particleSize = kVelParticleSize;
  prefs->particleSpeed = kVelParticleSpeed;

  const std::optional<int64_t> color = file.integer(group, kVelPrefParticleColor);
  if (!color || lowByte(*color) > kMaxParticleColor) {
    prefs->particleColor = kDefaultParticleColor;
  } else {
    prefs->particleColor = static_cast<int8_t>(lowByte(*color));
  }

  prefs->particleType = kVelParticleType;

  const std::optional<int64_t> glow = file.integer(group, kVelPrefGlow);
  prefs->glow = !glow ? kDefaultGlow : lowByte(*glow) != 0 ? 1 : 0;

  prefs->mainscreenonly = file.boolean(group, kVelPrefMainScreenOnly).value_or(kDefaultMainScreenOnly);
  prefs->checkForUpdates = file.boolean(group, kVelPrefCheckForUpdates).value_or(kDefaultCheckForUpdates);

  const std::optional<std::string> lastCheck = file.string(group, kVelPrefLastUpdateCheck);
  prefs->lastUpdateCheck = lastCheck ? parseVelDate(*lastCheck) : std::nullopt;
}

void VelPreferenceHandler::setVelPrefs(const VelPrefs* prefs) const {
  if (!prefs) return;
  const char* group = velPrefsGroup();
  moonwisp::KeyFileStore(path_).update([&](moonwisp::KeyFile& file) {
    file.setInteger(group, kVelPrefQuantity, prefs->quantity);
    file.setInteger(group, kVelPrefParticleColor, prefs->particleColor);
    file.setInteger(group, kVelPrefGlow, prefs->glow);
    file.setBoolean(group, kVelPrefMainScreenOnly, prefs->mainscreenonly);
    file.setBoolean(group, kVelPrefCheckForUpdates, prefs->checkForUpdates);
    return true;
  });
}

void VelPreferenceHandler::setVelLastUpdateCheckPrefs(VelDate date) const {
  const std::optional<std::string> text = formatVelDate(date);
  if (!text) {
    // A date the stored form cannot hold would read back as "never checked".
    moonwisp::systemLog("cannot write %s: the date of the update check is out of range", path_.c_str());
    return;
  }
  moonwisp::KeyFileStore(path_).update([&](moonwisp::KeyFile& file) {
    file.setString(velPrefsGroup(), kVelPrefLastUpdateCheck, *text);
    return true;
  });
}

}  // namespace moonwisp
