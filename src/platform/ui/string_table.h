#pragma once
// A table of user-visible texts by key, with localised variants chosen by the
// user's locale (key file syntax: key[de]=...).
#include <string>

namespace moonwisp::ui {

class StringTable {
 public:
  // The group of the key file that holds the texts.
  static constexpr const char* kGroup = "Strings";

  // A table that cannot be read is empty: every lookup gives its default.
  explicit StringTable(const std::string& path);
  ~StringTable();
  StringTable(const StringTable&) = delete;
  StringTable& operator=(const StringTable&) = delete;

  // The text for the user's locale, or for locale when given ("de", "pt_BR").
  std::string localizedString(const std::string& key, const std::string& defaultText,
                              const char* locale = nullptr) const;

  // Replaces every "%@" in text by argument.
  static std::string format(const std::string& text, const std::string& argument);

 private:
  void* file_;  // GKeyFile, null when unreadable
};

}  // namespace moonwisp::ui
