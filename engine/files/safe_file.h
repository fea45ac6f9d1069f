// Safe files: the product's own binary documents (the statistics protocol ".mpr" is one).
//
// Layout (little-endian):
//   OFFSET  SIZE  FIELD
//        0    32  magic of the file kind, compared byte for byte
//       32     4  format version (signed)
//       36     4  keystream seed XOR 0x3e71f0c4
//       40     4  zero (another value: not a file of the kind)
//       44     …  payload, scrambled with the keystream (keystream.h)
// Texts in the payload: a 4-byte signed length (scrambled like all payload bytes), then that many
// bytes; a length of 0 or less is an empty text.
//
// A concrete kind supplies Magic, CurrentVersion, KindName and may widen IsValidVersion. Call
// order: Assign, OpenSafe(0 read | 2 write), ReadData/ReadText or WriteData/WriteText in the
// same order and sizes, CloseSafe. Readers distrust the payload: a length or read that passes
// the end of the file is "Die Datei "%s" ist beschädigt.", never a huge allocation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/files/keystream.h"
#include "engine/runtime/file.h"

namespace vld {

class TSafeFile {
 public:
  // With `file` empty the safe file creates and owns its own TFile.
  explicit TSafeFile(TFile* file = nullptr);
  virtual ~TSafeFile();
  TSafeFile(const TSafeFile&) = delete;
  TSafeFile& operator=(const TSafeFile&) = delete;

  virtual bool IsValidVersion(std::int32_t version) const { return version == CurrentVersion(); }
  virtual std::int32_t CurrentVersion() const = 0;
  // Exactly 32 bytes.
  virtual std::string_view Magic() const = 0;
  virtual std::string KindName() const = 0;

  const std::string& GetName() const { return file_->GetName(); }
  void Assign(const std::string& name) { file_->Assign(name); }
  // Mode 0 reads an existing file, mode 2 creates or truncates one.
  void OpenSafe(int mode);
  void CloseSafe();
  bool IsOpen() const { return file_->IsOpen(); }
  std::int32_t Version() const { return version_; }
  // Payload bytes not yet read.
  std::int64_t Remaining() const;

  void ReadData(void* address, std::int64_t count);
  void WriteData(const void* address, std::int64_t count);
  std::string ReadText();
  void WriteText(std::string_view text);

  // Raises EUserError with `format` (one %s) filled with the file name.
  [[noreturn]] void Fail(const std::string& format) const;

  static constexpr std::uint32_t kSeedMask = 0x3e71f0c4;
  static constexpr std::int64_t kHeaderSize = 44;

 private:
  TFile* file_;
  bool ownsFile_;
  bool reading_ = false;
  std::int32_t version_ = 0;
  std::int64_t size_ = 0;
  Keystream stream_;
};

}  // namespace vld
