#include "platform/core/translation.h"

#include <clocale>

#include "platform/core/bundle.h"

namespace moonwisp {

void useTranslations(const Bundle& bundle) {
  // Only the language and the character set: numbers keep the C locale's
  // decimal point, which the settings files and the figures printed rely on.
  std::setlocale(LC_MESSAGES, "");
  std::setlocale(LC_CTYPE, "");
  // <prefix>/share/locale/<language>/LC_MESSAGES/moonwisp.mo
  bindtextdomain(kTextDomain, (bundle.resourcesPath() + "/../locale").c_str());
  bind_textdomain_codeset(kTextDomain, "UTF-8");
}

}  // namespace moonwisp
