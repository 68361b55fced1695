// Signals become readable bytes, so a poll() loop wakes up and ends cleanly.
#include "host/signal_pipe.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>

namespace {

bool readable(int fd) {
  pollfd wait{fd, POLLIN, 0};
  return poll(&wait, 1, 0) == 1;
}

TEST(SignalPipe, TermIntAndHupWakeThePollAndAreTakenOnce) {
  moonwisp::SignalPipe signals;
  ASSERT_TRUE(signals.ok());
  EXPECT_FALSE(readable(signals.fd()));
  EXPECT_EQ(signals.take(), 0);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    raise(number);
    EXPECT_TRUE(readable(signals.fd()));
    EXPECT_EQ(signals.take(), number);
    EXPECT_FALSE(readable(signals.fd()));
  }
  // Many signals before anyone looks: the first is reported, none is lost
  // in a way that blocks the sender.
  for (int i = 0; i < 10000; ++i) raise(SIGHUP);
  EXPECT_EQ(signals.take(), SIGHUP);
}

TEST(SignalPipe, OnlyOneAtATimeAndTheOldHandlersComeBack) {
  struct sigaction before {};
  sigaction(SIGTERM, nullptr, &before);
  {
    moonwisp::SignalPipe first;
    moonwisp::SignalPipe second;
    EXPECT_TRUE(first.ok());
    EXPECT_FALSE(second.ok());
  }
  struct sigaction after {};
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(before.sa_handler, after.sa_handler);
  moonwisp::SignalPipe again;
  EXPECT_TRUE(again.ok());
}

TEST(SignalPipe, EndBySignalEndsTheProcessKilledByThatSignal) {
  testing::FLAGS_gtest_death_test_style = "threadsafe";
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    // Even while our handler is installed and the signal is blocked.
    EXPECT_EXIT(
        {
          moonwisp::SignalPipe signals;
          sigset_t set;
          sigemptyset(&set);
          sigaddset(&set, number);
          pthread_sigmask(SIG_BLOCK, &set, nullptr);
          moonwisp::endBySignal(number);
        },
        testing::KilledBySignal(number), "");
  }
}

}  // namespace
