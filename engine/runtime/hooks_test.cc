#include "engine/runtime/hooks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vld {
namespace {

TEST(HooksTest, UnsetHooksAreHarmless) {
  ScopedTaskHooks none(TaskHooks{});
  EXPECT_EQ(Report(MessageKind::kError, "x"), 0);
  EXPECT_EQ(OpenCounter("Datensätze", 0), 0);
  EXPECT_FALSE(AskQuestion(1, 2));
  EXPECT_FALSE(HasQuestionHook());
}

TEST(HooksTest, MemoryReportNamesFreeOrBorrowedBytes) {
  EXPECT_EQ(MemoryReportText("Selection", 3 << 20),
            "Selection: freier Speicher: 3145728 B >= 3072 KB >= 3 MB");
  EXPECT_EQ(MemoryReportText("Merge", -2048), "Merge: geborgter Speicher: 2048 B >= 2 KB >= 0 MB");
}

TEST(HooksTest, HeadingIsAnEmptyLineThenTheTextWithDots) {
  std::vector<std::pair<MessageKind, std::string>> lines;
  TaskHooks hooks;
  hooks.message = [&](MessageKind kind, std::string_view text) {
    lines.emplace_back(kind, std::string(text));
    return 1;
  };
  ScopedTaskHooks scoped(std::move(hooks));
  Heading("Selection");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], std::make_pair(MessageKind::kInformation, std::string()));
  EXPECT_EQ(lines[1], std::make_pair(MessageKind::kHeading, std::string("Selection...")));
}

TEST(HooksTest, CounterCallsCarryTheirOperation) {
  std::vector<CounterCall> calls;
  TaskHooks hooks;
  hooks.counter = [&](const CounterCall& c) {
    calls.push_back(c);
    return std::int64_t{7};
  };
  ScopedTaskHooks scoped(std::move(hooks));
  EXPECT_EQ(OpenCounter("Gelesen", 5), 7);
  AddCounter(7, 3);
  SetCounter(7, 10);
  CloseCounter(7);
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].op, CounterOp::kOpen);
  EXPECT_EQ(calls[0].value, 5);
  EXPECT_EQ(calls[1].op, CounterOp::kAdd);
  EXPECT_EQ(calls[2].op, CounterOp::kSet);
  EXPECT_EQ(calls[3].op, CounterOp::kClose);
}

}  // namespace
}  // namespace vld
