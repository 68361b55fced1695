#pragma once
// The programs' texts in the user's language, from GNU gettext catalogues of
// the "moonwisp" domain. The catalogues lie next to the resources
// (<prefix>/share/locale beside <prefix>/share/moonwisp), so a moved tree and
// the build tree find theirs as they find the resources.
//
// Texts are marked with _("...") where they are used; po/CMakeLists.txt
// extracts them.
#include <libintl.h>

#include <initializer_list>
#include <string>

namespace moonwisp {

class Bundle;

constexpr const char* kTextDomain = "moonwisp";

// Takes the user's language from the environment (LC_ALL, LC_MESSAGES,
// LANG, LANGUAGE) and binds the domain to the bundle's catalogues, in UTF-8
// whatever the locale's own character set. Call before any text is looked up.
void useTranslations(const Bundle& bundle);

inline const char* translate(const char* text) { return dgettext(kTextDomain, text); }

// text with its "%s" replaced by the arguments in order, for translated
// messages that carry values.
inline std::string formatTranslated(const char* text, std::initializer_list<std::string> arguments) {
  std::string result;
  auto next = arguments.begin();
  for (const char* c = text; *c; ++c) {
    if (c[0] == '%' && c[1] == 's') {
      if (next != arguments.end()) result += *next++;
      ++c;
    } else {
      result += *c;
    }
  }
  return result;
}
inline std::string formatTranslated(const char* text, const std::string& argument) {
  return formatTranslated(text, {argument});
}

}  // namespace moonwisp

#define _(text) ::moonwisp::translate(text)
