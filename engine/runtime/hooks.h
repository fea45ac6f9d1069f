// Task hooks: how engine code anywhere reports to the user.
//
// Three process-wide slots (one task at a time): the message hook (journal lines), the counter
// hook (progress counters) and the question hook (may the memory limit be raised?). The running
// match task fills them; the front end's windows or the command-line runner are what they
// finally reach. An unset hook is harmless: a message or counter call returns 0 and the
// question answers no, so engine code also runs outside tasks.
//
// Called on the task's worker thread. The front end behind a hook decides how to hand the call
// over to its own thread; the worker waits for the answer.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vld {

enum class MessageKind : std::uint8_t {
  kDetail = 1,       // memory and length figures
  kInformation = 2,  // "Datensätze: %d"
  kHeading = 3,      // "Selection..." and "\rFertig."
  kError = 4,        // ends the task
  kJournalFile = 5,  // the wizard's own: open a journal file under the given name
};

enum class CounterOp : std::uint8_t { kOpen = 0, kClose = 1, kSet = 2, kAdd = 3 };

// A counter call: open (name, value) returns a handle; close (handle); set and add (handle,
// value).
struct CounterCall {
  CounterOp op;
  std::string_view name;
  std::int64_t handle = 0;
  std::int64_t value = 0;
};

struct TaskHooks {
  std::function<int(MessageKind kind, std::string_view text)> message;
  std::function<std::int64_t(const CounterCall& call)> counter;
  // Asked before the memory limit is raised: (heap bytes in use, bytes wanted). True: go on.
  std::function<bool(std::int64_t used, std::int64_t wanted)> question;
};

// The process-wide slots.
TaskHooks& CurrentTaskHooks();

// Installs `hooks` for the lifetime of the object, restoring the previous ones afterwards.
class ScopedTaskHooks {
 public:
  explicit ScopedTaskHooks(TaskHooks hooks);
  ~ScopedTaskHooks();
  ScopedTaskHooks(const ScopedTaskHooks&) = delete;
  ScopedTaskHooks& operator=(const ScopedTaskHooks&) = delete;

 private:
  TaskHooks previous_;
};

// Calls the message hook; 0 when it is unset. Texts are UTF-8.
int Report(MessageKind kind, std::string_view text);
// An empty information line, then the heading with "..." appended.
void Heading(std::string_view text);
// "%s: %ser Speicher: %d B >= %d KB >= %d MB" with "frei" for bytes >= 0 and "geborgt" with the
// absolute value for bytes < 0.
void MemoryReport(std::string_view name, std::int64_t bytes);
std::string MemoryReportText(std::string_view name, std::int64_t bytes);

// Counter helpers; each forwards to the counter hook and returns its result (0 when unset).
std::int64_t OpenCounter(std::string_view name, std::int64_t initial);
std::int64_t CloseCounter(std::int64_t handle);
std::int64_t SetCounter(std::int64_t handle, std::int64_t value);
std::int64_t AddCounter(std::int64_t handle, std::int64_t delta);

// The question hook; false when it is unset.
bool HasQuestionHook();
bool AskQuestion(std::int64_t used, std::int64_t wanted);

// The diagnostic triple that the trap report prints: pass, degree, buffer size, set by the task
// driver before a sorting phase (Selection: 1, run capacity, I/O buffer; Merge: 2, runs, I/O
// buffer).
struct DiagnosticTriple {
  std::int64_t pass = 0;
  std::int64_t degree = 0;
  std::int64_t bufferSize = 0;
};
DiagnosticTriple& Diagnostics();

}  // namespace vld
