#pragma once
// Outputs that really come and go, as monitors are unplugged and plugged in.
// sway 1.9 and later do it to headless outputs themselves ("create_output",
// "output NAME unplug"); sway 1.7 cannot remove one (disabling it fails while
// answering success), so there a second sway runs as a client of the
// HeadlessSway (its Wayland back end): each of its outputs (WL-1, WL-2, ...)
// is a window of the outer sway, and closing that window removes the output.
// Whichever is used, the state is read with swaymsg's JSON answers.
#include <algorithm>
#include <regex>

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
    std::vector<std::string> names = valuesOf(swaymsg({"-t", "get_outputs"}), "name");
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
    const std::string answer = exitedWith(version.waitFor(allowedMs(15000)), 0) ? version.output() : "";
    const int major = numberOf(answer, "major"), minor = numberOf(answer, "minor");
    return major > 1 || (major == 1 && minor >= 9);
  }
  // The string values of every "key" in swaymsg's JSON.
  static std::vector<std::string> valuesOf(const std::string& json, const std::string& key) {
    std::vector<std::string> values;
    const std::regex value("\"" + key + "\": *\"([^\"]*)\"");
    for (std::sregex_iterator at(json.begin(), json.end(), value), end; at != end; ++at) values.push_back((*at)[1]);
    return values;
  }
  // The first number given as "key" in swaymsg's JSON, or -1.
  static int numberOf(const std::string& json, const std::string& key) {
    std::smatch found;
    return std::regex_search(json, found, std::regex("\"" + key + "\": *([0-9]+)")) ? std::stoi(found[1]) : -1;
  }
  HeadlessSway& outer_;
  std::string reason_;
  std::unique_ptr<SwayProcess> nested_;
};

}  // namespace moonwisp::test
