#pragma once
// A private X server a test may reconfigure or kill, and the pixels a window shows.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <memory>

#include "process.h"

namespace moonwisp::test {

// An Xvfb of our own on a free display number (it picks one itself), with
// GLX and RANDR, that a test may reconfigure or kill without disturbing
// others. name() is empty when Xvfb cannot be started.
class PrivateXServer {
 public:
  // withRandr false: a server without the XRandR extension.
  explicit PrivateXServer(const std::string& screen = "640x480x24", bool withRandr = true) {
    int fds[2];
    if (pipe(fds) != 0) return;
    server_.reset(new ChildProcess({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-noreset", "-screen",
                                    "0", screen, "+extension", "GLX", withRandr ? "+extension" : "-extension",
                                    "RANDR", "-nolisten", "tcp"}));
    close(fds[1]);
    // Xvfb writes the display number when it is ready for clients, or ends.
    std::string number;
    char c = 0;
    pollfd ready{fds[0], POLLIN, 0};
    while (server_->pid() > 0 && c != '\n' && poll(&ready, 1, allowedMs(10000)) > 0 && read(fds[0], &c, 1) == 1)
      number += c;
    close(fds[0]);
    if (!number.empty() && std::isdigit(static_cast<unsigned char>(number[0])))
      name_ = ":" + std::to_string(std::stoi(number));
  }
  // Ended with SIGTERM so that it removes its lock file and socket.
  ~PrivateXServer() {
    if (server_ && server_->pid() > 0 && server_->running()) {
      server_->signal(SIGTERM);
      server_->waitFor(3000);
    }
  }
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  const std::string& name() const { return name_; }
  ChildProcess& process() { return *server_; }
  // Runs a command (e.g. xrandr) against this server; true on status 0.
  bool run(std::vector<std::string> argv) {
    ChildProcess child(argv, {"DISPLAY=" + name_});
    return exitedWith(child.waitFor(10000), 0);
  }

 private:
  std::unique_ptr<ChildProcess> server_;
  std::string name_;
};

// Pixels of a window area whose brightest colour channel is above threshold.
inline int pixelsAbove(Display* display, Window window, int x, int y, int width, int height, int threshold) {
  XImage* image = XGetImage(display, window, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
  int n = 0;
  for (int row = 0; image && row < height; ++row)
    for (int col = 0; col < width; ++col) {
      const unsigned long p = XGetPixel(image, col, row);
      n += std::max({(p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff}) > static_cast<unsigned long>(threshold);
    }
  if (image) XDestroyImage(image);
  return n;
}

// Polls until the area shows at least `pixels` pixels brighter than 40, or
// the time (scaled for this build) runs out.
inline bool waitForPicture(Display* display, Window window, int x, int y, int width, int height,
                           int timeoutMs, int pixels = 20) {
  return waitUntil([&] { return pixelsAbove(display, window, x, y, width, height, 40) >= pixels; }, timeoutMs);
}

// A plain mapped top-level window, as XScreenSaver or a settings dialog would
// hand over.
inline Window createPlainWindow(Display* display, int width, int height) {
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0,
                                            static_cast<unsigned>(width), static_cast<unsigned>(height), 0,
                                            BlackPixel(display, screen), BlackPixel(display, screen));
  XSelectInput(display, window, StructureNotifyMask);
  XMapWindow(display, window);
  XEvent event;
  do XNextEvent(display, &event);
  while (event.type != MapNotify || event.xmap.window != window);
  XSelectInput(display, window, NoEventMask);
  return window;
}

// The top-level window whose _NET_WM_PID is pid; 0 when none (yet).
inline Window windowOfProcess(Display* display, pid_t pid) {
  ChildProcess search({"xdotool", "search", "--pid", std::to_string(pid)},
                      {std::string("DISPLAY=") + DisplayString(display)});
  return search.waitFor(allowedMs(10000)) ? std::strtoul(search.output().c_str(), nullptr, 10) : 0;
}

}  // namespace moonwisp::test
