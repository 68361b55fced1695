#pragma once
// Child processes with their output captured, waiting for them, and the
// servers a test needs.
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
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "files.h"

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
#define MOONWISP_NEEDS_SERVER(available, reason) \
  if (!(available)) {                            \
    if (std::getenv("CI")) FAIL() << (reason);   \
    GTEST_SKIP() << (reason);                    \
  }

// Polls until done() holds; false when the time (scaled for this build) runs out first.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000, int pollMs = 50) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(allowedMs(timeoutMs));
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    sleepMs(pollMs);
  }
  return true;
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

// A child process whose stdout and stderr go to a file (stderr to a second
// one when separateErrors is set).
class ChildProcess {
 public:
  // env: extra "NAME=value" entries, or "NAME" alone to remove a variable.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               bool separateErrors = false)
      : outputPath_(temporaryPattern("moonwisp-child")), errorPath_(outputPath_) {
    const int out = mkstemp(outputPath_.data());
    if (separateErrors) errorPath_ = temporaryPattern("moonwisp-child");
    const int err = separateErrors ? mkstemp(errorPath_.data()) : out;
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
      const std::string name = std::string(*e).substr(0, std::string(*e).find('='));
      if (std::none_of(env.begin(), env.end(), [&](auto& c) { return c.substr(0, c.find('=')) == name; }))
        environment.push_back(*e);
    }
    for (const std::string& change : env)
      if (change.find('=') != std::string::npos) environment.push_back(change);
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out);
    if (separateErrors) close(err);
  }
  ~ChildProcess() {
    if (pid_ > 0 && !status_ && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    std::remove(outputPath_.c_str());
    std::remove(errorPath_.c_str());
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // The wait status once it has ended within timeoutMs, else nothing.
  std::optional<int> waitFor(int timeoutMs) {
    if (status_) return status_;
    if (pid_ <= 0) return 127 << 8;  // as a shell reports a program it could not start
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) return status_ = status;
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
  std::string output() const { return readFile(outputPath_); }
  std::string errors() const { return readFile(errorPath_); }
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
  std::string errorPath_;
};

struct ChildResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs a program to its end (ten minutes at most) with stdout and stderr kept apart.
inline ChildResult runChild(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
  ChildProcess child(args, env, true);
  const std::optional<int> status = child.waitFor(600000);
  return {status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1, child.output(), child.errors()};
}

}  // namespace moonwisp::test
