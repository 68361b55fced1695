#include "platform/ui/address_opener.h"

#include <gio/gio.h>

#include "platform/core/system_log.h"

namespace moonwisp::ui {

bool openAddress(const std::string& address) {
  GError* error = nullptr;
  if (g_app_info_launch_default_for_uri(address.c_str(), nullptr, &error)) return true;
  systemLog("Could not open %s: %s", address.c_str(), error ? error->message : "no handler");
  g_clear_error(&error);
  return false;
}

}  // namespace moonwisp::ui
