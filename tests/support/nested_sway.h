#pragma once
// A sway that runs as a client of a HeadlessSway (its Wayland back end), so
// that its outputs really come and go: each output (WL-1, WL-2, ...) is a
// window of the outer sway, and closing that window removes the output, as
// unplugging a monitor does; "create_output" adds one. Headless sway cannot
// remove an output before 1.9 (disabling one fails while answering success),
// and this works from 1.7 on. Its state is read with swaymsg's JSON answers.
#include <iterator>
#include <regex>

#include "sway.h"

namespace moonwisp::test {

class NestedSway {
 public:
  explicit NestedSway(HeadlessSway& outer, int outputs = 2) : outer_(outer), dir_(folder_.path()) {
    std::ofstream(dir_ + "/config") << "xwayland disable\ndefault_border none\n";
    std::vector<std::string> argv{"sway", "-c", dir_ + "/config"};
    if (geteuid() == 0 && (chown(dir_.c_str(), 65534, 65534) != 0 || chmod(dir_.c_str(), 0700) != 0)) {
      reason_ = "cannot hand the runtime directory to user 65534";
      return;
    }
    if (geteuid() == 0) argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    std::vector<std::string> env = outer.clientEnv();
    env.insert(env.end(), {"XDG_RUNTIME_DIR=" + dir_, "WLR_BACKENDS=wayland", "WLR_RENDERER=pixman",
                           "WLR_WL_OUTPUTS=" + std::to_string(outputs), "HOME=" + dir_});
    sway_ = std::make_unique<ChildProcess>(argv, env);
    const auto ready = [&] {
      findSockets();
      return !sway_->running() || (!wayland_.empty() && !ipc_.empty() && outputNames().size() == size_t(outputs));
    };
    if (waitUntil(ready) && sway_->running()) return;
    reason_ = "the nested sway did not start: " + sway_->report();
  }

  bool ok() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  std::vector<std::string> clientEnv() const {
    return {"WAYLAND_DISPLAY=" + wayland_, "SWAYSOCK=" + ipc_, "DISPLAY"};
  }
  // swaymsg's answer (its JSON), empty when it failed.
  std::string swaymsg(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"swaymsg", "-r"});
    ChildProcess child(arguments, clientEnv());
    return exitedWith(child.waitFor(allowedMs(15000)), 0) ? child.output() : "";
  }
  std::vector<std::string> outputNames() const {
    std::vector<std::string> names;
    static const std::regex kName("\"name\": *\"([^\"]+)\"");
    const std::string outputs = swaymsg({"-t", "get_outputs"});
    for (std::sregex_iterator at(outputs.begin(), outputs.end(), kName), end; at != end; ++at)
      names.push_back((*at)[1]);
    return names;
  }
  // How many windows of the tree have this app id.
  int windowsOf(const std::string& appId) const {
    const std::string tree = swaymsg({"-t", "get_tree"});
    const std::regex window("\"app_id\": *\"" + appId + "\"");
    return static_cast<int>(std::distance(std::sregex_iterator(tree.begin(), tree.end(), window), {}));
  }
  // Closes the outer window that shows an output: the output is gone.
  bool unplug(const std::string& output) {
    return outer_.swaymsg({"[app_id=\"wlroots\" title=\"" + output + "$\"]", "kill"});
  }
  bool plugIn() { return !swaymsg({"create_output"}).empty(); }

 private:
  void findSockets() {
    DIR* dir = opendir(dir_.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) wayland_ = dir_ + "/" + name;
      if (name.rfind("sway-ipc.", 0) == 0) ipc_ = dir_ + "/" + name;
    }
    closedir(dir);
  }

  HeadlessSway& outer_;
  TestFolder folder_;
  std::string dir_;
  std::string wayland_;
  std::string ipc_;
  std::string reason_;
  std::unique_ptr<ChildProcess> sway_;
};

}  // namespace moonwisp::test
