#include "engine/pipeline/task_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld {
namespace {

class RecordingFrontEnd : public TTaskFrontEnd {
 public:
  int Message(MessageKind kind, std::string_view text) override {
    std::lock_guard lock(mutex);
    messages.push_back(std::to_string(static_cast<int>(kind)) + ":" + std::string(text));
    return 1;
  }
  std::int64_t Counter(const CounterCall&) override { return 7; }
  bool Question(std::int64_t, std::int64_t) override { return answer; }
  std::vector<std::string> Messages() {
    std::lock_guard lock(mutex);
    return messages;
  }
  std::mutex mutex;
  std::vector<std::string> messages;
  bool answer = true;
};

TEST(TaskThreadTest, BodyReportsThroughTheFrontEndAndEnds) {
  RecordingFrontEnd front;
  TTaskThread task(front, [] {
    Report(MessageKind::kHeading, "Selection...");
    EXPECT_EQ(OpenCounter("Input", 10), 7);
    EXPECT_TRUE(AskQuestion(1, 2));
    return TaskResult::kDone;
  });
  task.Start();
  EXPECT_EQ(task.Wait(), TaskResult::kDone);
  EXPECT_EQ(front.Messages(), (std::vector<std::string>{"3:Selection..."}));
}

TEST(TaskThreadTest, FatalErrorReleasesFirstThenReportsAndEndsTheTask) {
  RecordingFrontEnd front;
  bool released = false;
  TTaskThread task(
      front,
      [] {
        Report(MessageKind::kHeading, "Merging...");
        Fatal("queue overflow at sort");
        return TaskResult::kDone;
      },
      [&] {
        released = true;
        EXPECT_EQ(front.Messages().size(), 1u) << "released before the error message";
      });
  task.Start();
  EXPECT_EQ(task.Wait(), TaskResult::kFailed);
  EXPECT_TRUE(released);
  EXPECT_EQ(front.Messages().back(), "4:queue overflow at sort");
  EXPECT_EQ(task.ErrorText(), "queue overflow at sort");
}

TEST(TaskThreadTest, UserErrorsEndTheTaskWithTheirSentence) {
  RecordingFrontEnd front;
  TTaskThread task(front, []() -> TaskResult {
    throw EUserError("Die Datei \"x\" gibt es nicht.");
  });
  task.Start();
  EXPECT_EQ(task.Wait(), TaskResult::kFailed);
  EXPECT_EQ(front.Messages().back(), "4:Die Datei \"x\" gibt es nicht.");
}

TEST(TaskThreadTest, PausedTaskWaitsAndCancelEndsIt) {
  RecordingFrontEnd front;
  std::atomic<int> steps{0};
  TTaskThread task(front, [&] {
    for (;;) {
      AddCounter(1, 1);  // a checkpoint
      ++steps;
    }
    return TaskResult::kDone;
  });
  task.Start();
  while (steps < 100) std::this_thread::yield();
  task.Pause();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int paused = steps;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_LE(steps - paused, 1) << "a paused task makes no progress";
  task.Cancel();
  EXPECT_EQ(task.Wait(), TaskResult::kFailed);
  EXPECT_EQ(front.Messages().back(), "4:Der Lauf wurde abgebrochen.");
}

}  // namespace
}  // namespace vld
