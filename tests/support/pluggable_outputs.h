#pragma once
// Outputs that really come and go, as monitors are unplugged and plugged in.
// sway 1.9 and later do it to headless outputs themselves ("create_output",
// "output NAME unplug"); sway 1.7 cannot remove one (disabling it fails while
// answering success), so there a second sway runs as a client of the
// HeadlessSway (its Wayland back end): each of its outputs (WL-1, WL-2, ...)
// is a window of the outer sway, and closing that window removes the output.
// Whichever is used, the state is read with swaymsg's JSON answers.
#include <algorithm>

#include "sway.h"

namespace moonwisp::test {

class PluggableOutputs {
 public:
  explicit PluggableOutputs(HeadlessSway& outer) : outer_(outer) {
    if (unplugsItself()) return;
    std::vector<std::string> env = outer.clientEnv();
    env.insert(env.end(), {"WLR_BACKENDS=wayland", "WLR_WL_OUTPUTS=2"});
    nested_ = std::make_unique<SwayProcess>("xwayland disable\ndefault_border none\n", env, [](SwayProcess& sway) {
      ChildProcess outputs({"swaymsg", "-r", "-t", "get_outputs"}, sway.clientEnv());
      return exitedWith(outputs.waitFor(allowedMs(15000)), 0) && valuesOf(outputs.output(), "name").size() == 2;
    });
    if (!nested_->ok()) reason_ = "the nested " + nested_->reason();
  }
  bool ok() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  std::vector<std::string> clientEnv() const { return nested_ ? nested_->clientEnv() : outer_.clientEnv(); }
  // swaymsg's answer (its JSON), empty when it failed.
  std::string swaymsg(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"swaymsg", "-r"});
    ChildProcess child(arguments, clientEnv());
    return exitedWith(child.waitFor(allowedMs(15000)), 0) ? child.output() : "";
  }
  // The outputs' names, sorted.
  std::vector<std::string> outputNames() const {
    std::vector<std::string> names;
    const std::string outputs = swaymsg({"-t", "get_outputs"});
    for (const std::string& value : valuesOf(outputs, "name")) names.push_back(value);
    std::sort(names.begin(), names.end());
    return names;
  }
  // How many windows of the tree have this app id.
  int windowsOf(const std::string& appId) const {
    const std::vector<std::string> ids = valuesOf(swaymsg({"-t", "get_tree"}), "app_id");
    return static_cast<int>(std::count(ids.begin(), ids.end(), appId));
  }
  bool unplug(const std::string& output) {
    if (!nested_) return outer_.swaymsg({"output", output, "unplug"});
    // Closes the outer window that shows the output.
    return outer_.swaymsg({"[app_id=\"wlroots\" title=\"" + output + "$\"]", "kill"});
  }
  bool plugIn() { return !swaymsg({"create_output"}).empty(); }

 private:
  bool unplugsItself() const {
    ChildProcess version({"swaymsg", "-r", "-t", "get_version"}, outer_.clientEnv());
    if (!exitedWith(version.waitFor(allowedMs(15000)), 0)) return false;
    const std::string answer = version.output();
    const std::vector<std::string> majors = valuesOf(answer, "major", false);
    const std::vector<std::string> minors = valuesOf(answer, "minor", false);
    if (majors.empty() || minors.empty()) return false;
    const int major = std::atoi(majors[0].c_str()), minor = std::atoi(minors[0].c_str());
    return major > 1 || (major == 1 && minor >= 9);
  }
  // The values of every "key" in swaymsg's JSON: strings, or numbers when
  // quoted is false.
  static std::vector<std::string> valuesOf(const std::string& json, const std::string& key, bool quoted = true) {
    std::vector<std::string> values;
    const std::string tag = "\"" + key + "\":";
    for (size_t at = json.find(tag); at != std::string::npos; at = json.find(tag, at + 1)) {
      size_t start = json.find_first_not_of(' ', at + tag.size());
      if (start == std::string::npos) break;
      if (quoted) {
        if (json[start] != '"') continue;
        const size_t end = json.find('"', start + 1);
        if (end != std::string::npos) values.push_back(json.substr(start + 1, end - start - 1));
      } else {
        values.push_back(json.substr(start, json.find_first_of(",}\n", start) - start));
      }
    }
    return values;
  }
  HeadlessSway& outer_;
  std::string reason_;
  std::unique_ptr<SwayProcess> nested_;
};

}  // namespace moonwisp::test
