#pragma once
// Helpers for tests that run programs against an X server: child processes
// with their output captured, a private Xvfb that a test may reconfigure or
// kill, and the pixels a window shows.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace moonwisp::test {

inline void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// How long a program of this build may take for what the release build must
// do within ms: sanitizers make freeing the GL driver's memory at exit, say,
// many times slower, and a loaded 2-core machine slower still.
inline int allowedMs(int ms) {
#if defined(__SANITIZE_ADDRESS__)
  return ms * 6;
#else
  return ms;
#endif
}

// A server the test needs (an X server, a compositor) is missing: outside CI
// the test is skipped with the reason; in CI (CI set) it fails, so that
// nothing goes untested there without a word.
#define MOONWISP_NEEDS_SERVER(available, reason)            \
  do {                                                      \
    if (!(available)) {                                     \
      if (std::getenv("CI")) FAIL() << (reason);            \
      GTEST_SKIP() << (reason);                             \
    }                                                       \
  } while (0)

// A mkdtemp/mkstemp pattern for a temporary file or folder named after what
// it is for, in $TMPDIR (the test script gives each run its own) or /tmp.
inline std::string temporaryPattern(const std::string& name) {
  const char* folder = std::getenv("TMPDIR");
  return std::string(folder && *folder ? folder : "/tmp") + "/" + name + "-XXXXXX";
}

inline bool exitedWith(const std::optional<int>& status, int code) {
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

inline bool killedBy(const std::optional<int>& status, int signal) {
  return status && WIFSIGNALED(*status) && WTERMSIG(*status) == signal;
}

inline std::string describe(const std::optional<int>& status) {
  if (!status) return "still running";
  if (WIFEXITED(*status)) return "exit status " + std::to_string(WEXITSTATUS(*status));
  if (WIFSIGNALED(*status)) return std::string("killed by signal ") + strsignal(WTERMSIG(*status));
  return "stopped";
}

// A child process whose stdout and stderr go to a file.
class ChildProcess {
 public:
  // env: extra "NAME=value" entries, or "NAME" alone to remove a variable.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}) {
    std::string path = temporaryPattern("moonwisp-child");
    const int fd = mkstemp(path.data());
    outputPath_ = path;
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      bool replaced = false;
      for (const std::string& change : env)
        if (change.substr(0, change.find('=')) == name) replaced = true;
      if (!replaced) environment.push_back(entry);
    }
    for (const std::string& change : env)
      if (change.find('=') != std::string::npos) environment.push_back(change);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_adddup2(&actions, fd, 2);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fd);
  }
  ~ChildProcess() {
    if (pid_ > 0 && !status_) {
      kill(pid_, SIGKILL);
      int ignored = 0;
      waitpid(pid_, &ignored, 0);
    }
    std::remove(outputPath_.c_str());
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }
  // The wait status once it has ended within timeoutMs, else nothing.
  std::optional<int> waitFor(int timeoutMs) {
    if (status_) return status_;
    if (pid_ <= 0) return 127 << 8;  // as a shell reports a program it could not start
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        return status_;
      }
      sleepMs(10);
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
  }
  bool running() { return !waitFor(0); }
  // For a failure message: the output, and when the program still runs, the
  // stack it is stuck in (a sanitizer prints it on SIGABRT with handle_abort=1).
  std::string report() {
    if (running()) {
      signal(SIGABRT);
      waitFor(10000);
    }
    return describe(waitFor(0)) + "\n" + output();
  }
  void signal(int number) {
    if (pid_ > 0) kill(pid_, number);
  }
  std::string output() const {
    std::ifstream in(outputPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // VmRSS of /proc/PID/status in kB; 0 when it cannot be read.
  long residentKb() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
  std::string outputPath_;
};

// An Xvfb of our own on a free display number (it picks one itself), with
// GLX and RANDR, that a test may reconfigure or kill without disturbing
// others. name() is empty when Xvfb cannot be started.
class PrivateXServer {
 public:
  // withRandr false: a server without the XRandR extension.
  explicit PrivateXServer(const std::string& screen = "640x480x24", bool withRandr = true) {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    server_.reset(new ChildProcess({"/usr/bin/Xvfb", "-displayfd", fd, "-noreset", "-screen", "0", screen,
                                    "+extension", "GLX", withRandr ? "+extension" : "-extension", "RANDR",
                                    "-nolisten", "tcp"}));
    close(fds[1]);
    if (!server_->started()) {
      close(fds[0]);
      return;
    }
    char number[16] = {};
    size_t got = 0;
    // Xvfb writes the display number when it is ready for clients.
    for (int tries = 0; tries < 500 && got < sizeof number - 1; ++tries) {
      pollfd wait{fds[0], POLLIN, 0};
      if (poll(&wait, 1, 20) <= 0) continue;
      const ssize_t n = read(fds[0], number + got, sizeof number - 1 - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
      if (std::memchr(number, '\n', got)) break;
    }
    close(fds[0]);
    if (got > 0 && std::isdigit(static_cast<unsigned char>(number[0])))
      name_ = ":" + std::to_string(std::atoi(number));
  }
  // Ended with SIGTERM so that it removes its lock file and socket.
  ~PrivateXServer() {
    if (server_ && server_->started() && server_->running()) {
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

// The brightest channel of every pixel of a window area, row by row.
struct Levels {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> level;
  int countAbove(int threshold, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) const {
    if (x1 < 0) x1 = width;
    if (y1 < 0) y1 = height;
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += level[static_cast<size_t>(y) * width + x] > threshold;
    return n;
  }
};

inline Levels windowLevels(Display* display, Window window, int x, int y, int width, int height) {
  Levels levels;
  XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return levels;
  levels.width = width;
  levels.height = height;
  levels.level.resize(static_cast<size_t>(width) * height);
  for (int row = 0; row < height; ++row)
    for (int col = 0; col < width; ++col) {
      const unsigned long pixel = XGetPixel(image, col, row);
      const int r = static_cast<int>((pixel >> 16) & 0xff);
      const int g = static_cast<int>((pixel >> 8) & 0xff);
      const int b = static_cast<int>(pixel & 0xff);
      levels.level[static_cast<size_t>(row) * width + col] = static_cast<uint8_t>(std::max({r, g, b}));
    }
  XDestroyImage(image);
  return levels;
}

// Polls until the area shows at least `pixels` pixels brighter than 40, or
// the time runs out.
inline bool waitForPicture(Display* display, Window window, int x, int y, int width, int height,
                           int timeoutMs, int pixels = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    if (windowLevels(display, window, x, y, width, height).countAbove(40) >= pixels) return true;
    sleepMs(100);
  } while (std::chrono::steady_clock::now() < end);
  return false;
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
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
  if (pidAtom == None) return 0;
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, AnyPropertyType, &type, &format, &items,
                           &after, &data) == Success &&
        data && items == 1 && format == 32 && *reinterpret_cast<long*>(data) == pid)
      found = children[i];
    if (data) XFree(data);
  }
  if (children) XFree(children);
  return found;
}

inline Window waitForWindowOfProcess(Display* display, pid_t pid, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    if (const Window window = windowOfProcess(display, pid)) return window;
    sleepMs(50);
  } while (std::chrono::steady_clock::now() < end);
  return 0;
}

}  // namespace moonwisp::test
