#pragma once
// Single-key edits of the preferences file, for tools and scripts: each
// stores or removes one key and leaves every other key as it is. Values are
// not range-checked; reading the record applies the ranges.
#include <string>
#include <utility>

namespace moonwisp {

enum class VelPrefEditResult {
  Done,
  UnknownKey,    // not one of the preference keys
  InvalidValue,  // the text does not parse as the key's type
  WriteFailed,   // the file could not be written (logged); it is unchanged
};

class VelPreferenceEditor {
 public:
  explicit VelPreferenceEditor(std::string path) : path_(std::move(path)) {}

  // Integers: decimal, 64-bit. Booleans: true, false, 1, 0. Dates: ISO 8601
  // with a time zone, stored in UTC with microseconds.
  VelPrefEditResult writeValue(const std::string& key, const std::string& text) const;
  // Removing a key that is not there changes nothing and succeeds.
  VelPrefEditResult deleteValue(const std::string& key) const;

 private:
  std::string path_;
};

}  // namespace moonwisp
