#include "prefs/VelPreferenceEditor.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "platform/keyfile/key_file_store.h"
#include "prefs/VelDateText.h"
#include "prefs/VelPreferenceKeys.h"

namespace moonwisp {

namespace {

std::optional<int64_t> parseInteger(const std::string& text) {
  // strtoll would also skip leading blanks; a value given on purpose has none.
  if (text.empty() || !(text[0] == '-' || text[0] == '+' || (text[0] >= '0' && text[0] <= '9'))) {
    return std::nullopt;
  }
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE || end == text.c_str() || *end != '\0') return std::nullopt;
  return static_cast<int64_t>(value);
}

std::optional<bool> parseBoolean(const std::string& text) {
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  return std::nullopt;
}

}  // namespace

VelPrefEditResult VelPreferenceEditor::writeValue(const std::string& keyName, const std::string& text) const {
  const VelPrefKey* key = findVelPrefKey(keyName);
  if (!key) return VelPrefEditResult::UnknownKey;
  const char* group = velPrefsGroup();
  moonwisp::KeyFileStore::Edit edit;
  switch (key->type) {
    case VelPrefType::Integer: {
      const std::optional<int64_t> value = parseInteger(text);
      if (!value) return VelPrefEditResult::InvalidValue;
      edit = [group, key, number = *value](moonwisp::KeyFile& file) {
        file.setInteger(group, key->name, number);
        return true;
      };
      break;
    }
    case VelPrefType::Boolean: {
      const std::optional<bool> value = parseBoolean(text);
      if (!value) return VelPrefEditResult::InvalidValue;
      edit = [group, key, flag = *value](moonwisp::KeyFile& file) {
        file.setBoolean(group, key->name, flag);
        return true;
      };
      break;
    }
    case VelPrefType::Date: {
      const std::optional<VelDate> date = parseVelDate(text);
      const std::optional<std::string> stored = date ? formatVelDate(*date) : std::nullopt;
      if (!stored) return VelPrefEditResult::InvalidValue;
      edit = [group, key, text = *stored](moonwisp::KeyFile& file) {
        file.setString(group, key->name, text);
        return true;
      };
      break;
    }
  }
  return moonwisp::KeyFileStore(path_).update(edit) ? VelPrefEditResult::Done : VelPrefEditResult::WriteFailed;
}

VelPrefEditResult VelPreferenceEditor::deleteValue(const std::string& keyName) const {
  const VelPrefKey* key = findVelPrefKey(keyName);
  if (!key) return VelPrefEditResult::UnknownKey;
  const moonwisp::KeyFileStore store(path_);
  // Nothing to remove: leave the disk alone (no folder, lock or file appears).
  const moonwisp::KeyFileSnapshot now = store.read();
  if (now.state != moonwisp::KeyFileState::Loaded || !now.file.hasKey(velPrefsGroup(), key->name)) {
    return VelPrefEditResult::Done;
  }
  const bool written = store.update(
      [&](moonwisp::KeyFile& file) { return file.remove(velPrefsGroup(), key->name); });
  return written ? VelPrefEditResult::Done : VelPrefEditResult::WriteFailed;
}

}  // namespace moonwisp
