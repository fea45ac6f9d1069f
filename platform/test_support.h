// Helpers for tests only: catching the fatal error's text, temporary folders, files.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/errors.h"
#include "platform/fatal.h"

namespace vld::testing {

// Runs `f` with the unwinding fatal hook and returns the fatal error's text ("" when none).
template <typename F>
std::string FatalTextOf(F&& f) {
  ScopedFatalHook hook(ThrowingFatalHook);
  try {
    f();
  } catch (const EFatal& e) {
    return e.what();
  }
  return "";
}

// Runs `f` and returns the text of the exception of type E it raised ("" when none).
template <typename E, typename F>
std::string ErrorTextOf(F&& f) {
  ScopedFatalHook hook(ThrowingFatalHook);
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "";
}

// A fresh folder below the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("vld_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vld::testing
