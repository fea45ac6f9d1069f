#include "fuzz/fuzz_support.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/fatal.h"

namespace vld::fuzz {
namespace {

constexpr std::string_view kPrefix = "vld_fuzz_";

// Creates the folder on construction and removes it with everything in it at exit (and before a
// finding aborts). A process ended by a sanitizer, a timeout or running out of memory leaves its
// folder behind; the next process removes the folders of processes that are gone.
class Scratch {
 public:
  Scratch() {
    const std::filesystem::path base = Base();
    RemoveOrphans(base);
    path_ = (base / (std::string(kPrefix) + std::to_string(getpid()))).string();
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~Scratch() { Remove(); }
  const std::string& path() const { return path_; }
  void Remove() const {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

 private:
  // TMPDIR when set; else the memory file system, because the targets write and replace files
  // for every input and a disk file system flushes such replacements to the disk.
  static std::filesystem::path Base() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir == nullptr || *tmpdir == '\0') {
      std::error_code ignored;
      if (std::filesystem::is_directory("/dev/shm", ignored) && access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
      }
    }
    return std::filesystem::temp_directory_path();
  }

  static void RemoveOrphans(const std::filesystem::path& base) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(kPrefix, 0) != 0) continue;
      const long pid = std::strtol(name.c_str() + kPrefix.size(), nullptr, 10);
      if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
        std::filesystem::remove_all(entry.path(), ec);
      }
    }
  }

  std::string path_;
};

const Scratch& TheScratch() {
  static const Scratch scratch;
  return scratch;
}

}  // namespace

void InstallFuzzHooks() {
  SetFatalHook(ThrowingFatalHook);
  TheScratch();  // before the first input, so that folders of ended runs go at once
}

const std::string& ScratchFolder() { return TheScratch().path(); }

std::string ScratchFile(std::string_view name) { return ScratchFolder() + "/" + std::string(name); }

void WriteScratchFile(const std::string& path, std::string_view bytes) {
  // A new file rather than a truncated one: no flush of the old contents.
  std::remove(path.c_str());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  Require(out.good(), "Die Eingabe kann nicht in den Arbeitsordner geschrieben werden.");
}

void WriteScratchFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  WriteScratchFile(path,
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void Echo(std::string_view outcome) {
  static const bool echo = std::getenv("VLD_FUZZ_ECHO") != nullptr;
  if (echo) std::fprintf(stderr, "%.*s\n", static_cast<int>(outcome.size()), outcome.data());
}

void Finding(std::string_view what) {
  std::fprintf(stderr, "\nFuzz-Befund: %.*s\n", static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
  TheScratch().Remove();
  std::abort();
}

void UnexpectedException(std::string_view kind, std::string_view text) {
  Finding("unerwarteter Fehler " + std::string(kind) + ": " + std::string(text));
}

void RequireNamesFile(std::string_view message, std::string_view fileName) {
  if (message.find(fileName) == std::string_view::npos) {
    Finding("Die Meldung nennt die Datei \"" + std::string(fileName) +
            "\" nicht: " + std::string(message));
  }
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    lines.emplace_back(text.substr(start, end - start));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
  return lines;
}

}  // namespace vld::fuzz
