#pragma once
// A private bundle for one test: the build's interface file and texts, an
// info file with the installed version the test wants, and a preferences
// file path, all in a fresh temporary folder that is removed afterwards.
#include <glib.h>
#include <glib/gstdio.h>

#include <fstream>
#include <sstream>
#include <string>

namespace moonwisp::test {

class SheetTestBundle {
 public:
  explicit SheetTestBundle(const std::string& installedVersion) {
    gchar* dir = g_dir_make_tmp("moonwisp-sheet-XXXXXX", nullptr);
    dir_ = dir ? dir : "";
    g_free(dir);
    const std::string resources = std::string(MOONWISP_BINARY_DIR) + "/share/moonwisp";
    copy(resources + "/configSheetNib.ui", dir_ + "/configSheetNib.ui");
    copy(resources + "/configStrings.ini", dir_ + "/configStrings.ini");
    std::ofstream(dir_ + "/Info.ini") << "[Bundle]\nCFBundleVersion=" << installedVersion << "\n";
  }
  ~SheetTestBundle() {
    GDir* d = g_dir_open(dir_.c_str(), 0, nullptr);
    if (d) {
      while (const char* name = g_dir_read_name(d)) g_remove((dir_ + "/" + name).c_str());
      g_dir_close(d);
    }
    g_rmdir(dir_.c_str());
  }
  SheetTestBundle(const SheetTestBundle&) = delete;
  SheetTestBundle& operator=(const SheetTestBundle&) = delete;

  const std::string& path() const { return dir_; }
  std::string preferencesPath() const { return dir_ + "/preferences.ini"; }
  std::string preferencesText() const {
    std::ifstream in(preferencesPath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  static void copy(const std::string& from, const std::string& to) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream(to, std::ios::binary) << in.rdbuf();
  }
  std::string dir_;
};

}  // namespace moonwisp::test
