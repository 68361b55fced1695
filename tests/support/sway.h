#pragma once
// Headless swaies of the test's own, and what tests ask of them: swaymsg
// commands and grim screenshots of one output.
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

// A sway of the test's own on the given config, in a runtime folder of its
// own: as user 65534 when the tests run as root (sway refuses to run as root,
// and the folder must be its user's, mode 0700). Started once its Wayland and
// IPC sockets are there and ready() holds.
class SwayProcess {
 public:
  SwayProcess(const std::string& config, std::vector<std::string> env,
              const std::function<bool(SwayProcess&)>& ready) {
    std::ofstream(dir_ + "/config") << config;
    std::vector<std::string> argv{"sway", "-c", dir_ + "/config"};
    if (geteuid() == 0) {
      if (chown(dir_.c_str(), 65534, 65534) != 0 || chmod(dir_.c_str(), 0700) != 0) {
        reason_ = "cannot hand the runtime directory to user 65534";
        return;
      }
      argv.insert(argv.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    env.insert(env.end(), {"XDG_RUNTIME_DIR=" + dir_, "WLR_RENDERER=pixman", "HOME=" + dir_});
    sway_ = std::make_unique<ChildProcess>(argv, env);
    const auto started = [&] {
      findSockets();
      return !sway_->running() || (!wayland_.empty() && !ipc_.empty() && ready(*this));
    };
    if (waitUntil(started) && sway_->running()) return;
    reason_ = "sway did not start: " + sway_->report();
    wayland_.clear();
  }
  SwayProcess(const SwayProcess&) = delete;
  SwayProcess& operator=(const SwayProcess&) = delete;

  bool ok() const { return reason_.empty(); }
  const std::string& reason() const { return reason_; }
  ChildProcess& process() { return *sway_; }
  // The environment of a client: this sway and no X server.
  std::vector<std::string> clientEnv() const {
    return {"WAYLAND_DISPLAY=" + wayland_, "SWAYSOCK=" + ipc_, "DISPLAY"};
  }
  // Runs a client (swaymsg, grim, wtype) against this sway; true on status 0.
  bool run(std::vector<std::string> argv) {
    ChildProcess child(argv, clientEnv());
    return exitedWith(child.waitFor(allowedMs(15000)), 0);
  }

 protected:
  TestFolder folder_;  // outlives the compositor, which is killed first if still running
  std::string dir_ = folder_.path();

 private:
  void findSockets() {
    DIR* folder = opendir(dir_.c_str());
    if (!folder) return;
    while (const dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name.rfind("wayland-", 0) == 0 && name.find('.') == std::string::npos) wayland_ = dir_ + "/" + name;
      if (name.rfind("sway-ipc.", 0) == 0) ipc_ = dir_ + "/" + name;
    }
    closedir(folder);
  }

  std::string wayland_;
  std::string ipc_;
  std::string reason_;
  std::unique_ptr<ChildProcess> sway_;
};

// Two 1280x800 outputs side by side, HEADLESS-1 and HEADLESS-2. Everything a
// test reads is set here, not left to the sway version: workspace 1 (where
// clients appear) on HEADLESS-1, and the background that shows where nothing
// covers an output (sway 1.7 clears to this grey, 1.10 to black).
class HeadlessSway : public SwayProcess {
 public:
  HeadlessSway()
      : SwayProcess("xwayland disable\ndefault_border none\nworkspace 1 output HEADLESS-1\n"
                    "output * bg #3f3f3f solid_color\n"
                    "output HEADLESS-1 mode 1280x800 position 0 0\noutput HEADLESS-2 mode 1280x800 position 1280 0\n",
                    {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_HEADLESS_OUTPUTS=2",
                     "WAYLAND_DISPLAY", "DISPLAY", "SWAYSOCK"},
                    [](SwayProcess& sway) { return sway.run({"swaymsg", "-t", "get_outputs"}); }) {}

  bool swaymsg(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "swaymsg");
    return run(arguments);
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
    ADD_FAILURE() << "no picture on " << output << "; sway's log:\n" << process().output();
    return false;
  }
};

}  // namespace moonwisp::test
