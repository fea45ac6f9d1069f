#include "engine/runtime/hooks.h"

#include <cstdlib>

#include "platform/fatal.h"

namespace vld {

TaskHooks& CurrentTaskHooks() {
  static TaskHooks hooks;
  return hooks;
}

ScopedTaskHooks::ScopedTaskHooks(TaskHooks hooks) : previous_(CurrentTaskHooks()) {
  CurrentTaskHooks() = std::move(hooks);
}

ScopedTaskHooks::~ScopedTaskHooks() { CurrentTaskHooks() = std::move(previous_); }

int Report(MessageKind kind, std::string_view text) {
  const auto& hook = CurrentTaskHooks().message;
  return hook ? hook(kind, text) : 0;
}

void Heading(std::string_view text) {
  Report(MessageKind::kInformation, "");
  Report(MessageKind::kHeading, std::string(text) + "...");
}

std::string MemoryReportText(std::string_view name, std::int64_t bytes) {
  const bool borrowed = bytes < 0;
  const long long b = borrowed ? -static_cast<long long>(bytes) : static_cast<long long>(bytes);
  return Format("%.*s: %ser Speicher: %lld B >= %lld KB >= %lld MB", static_cast<int>(name.size()),
                name.data(), borrowed ? "geborgt" : "frei", b, b >> 10, b >> 20);
}

void MemoryReport(std::string_view name, std::int64_t bytes) {
  Report(MessageKind::kDetail, MemoryReportText(name, bytes));
}

namespace {
std::int64_t CallCounter(const CounterCall& call) {
  const auto& hook = CurrentTaskHooks().counter;
  return hook ? hook(call) : 0;
}
}  // namespace

std::int64_t OpenCounter(std::string_view name, std::int64_t initial) {
  return CallCounter({CounterOp::kOpen, name, 0, initial});
}
std::int64_t CloseCounter(std::int64_t handle) {
  return CallCounter({CounterOp::kClose, {}, handle, 0});
}
std::int64_t SetCounter(std::int64_t handle, std::int64_t value) {
  return CallCounter({CounterOp::kSet, {}, handle, value});
}
std::int64_t AddCounter(std::int64_t handle, std::int64_t delta) {
  return CallCounter({CounterOp::kAdd, {}, handle, delta});
}

bool HasQuestionHook() { return static_cast<bool>(CurrentTaskHooks().question); }

bool AskQuestion(std::int64_t used, std::int64_t wanted) {
  const auto& hook = CurrentTaskHooks().question;
  return hook ? hook(used, wanted) : false;
}

DiagnosticTriple& Diagnostics() {
  static DiagnosticTriple triple;
  return triple;
}

}  // namespace vld
