// A second thread that does one job at a time for the thread that owns it.
//
// The owner hands over a job with Start, does its own share of the work meanwhile, and waits
// for the job with Wait before it uses the job's results. The thread is started with the first
// job and lives until the object goes. A job must not throw: it keeps what went wrong for its
// owner (an exception_ptr), who raises it in its own thread. Jobs run without the task hooks, so
// they neither report nor ask anything.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vld {

class THelperThread {
 public:
  THelperThread() = default;
  THelperThread(const THelperThread&) = delete;
  THelperThread& operator=(const THelperThread&) = delete;
  // Waits for a job still running, then ends the thread.
  ~THelperThread();

  // REQUIRES: no job is running (the last one was waited for).
  void Start(std::function<void()> job);
  // Returns when the job last started has run; at once when there is none.
  void Wait();

 private:
  void Loop();

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool stop_ = false;
};

}  // namespace vld
