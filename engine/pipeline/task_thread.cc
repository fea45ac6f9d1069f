#include "engine/pipeline/task_thread.h"

#include <new>

#include "engine/runtime/origin.h"
#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

// Raised at a checkpoint after the front end cancelled the task.
class ECancelled : public std::runtime_error {
 public:
  ECancelled() : std::runtime_error(kCancelledText) {}
};

}  // namespace

TTaskThread::TTaskThread(TTaskFrontEnd& frontEnd, Body body, std::function<void()> release)
    : frontEnd_(frontEnd), body_(std::move(body)), release_(std::move(release)) {}

TTaskThread::~TTaskThread() {
  if (worker_.joinable()) {
    Cancel();
    worker_.join();
  }
}

void TTaskThread::Start() { worker_ = std::thread([this] { Run(); }); }

void TTaskThread::Pause() {
  std::lock_guard lock(mutex_);
  paused_ = true;
}

void TTaskThread::Resume() {
  {
    std::lock_guard lock(mutex_);
    paused_ = false;
  }
  resumed_.notify_all();
}

void TTaskThread::Cancel() {
  cancelled_ = true;
  Resume();
}

TaskResult TTaskThread::Wait() {
  if (worker_.joinable()) worker_.join();
  return result_;
}

void TTaskThread::Checkpoint() {
  if (!cancelled_) {
    std::unique_lock lock(mutex_);
    resumed_.wait(lock, [this] { return !paused_ || cancelled_; });
  }
  if (cancelled_ && std::uncaught_exceptions() == 0 && !UnwindingAfterError()) throw ECancelled();
}

void TTaskThread::Run() {
  ScopedFatalHook fatal(ThrowingFatalHook);
  TaskHooks hooks;
  hooks.message = [this](MessageKind kind, std::string_view text) {
    Checkpoint();
    return frontEnd_.Message(kind, text);
  };
  hooks.counter = [this](const CounterCall& call) {
    Checkpoint();
    return frontEnd_.Counter(call);
  };
  hooks.question = [this](std::int64_t used, std::int64_t wanted) {
    Checkpoint();
    return frontEnd_.Question(used, wanted);
  };
  ScopedTaskHooks scoped(std::move(hooks));
  std::string error;
  try {
    result_ = body_();
    return;
  } catch (const std::bad_alloc&) {
    error = "Speicherraum erschöpft";
  } catch (const std::exception& e) {
    error = e.what();
  }
  // Release everything the task still holds, quietly, then report: nothing of the task runs
  // after its error message.
  {
    ErrorUnwindScope unwinding;
    try {
      if (release_) release_();
    } catch (...) {
      // Releasing after an error reports nothing more.
    }
  }
  errorText_ = error;
  result_ = TaskResult::kFailed;
  frontEnd_.Message(MessageKind::kError, error);
}

}  // namespace vld
