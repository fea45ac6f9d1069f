#include "engine/runtime/helper_thread.h"

#include <utility>

namespace vld {

THelperThread::~THelperThread() {
  if (!thread_.joinable()) return;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !busy_; });
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void THelperThread::Start(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    job_ = std::move(job);
    busy_ = true;
  }
  if (!thread_.joinable()) {
    thread_ = std::thread([this] { Loop(); });
  } else {
    changed_.notify_all();
  }
}

void THelperThread::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !busy_; });
}

void THelperThread::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return busy_ || stop_; });
    if (busy_) {
      std::function<void()> job = std::move(job_);
      lock.unlock();
      job();
      lock.lock();
      busy_ = false;
      changed_.notify_all();
    } else {
      return;
    }
  }
}

}  // namespace vld
