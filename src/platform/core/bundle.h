#pragma once
// The saver's bundle: its resources folder, its info values and its identifier.
// An installed tree keeps the resources in <prefix>/share/moonwisp, found from
// the executable's own path so that the tree can be moved; programs run from
// the build tree find the build's copy of the resources.
#include <map>
#include <string>

namespace moonwisp {

class Bundle {
 public:
  // The bundle the running program belongs to.
  static const Bundle& main();
  // Reverse-domain identifier; also the preference domain and application id.
  static const char* identifier();

  explicit Bundle(std::string resourcesPath);

  const std::string& resourcesPath() const { return resourcesPath_; }
  // Full path of resource "name.type", or "" when the bundle has no such file.
  std::string pathForResource(const std::string& name, const std::string& type) const;
  // A value of the info file (e.g. "CFBundleVersion"), or "" when absent.
  std::string infoValue(const std::string& key) const;

 private:
  std::string resourcesPath_;
  std::map<std::string, std::string> info_;
};

}  // namespace moonwisp
