#include "platform/core/bundle.h"

#include <glib.h>
#include <unistd.h>

#include <climits>
#include <memory>

namespace moonwisp {
namespace {

bool isFile(const std::string& path) { return g_file_test(path.c_str(), G_FILE_TEST_IS_REGULAR); }

std::string executableDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = '\0';
  std::unique_ptr<gchar, decltype(&g_free)> dir(g_path_get_dirname(buf), g_free);
  return dir.get();
}

std::string findResources() {
  const std::string exeDir = executableDirectory();
  if (!exeDir.empty()) {
    const std::string installed = exeDir + "/../share/moonwisp";
    if (isFile(installed + "/Info.ini")) return installed;
  }
  return MOONWISP_BUILD_RESOURCES_DIR;
}

}  // namespace

const Bundle& Bundle::main() {
  static const Bundle bundle(findResources());
  return bundle;
}

const char* Bundle::identifier() { return MOONWISP_BUNDLE_IDENTIFIER; }

Bundle::Bundle(std::string resourcesPath) : resourcesPath_(std::move(resourcesPath)) {
  GKeyFile* file = g_key_file_new();
  const std::string infoPath = resourcesPath_ + "/Info.ini";
  if (g_key_file_load_from_file(file, infoPath.c_str(), G_KEY_FILE_NONE, nullptr)) {
    gsize count = 0;
    gchar** keys = g_key_file_get_keys(file, "Bundle", &count, nullptr);
    for (gsize i = 0; keys && i < count; ++i) {
      gchar* value = g_key_file_get_string(file, "Bundle", keys[i], nullptr);
      if (value) info_[keys[i]] = value;
      g_free(value);
    }
    g_strfreev(keys);
  }
  g_key_file_free(file);
}

std::string Bundle::pathForResource(const std::string& name, const std::string& type) const {
  const std::string path = resourcesPath_ + "/" + name + (type.empty() ? "" : "." + type);
  return isFile(path) ? path : std::string();
}

std::string Bundle::infoValue(const std::string& key) const {
  const auto it = info_.find(key);
  return it == info_.end() ? std::string() : it->second;
}

}  // namespace moonwisp
