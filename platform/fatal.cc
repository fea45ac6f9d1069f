#include "platform/fatal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/checked.h"
#include "platform/errors.h"

namespace vld {
namespace {
thread_local FatalHook t_hook = nullptr;
}  // namespace

void PrintingFatalHook(std::string_view text) {
  std::fprintf(stderr, "Fehler: %.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

void ThrowingFatalHook(std::string_view text) { throw EFatal(std::string(text)); }

void RaiseHere(std::exception_ptr failure) {
  try {
    std::rethrow_exception(std::move(failure));
  } catch (const EFatal& e) {
    Fatal(e.what());
  }
}

FatalHook SetFatalHook(FatalHook hook) {
  FatalHook previous = t_hook;
  t_hook = hook;
  return previous;
}

void Fatal(std::string_view text) {
  (t_hook ? t_hook : PrintingFatalHook)(text);
  std::fflush(stdout);
  std::_Exit(255);
}

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(out.data(), out.size() + 1, format, args);
  va_end(args);
  return out;
}

void RaiseIntegerOverflow() { throw ERuntimeError(kIntegerOverflowText); }
void RaiseRangeError() { throw ERuntimeError(kRangeErrorText); }
void RaiseDivisionByZero() { throw ERuntimeError(kDivisionByZeroText); }

}  // namespace vld
