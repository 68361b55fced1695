#include "platform/ui/string_table.h"

#include <glib.h>

namespace moonwisp::ui {

StringTable::StringTable(const std::string& path) : file_(nullptr) {
  GKeyFile* file = g_key_file_new();
  // Every translation is kept: the language is chosen at each lookup.
  if (g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_KEEP_TRANSLATIONS, nullptr)) {
    file_ = file;
  } else {
    g_key_file_free(file);
  }
}

StringTable::~StringTable() {
  if (file_) g_key_file_free(static_cast<GKeyFile*>(file_));
}

std::string StringTable::localizedString(const std::string& key, const std::string& defaultText,
                                         const char* locale) const {
  if (!file_) return defaultText;
  gchar* text = g_key_file_get_locale_string(static_cast<GKeyFile*>(file_), kGroup, key.c_str(), locale, nullptr);
  if (!text) return defaultText;
  std::string result = text;
  g_free(text);
  return result;
}

std::string StringTable::format(const std::string& text, const std::string& argument) {
  std::string result;
  result.reserve(text.size() + argument.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '@') {
      result += argument;
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

}  // namespace moonwisp::ui
