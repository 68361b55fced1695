#include "platform/ui/background_task.h"

#include <glib.h>

namespace moonwisp::ui {

// Owned together by the task and by the main-loop callback that hands the
// result back, so that either may go first. Touched on the main thread only.
struct BackgroundTask::Shared {
  BackgroundTask* task = nullptr;  // null once cancelled
  Done done;
};

namespace {

gboolean handBack(gpointer data) {
  auto* shared = static_cast<std::shared_ptr<BackgroundTask::Shared>*>(data);
  BackgroundTask::Shared& state = **shared;
  if (state.task) {
    BackgroundTask* task = state.task;
    state.task = nullptr;
    BackgroundTask::Done done = std::move(state.done);
    task->cancel();  // joins the thread, which has finished its work
    if (done) done();
  }
  return G_SOURCE_REMOVE;
}

void dropHandBack(gpointer data) { delete static_cast<std::shared_ptr<BackgroundTask::Shared>*>(data); }

}  // namespace

BackgroundTask::~BackgroundTask() { cancel(); }

void BackgroundTask::start(std::function<void()> work, Done done, std::function<void()> cancelHook) {
  cancel();
  shared_ = std::make_shared<Shared>();
  shared_->task = this;
  shared_->done = std::move(done);
  cancelHook_ = std::move(cancelHook);
  auto* handle = new std::shared_ptr<Shared>(shared_);
  thread_ = std::thread([work = std::move(work), handle] {
    work();
    // Default priority, as input events: the result is not starved by a
    // busy redraw cycle (an idle source would be).
    g_idle_add_full(G_PRIORITY_DEFAULT, handBack, handle, dropHandBack);
  });
}

void BackgroundTask::cancel() {
  if (shared_) shared_->task = nullptr;
  shared_.reset();
  if (thread_.joinable()) {
    if (cancelHook_) cancelHook_();
    thread_.join();
  }
  cancelHook_ = nullptr;
}

bool BackgroundTask::running() const { return shared_ && shared_->task; }

}  // namespace moonwisp::ui
