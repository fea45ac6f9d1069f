// The worker thread of a match task.
//
// A match task runs on its own worker thread. Everything it tells the user travels through the
// task hooks (engine/runtime/hooks.h), which this thread points at the front end's interface:
// each message, counter operation and question is handed to the front end synchronously (a
// window front end runs it on its interface thread and waits; the command-line front end calls it
// directly). Pausing and cancelling are cooperative: at every hook call the worker checks a pause
// flag (and waits there until it is resumed) and a cancel flag (which ends the task through the
// error path with "Der Lauf wurde abgebrochen.").
//
// Any error of the task body (a fatal error of the engine, a runtime or file error, a problem the
// user can fix) ends the task: its memory and files are released first, then the text goes to
// the front end as an error message (kind 4); no task code runs after it.
//
// Call order: construct, Start, (Pause/Resume/Cancel from the front end's thread), Wait.
// Only one task runs at a time in a process.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "engine/runtime/hooks.h"

namespace vld {

// What the task reaches of its front end. Called on the worker thread.
class TTaskFrontEnd {
 public:
  virtual ~TTaskFrontEnd() = default;
  virtual int Message(MessageKind kind, std::string_view text) = 0;
  virtual std::int64_t Counter(const CounterCall& call) = 0;
  virtual bool Question(std::int64_t used, std::int64_t wanted) = 0;
};

// Outcome of a task.
enum class TaskResult { kRunning, kDone, kStepDone, kParameterErrors, kFailed };

inline constexpr const char* kCancelledText = "Der Lauf wurde abgebrochen.";

class TTaskThread {
 public:
  // The body runs on the worker thread and returns kDone, kStepDone or kParameterErrors; it
  // releases what it allocated on every path (an error unwinds through it). `release` is called
  // after an error, before the error message, to free what the body could not (its memory
  // control).
  using Body = std::function<TaskResult()>;

  TTaskThread(TTaskFrontEnd& frontEnd, Body body, std::function<void()> release = {});
  ~TTaskThread();
  TTaskThread(const TTaskThread&) = delete;
  TTaskThread& operator=(const TTaskThread&) = delete;

  void Start();
  void Pause();
  void Resume();
  // Asks the task to end at its next checkpoint; it ends with "Der Lauf wurde abgebrochen.".
  void Cancel();
  // Waits for the worker to end and returns the outcome.
  TaskResult Wait();
  bool Failed() const { return result_ == TaskResult::kFailed; }
  const std::string& ErrorText() const { return errorText_; }

 private:
  void Run();
  // Pause and cancel checkpoint of every hook call.
  void Checkpoint();

  TTaskFrontEnd& frontEnd_;
  Body body_;
  std::function<void()> release_;
  std::thread worker_;
  std::mutex mutex_;
  std::condition_variable resumed_;
  bool paused_ = false;
  std::atomic<bool> cancelled_{false};
  std::atomic<TaskResult> result_{TaskResult::kRunning};
  std::string errorText_;
};

}  // namespace vld
