// EParamTree: the failures of the parameter tree (schema construction errors, values used
// against their types, corrupt streams). Its texts are English and meant for developers; while a
// parameter file is read, the loader turns them into the German message naming the file.
#pragma once

#include <stdexcept>
#include <string>

namespace vld {

class EParamTree : public std::runtime_error {
 public:
  explicit EParamTree(const std::string& text) : std::runtime_error(text) {}
};

// Throws EParamTree with the printf-formatted text.
[[noreturn]] void RaiseParamTree(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vld
