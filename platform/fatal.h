// The fatal-error routine: broken invariants and exhausted resources of the engine.
//
// Engine code calls Fatal() with its short fixed text ("layer inactive",
// "Speicherraum erschöpft", "Trap: ..."). Fatal() calls the current hook of the calling
// thread. A hook either unwinds (throws EFatal: the task driver installs such a hook on its
// worker thread, tests do the same) or returns; when it returns the program ends with exit
// code 255. The default hook prints "Fehler: <text>" on standard error, which is what a
// command-line front end does outside a task.
//
// The hook is kept per thread: a task's hook on its worker thread never reaches the thread of
// the front end.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace vld {

using FatalHook = void (*)(std::string_view text);

// Calls the hook of this thread with `text`; ends the program with exit code 255 when it
// returns.
[[noreturn]] void Fatal(std::string_view text);

// Installs `hook` for the calling thread (nullptr restores the default) and returns the
// previous one.
FatalHook SetFatalHook(FatalHook hook);

// The default: prints "Fehler: <text>" on standard error.
void PrintingFatalHook(std::string_view text);

// Throws EFatal(text).
void ThrowingFatalHook(std::string_view text);

// Raises in the calling thread an error that a helper thread kept for it (its work runs under
// ThrowingFatalHook): a fatal error goes through this thread's own hook, any other error is
// raised as it was.
[[noreturn]] void RaiseHere(std::exception_ptr failure);

// Installs a hook for the lifetime of the object, restoring the previous one afterwards.
class ScopedFatalHook {
 public:
  explicit ScopedFatalHook(FatalHook hook) : previous_(SetFatalHook(hook)) {}
  ~ScopedFatalHook() { SetFatalHook(previous_); }
  ScopedFatalHook(const ScopedFatalHook&) = delete;
  ScopedFatalHook& operator=(const ScopedFatalHook&) = delete;

 private:
  FatalHook previous_;
};

// Formats like printf into a std::string (for fatal texts with a code or a name).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vld
