// The engine's record-file object: one untyped file of bytes with 64-bit positions.
//
// TFile wraps a POSIX file descriptor: Assign a name (expanded to a full path), Open with one of
// the open kinds below, read and write whole blocks, Close. Every failure of the file layer
// raises EInOutError with a German sentence naming the file; a failed positioning is the fatal
// error "Fehler beim Positionieren in der Datei: Code %.8x". Freeing a TFile, or assigning or
// erasing it, while it is open is the fatal error "Datei nicht geschlossen" — except while the
// engine unwinds after an error, when the file is closed quietly.
//
// Open kinds:
//   0 open existing, read only      1 open existing, write only
//   2 create or truncate, write     3 open existing, read and write
//   4 create or truncate, read and write
//
// Fault injection (for tests and the robustness runs of the command-line programs): the n-th
// read or write of the whole file layer can be made to fail (EIO), and writes can be made to
// fail as a full disk would (ENOSPC) once a number of bytes has been written.
#pragma once

#include <cstdint>
#include <string>

#include "engine/runtime/origin.h"

namespace vld {

enum class OpenKind : std::uint8_t {
  kRead = 0,
  kWrite = 1,
  kCreate = 2,
  kReadWrite = 3,
  kCreateReadWrite = 4,
};

class TFile : public TOrigin {
 public:
  ~TFile() override;

  // REQUIRES: the file is closed. The name is expanded to a full path.
  void Assign(const std::string& name);
  const std::string& GetName() const { return name_; }
  bool IsOpen() const { return fd_ >= 0; }
  // Open, or a file of that name exists.
  bool Exists() const;
  void Open(OpenKind kind);
  void Close();
  // Reads exactly `count` bytes at the current position (fewer is an error).
  void ReadBlock(void* address, std::int64_t count);
  void WriteBlock(const void* address, std::int64_t count);
  void Seek(std::int64_t offset) { SeekTo(offset); }
  std::int64_t Size() const;
  // REQUIRES: the file is closed. Deletes it.
  void Erase();

  // 64-bit positioning (the operations of the engine's big files).
  std::int64_t Position() const { return position_; }
  void SeekTo(std::int64_t offset);
  std::int64_t Size64() const { return Size(); }

 protected:
  void BeforeFree() override;

 private:
  [[noreturn]] void Raise(const char* action, int error) const;
  std::string name_;
  int fd_ = -1;
  std::int64_t position_ = 0;
};

// Same object; the engine's code names its 64-bit users TBigFile.
using TBigFile = TFile;

// Process-wide fault injection of the file layer. 0 = off.
struct FileFaults {
  std::int64_t failReadAt = 0;   // the n-th ReadBlock fails
  std::int64_t failWriteAt = 0;  // the n-th WriteBlock fails
  std::int64_t diskFullAfter = -1;  // bytes that may still be written; -1 = unlimited
  std::int64_t reads = 0;         // ReadBlock calls so far
  std::int64_t writes = 0;        // WriteBlock calls so far
  bool injected = false;          // a fault was raised
};
FileFaults& FileFaultInjection();

// One read of either file layer: counts it and returns the error number of an injected failure
// (0: none).
int InjectReadFault();
// One write of `count` bytes of either file layer: counts it and returns the error number of an
// injected failure (0: none); `allowed` receives the bytes the disk still takes (less than
// `count` when the simulated disk is full, and the write must then fail with ENOSPC).
int InjectWriteFault(std::int64_t count, std::int64_t& allowed);

// Reads VELDRONA_FAIL_READ, VELDRONA_FAIL_WRITE and VELDRONA_DISK_FULL_AFTER from the
// environment (command-line programs call this once at start). With VELDRONA_FAULT_REPORT=FILE
// the program writes "reads writes injected" (injected 0 or 1) into FILE when it exits, so that
// a test can tell a fault the program rightly tolerated from a run that met no fault.
void ConfigureFileFaultsFromEnvironment();

// German reason of a system error number ("Datei nicht gefunden", ...).
std::string GermanReason(int error);

}  // namespace vld
