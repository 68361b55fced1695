#include "platform/keyfile/user_config.h"

#include <glib.h>

namespace moonwisp {

std::string userConfigFile(const std::string& folder, const std::string& file) {
  gchar* path = g_build_filename(g_get_user_config_dir(), folder.c_str(), file.c_str(), nullptr);
  std::string out(path);
  g_free(path);
  return out;
}

}  // namespace moonwisp
