#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into bytes on a pipe, so that an event loop
// that waits with poll() wakes up and ends cleanly instead of being killed
// midway through a frame. The handler only writes one byte; it works whichever
// thread (ours or one of the GL driver's) the signal lands on.
#include <csignal>

namespace moonwisp {

class SignalPipe {
 public:
  SignalPipe();
  ~SignalPipe();
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  bool ok() const { return readFd_ >= 0; }
  // Readable as soon as one of the signals has arrived.
  int fd() const { return readFd_; }
  // The first signal received since the last call (0 when none); empties the pipe.
  int take();

 private:
  static void handle(int signal);
  int readFd_ = -1;
  struct sigaction previous_[3] = {};
};

// Ends the process the way an unhandled `signal` would, so that its parent
// (a shell, XScreenSaver, a service manager) sees it killed by that signal:
// restores the default action, unblocks the signal and raises it. Call it
// after everything has been released. In a sanitizer build the leak check,
// which a signal would skip, runs first.
[[noreturn]] void endBySignal(int signal);

}  // namespace moonwisp
