// The three failure channels of the product, as exception types.
//
// - EUserError: a problem the user can fix. Carries the finished German sentence; the front
//   end shows it (a command prints "Fehler: <text>") and the current state stays.
// - ERuntimeError: the runtime's checks ("Integer-Überlauf", "Fehler bei Bereichsprüfung",
//   "Division durch Null") and input/output failures of the file layer (EInOutError). Inside a
//   match task the task driver reports the text as the task's error line.
// - EFatal: a broken invariant or exhausted resource, raised by Fatal() while a hook that
//   unwinds is installed (inside a task, or in tests). See fatal.h.
//
// All texts are UTF-8; conversion to the terminal or a window happens at the front end.
#pragma once

#include <stdexcept>
#include <string>

namespace vld {

class EUserError : public std::runtime_error {
 public:
  explicit EUserError(const std::string& text) : std::runtime_error(text) {}
};

class ERuntimeError : public std::runtime_error {
 public:
  explicit ERuntimeError(const std::string& text) : std::runtime_error(text) {}
};

// A failed open, read, write, seek or close of the file layer.
class EInOutError : public ERuntimeError {
 public:
  explicit EInOutError(const std::string& text) : ERuntimeError(text) {}
};

class EFatal : public std::runtime_error {
 public:
  explicit EFatal(const std::string& text) : std::runtime_error(text) {}
};

inline constexpr const char* kIntegerOverflowText = "Integer-Überlauf";
inline constexpr const char* kRangeErrorText = "Fehler bei Bereichsprüfung";
inline constexpr const char* kDivisionByZeroText = "Division durch Null";

}  // namespace vld
