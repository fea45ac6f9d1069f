// Shared pieces of the fuzz targets: the scratch folder of the process, writing an input to a
// file, and the verdict on what a reader did with an input.
//
// Every target hands each input to one reader of outside data and checks that the reader either
// accepts it or raises its documented error. Anything else (another exception, a fatal error
// where none is designed, a message that does not name the file, a broken round trip) is a
// finding: Finding() prints it and aborts, and libFuzzer saves the input as a crash.
//
// The fatal-error routine unwinds in the fuzz targets (ThrowingFatalHook, installed by
// InstallFuzzHooks from LLVMFuzzerInitialize), so a fatal error reaches the verdict as EFatal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "platform/errors.h"

namespace vld::fuzz {

// Installs the unwinding fatal hook for the fuzzing thread. Call once from
// LLVMFuzzerInitialize.
void InstallFuzzHooks();

// The folder of this process ("vld_fuzz_<pid>" in TMPDIR, else in /dev/shm or /tmp), created on
// first use and removed when the process ends normally.
const std::string& ScratchFolder();
// `name` inside the scratch folder.
std::string ScratchFile(std::string_view name);
// Writes `bytes` as the whole content of `path` (created or truncated).
void WriteScratchFile(const std::string& path, std::span<const std::uint8_t> bytes);
void WriteScratchFile(const std::string& path, std::string_view bytes);

// Reports a finding and aborts.
[[noreturn]] void Finding(std::string_view what);
inline void Require(bool condition, std::string_view what) {
  if (!condition) Finding(what);
}

// With the environment variable VLD_FUZZ_ECHO set, prints what the reader made of an input
// ("geladen" or its message) on standard error; for looking at single inputs.
void Echo(std::string_view outcome);
inline void EchoError(const std::optional<std::string>& error) {
  Echo(error ? std::string_view(*error) : std::string_view("geladen"));
}

// The documented failures a reader may raise for a bad input.
enum Accept : unsigned {
  kAcceptUserError = 1,   // EUserError: the German message of a damaged file
  kAcceptInOutError = 2,  // EInOutError (EXanFileError among them)
  kAcceptFatal = 4,       // EFatal with the one designed text (see Outcome)
};

// The text of the documented error `load` raised, or nullopt when it returned normally. An
// exception outside `accept`, or a fatal error whose text is not `fatalText`, is a finding.
template <typename F>
std::optional<std::string> Outcome(F&& load, unsigned accept, std::string_view fatalText = {});

// The German message of a reader names the file it could not read.
void RequireNamesFile(std::string_view message, std::string_view fileName);

// The lines of a text as the text-file layer reads them: ended by CR LF, LF or CR alone, the last
// one by the end of the text; each without its terminator and untrimmed.
std::vector<std::string> SplitLines(std::string_view text);

// ---- implementation ------------------------------------------------------------------------

[[noreturn]] void UnexpectedException(std::string_view kind, std::string_view text);

template <typename F>
std::optional<std::string> Outcome(F&& load, unsigned accept, std::string_view fatalText) {
  try {
    load();
    return std::nullopt;
  } catch (const EUserError& e) {
    if (accept & kAcceptUserError) return std::string(e.what());
    UnexpectedException("EUserError", e.what());
  } catch (const EInOutError& e) {
    if (accept & kAcceptInOutError) return std::string(e.what());
    UnexpectedException("EInOutError", e.what());
  } catch (const EFatal& e) {
    if ((accept & kAcceptFatal) && e.what() == fatalText) return std::string(e.what());
    UnexpectedException("EFatal", e.what());
  } catch (const std::exception& e) {
    UnexpectedException(typeid(e).name(), e.what());
  } catch (...) {
    UnexpectedException("(unbekannt)", "");
  }
}

}  // namespace vld::fuzz
