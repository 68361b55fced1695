#pragma once
// Work that must not hold up the toolkit's main loop: it runs on a thread of
// its own, and its result is handed back on the main loop. Cancelling (or
// destroying the task) wakes the work through its cancel hook, waits for the
// thread to end and makes sure the result is never handed back.
#include <functional>
#include <memory>
#include <thread>

namespace moonwisp::ui {

class BackgroundTask {
 public:
  // Runs on the main loop with the work's outcome, unless cancelled first.
  using Done = std::function<void()>;

  BackgroundTask() = default;
  ~BackgroundTask();
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Starts work on a new thread (cancelling any work still running); done
  // follows on the thread that runs the default main context. cancelHook is
  // called from that thread by cancel() and must make the work return at
  // once: cancel() waits for it there, and the main loop waits as long.
  void start(std::function<void()> work, Done done, std::function<void()> cancelHook);
  // Wakes the work, joins its thread, and drops its result. Safe to call
  // when nothing runs.
  void cancel();
  // True from start until done has run or the task was cancelled.
  bool running() const;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::function<void()> cancelHook_;
  std::thread thread_;
};

}  // namespace moonwisp::ui
