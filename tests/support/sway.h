#pragma once
// A headless sway of the test's own (two 1280x800 outputs side by side,
// HEADLESS-1 and HEADLESS-2), started as an unprivileged user when the test
// runs as root (sway refuses to run as root), and what tests ask of it:
// swaymsg commands and grim screenshots of one output.
#include <dirent.h>
#include <sys/stat.h>

#include "x_server.h"
#include "platform/image/png_image.h"

namespace moonwisp::test {

// What a screenshot of an output shows.
struct OutputPicture {
  int bright = 0;  // pixels brighter than 40 that are not sway's background
  int grey = 0;    // pixels of the configured background (63, 63, 63): nothing covers them
  bool taken = false;
};

// The Wayland and IPC sockets a sway made in its runtime folder, once there.
inline void findSwaySockets(const std::string& dir, std::string* wayland, std::string* ipc) {
  DIR* folder = opendir(dir.c_str());
  if (!folder) return;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) *wayland = dir + "/" + name;
    if (name.rfind("sway-ipc.", 0) == 0) *ipc = dir + "/" + name;
  }
  closedir(folder);
}

class HeadlessSway {
 public:
  static constexpr int kOutputs = 2;

  HeadlessSway() : dir_(folder_.path()) {
    std::ofstream config(dir_ + "/config");
    // Everything a test reads is set here, not left to the sway version:
    // workspace 1 (where clients appear) on HEADLESS-1, and the background
    // that shows where nothing covers an output (sway 1.7 clears to this
    // grey, 1.10 to black).
    config << "xwayland disable\ndefault_border none\nworkspace 1 output HEADLESS-1\n"
           << "output * bg #3f3f3f solid_color\n";
    for (int i = 1; i <= kOutputs; ++i)
      config << "output HEADLESS-" << i << " mode 1280x800 position " << (i - 1) * 1280 << " 0\n";
    config.close();
    std::vector<std::string> argv{"sway", "-c", dir_ + "/config"};
    // The runtime directory must be the user's own, mode 0700.
    if (geteuid() == 0 && (chown(dir_.c_str(), 65534, 65534) != 0 || chmod(dir_.c_str(), 0700) != 0)) {
      reason_ = "cannot hand the runtime directory to user 65534";
      return;
    }
    if (geteuid() == 0) argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    sway_ = std::make_unique<ChildProcess>(
        argv, std::vector<std::string>{"XDG_RUNTIME_DIR=" + dir_, "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                                       "WLR_LIBINPUT_NO_DEVICES=1", "WLR_HEADLESS_OUTPUTS=" + std::to_string(kOutputs),
                                       "WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK", "HOME=" + dir_});
    // Ready when both sockets are there and the outputs answer.
    const auto ready = [&] {
      findSockets();
      return !sway_->running() || (!wayland_.empty() && !ipc_.empty() && swaymsg({"-t", "get_outputs"}));
    };
    if (waitUntil(ready) && sway_->running()) return;
    reason_ = "sway did not start: " + sway_->report();
    wayland_.clear();
  }
  HeadlessSway(const HeadlessSway&) = delete;
  HeadlessSway& operator=(const HeadlessSway&) = delete;

  bool ok() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  ChildProcess& process() { return *sway_; }
  // The environment of a client: this sway and no X server.
  std::vector<std::string> clientEnv() const {
    return {"WAYLAND_DISPLAY=" + wayland_, "SWAYSOCK=" + ipc_, "DISPLAY"};
  }

  bool swaymsg(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "swaymsg");
    return run(arguments);
  }
  // Runs a client (grim, wtype) against this sway; true on status 0.
  bool run(std::vector<std::string> argv) {
    ChildProcess child(argv, clientEnv());
    return exitedWith(child.waitFor(allowedMs(15000)), 0);
  }

  OutputPicture screenshot(const std::string& output) {
    OutputPicture picture;
    const std::string path = dir_ + "/shot.png";
    if (!run({"grim", "-o", output, path})) return picture;
    const RasterImage image = loadPngImage(path);
    std::remove(path.c_str());
    const int channels = image.channels();
    for (size_t i = 0; i + 2 < image.pixels.size(); i += static_cast<size_t>(channels)) {
      const uint8_t r = image.pixels[i], g = image.pixels[i + 1], b = image.pixels[i + 2];
      if (r == 63 && g == 63 && b == 63)
        ++picture.grey;
      else if (std::max({r, g, b}) > 40)
        ++picture.bright;
    }
    picture.taken = !image.empty();
    return picture;
  }
  // Polls until the output shows at least 200 bright pixels, or the time runs
  // out; then the compositor's log says why it could not draw (no buffers
  // without a /dev/shm, say).
  bool waitForPicture(const std::string& output) {
    if (waitUntil([&] { return screenshot(output).bright >= 200; })) return true;
    ADD_FAILURE() << "no picture on " << output << "; sway's log:\n" << sway_->output();
    return false;
  }

 private:
  void findSockets() { findSwaySockets(dir_, &wayland_, &ipc_); }

  TestFolder folder_;  // outlives the compositor, which is killed first if still running
  std::string dir_;
  std::string wayland_;
  std::string ipc_;
  std::string reason_;
  std::unique_ptr<ChildProcess> sway_;
};

}  // namespace moonwisp::test
