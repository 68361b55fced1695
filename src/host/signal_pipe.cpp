#include "host/signal_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

// Present only when LeakSanitizer is linked in.
extern "C" void __lsan_do_leak_check() __attribute__((weak));

namespace moonwisp {
namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};
// One pipe per process: signal handlers are process-wide.
volatile sig_atomic_t writeEnd = -1;

}  // namespace

void SignalPipe::handle(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  if (writeEnd >= 0) {
    ssize_t ignored = write(writeEnd, &byte, 1);  // a full pipe already says enough
    (void)ignored;
  }
  errno = saved;
}

SignalPipe::SignalPipe() {
  int fds[2] = {-1, -1};
  if (writeEnd >= 0 || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  readFd_ = fds[0];
  writeEnd = fds[1];
  struct sigaction action {};
  action.sa_handler = &SignalPipe::handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &previous_[i]);
}

SignalPipe::~SignalPipe() {
  if (readFd_ < 0) return;
  for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  const int fd = writeEnd;
  writeEnd = -1;
  close(fd);
  close(readFd_);
}

int SignalPipe::take() {
  int first = 0;
  unsigned char bytes[16];
  ssize_t n;
  while (readFd_ >= 0 && (n = read(readFd_, bytes, sizeof bytes)) > 0)
    if (first == 0) first = bytes[0];
  return first;
}

void endBySignal(int signal) {
  std::fflush(nullptr);
  if (&__lsan_do_leak_check != nullptr) __lsan_do_leak_check();
  std::signal(signal, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  // Only a signal whose default action is not to end the process gets here.
  _exit(128 + signal);
}

}  // namespace moonwisp
