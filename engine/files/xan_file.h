// Text files: a file layer of its own beside the engine's record files.
//
// TXanFile wraps an open file descriptor with 64-bit positions; every failure raises
// EXanFileError with a message naming the file. TXanBufferedFile keeps one window buffer over
// the file for small reads and writes at any position and reads and writes text lines. The
// plain-text and CSV inputs, the data converter, the word dictionaries and their source files,
// the parameter files and the installer read and write through this layer.
//
// Call order: SetName (or the constructor), Open(flags), any reads, writes and positioning,
// Close. Every operation except SetName, Exists and destruction requires an open file.
// Destruction closes an open file silently (a buffered file writes its window first). A failed
// operation leaves the object as it was: an open file stays open.
//
// Open flags and how they map to Linux (open(2)):
//   create, always      neither: open existing; always only: open, create when missing
//                       (O_CREAT); create only: create new, fail when present (O_CREAT|O_EXCL);
//                       both: create or empty an existing file (O_CREAT|O_TRUNC, with write
//                       access so that emptying is defined)
//   read, write         O_RDONLY, O_WRONLY or O_RDWR; neither gives O_RDONLY
//   append              the position is set to the end after opening (not O_APPEND: later
//                       positioning works as usual)
//   share read/write    no effect: Linux has no mandatory share modes
//   hidden              no effect: Linux has no hidden attribute
//   read-only           a newly created file gets no write permission (the open handle may
//                       still write, as on the original platform)
//   sequential, random  posix_fadvise hints; a buffered file with `sequential` writes its window
//                       as soon as it is full
//   write through       O_DSYNC
//   whole buffer direct buffered file only: transfers above the whole buffer size bypass it
// Every file is opened with O_CLOEXEC; a directory is refused like a missing file.
//
// File times are 100-nanosecond ticks since 1601-01-01 UTC, as the product stores them in its
// files.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace vld {

// Messages of the text-file layer (%s: the file name). A failure the system reports adds its
// German reason: "Die Datei \"/a/b.txt\" kann nicht geöffnet werden: Datei nicht gefunden."
inline constexpr const char* kXanNotOpen = "Die Datei \"%s\" ist nicht geöffnet.";
inline constexpr const char* kXanNotClosed = "Die Datei \"%s\" ist nicht geschlossen.";
inline constexpr const char* kXanNoName = "Eine Datei ohne Namen kann nicht geöffnet werden.";
inline constexpr const char* kXanCannotOpen = "Die Datei \"%s\" kann nicht geöffnet werden";
inline constexpr const char* kXanCannotClose = "Die Datei \"%s\" kann nicht geschlossen werden";
inline constexpr const char* kXanCannotRead = "Die Datei \"%s\" kann nicht gelesen werden";
inline constexpr const char* kXanCannotWrite = "Die Datei \"%s\" kann nicht geschrieben werden";
inline constexpr const char* kXanCannotGetSize =
    "Die Größe der Datei \"%s\" kann nicht ermittelt werden";
inline constexpr const char* kXanCannotSetSize =
    "Die Größe der Datei \"%s\" kann nicht geändert werden";
inline constexpr const char* kXanCannotGetTime =
    "Die Änderungszeit der Datei \"%s\" kann nicht ermittelt werden";
inline constexpr const char* kXanLineBuffer =
    "Der Puffer der Datei \"%s\" ist kleiner als die größte Zeilenlänge.";
// "Eine Zeile der Datei \"%s\" ist länger als %d Zeichen." (%d: MaxLineLength)
inline constexpr const char* kXanLineTooLong =
    "Eine Zeile der Datei \"%s\" ist länger als %d Zeichen.";

// Raised for every failure of the text-file layer; the text names the file.
class EXanFileError : public EInOutError {
 public:
  explicit EXanFileError(const std::string& text) : EInOutError(text) {}
};

// Open flags (a 16-bit set).
enum XanOpenFlag : std::uint16_t {
  kXanCreate = 1,
  kXanAlways = 2,
  kXanRead = 4,
  kXanWrite = 8,
  kXanAppend = 16,
  kXanShareRead = 32,
  kXanShareWrite = 64,
  kXanHidden = 128,
  kXanReadOnly = 256,
  kXanSequential = 512,
  kXanWriteThrough = 1024,
  kXanRandom = 2048,
  kXanWholeBufferDirect = 4096,
};

class TXanFile {
 public:
  TXanFile() = default;
  explicit TXanFile(std::string fileName) : fileName_(std::move(fileName)) {}
  virtual ~TXanFile();
  TXanFile(const TXanFile&) = delete;
  TXanFile& operator=(const TXanFile&) = delete;

  // Position >= size.
  virtual bool IsAtEnd();
  virtual std::int64_t Position();
  virtual std::int64_t Size();
  // A negative position counts as 0; a position beyond the end is allowed.
  virtual void SetPosition(std::int64_t position);
  // Truncates or extends the file (a negative size counts as 0); the position moves to the new
  // end.
  virtual void SetSize(std::int64_t size);
  // REQUIRES: closed, and a name. `flags` is a set of XanOpenFlag.
  virtual void Open(std::uint16_t flags);
  virtual void Close();
  // Transfer exactly `count` bytes at the position and advance it; count <= 0 does nothing.
  // Fewer bytes (the end of the file) is the error kXanCannotRead.
  virtual void ReadBytes(void* address, std::int64_t count);
  virtual void WriteBytes(const void* address, std::int64_t count);

  // REQUIRES: closed ("file ... not closed" otherwise).
  void SetName(std::string fileName);
  const std::string& FileName() const { return fileName_; }
  bool IsOpen() const { return isOpen_; }
  std::int64_t LastWriteTime();
  // Open, or an existing file that is not a directory.
  bool Exists() const;

 protected:
  // Raises EXanFileError with `format` (one %s) filled with the file name; with `error`, the
  // German reason of that system error number follows after a colon (0: the end of the file).
  [[noreturn]] void Fail(const char* format) const;
  [[noreturn]] void Fail(const char* format, int error) const;
  void RequireOpen() const;
  void RequireClosed() const;
  // Exact transfers at `offset` without touching the position.
  void ReadAt(std::int64_t offset, void* address, std::int64_t count);
  void WriteAt(std::int64_t offset, const void* address, std::int64_t count);
  std::int64_t SizeOnDisk();
  void TruncateOnDisk(std::int64_t size);
  // Closes the descriptor without reporting a failure.
  void CloseQuietly();

 private:
  int handle_ = -1;
  std::string fileName_;
  bool isOpen_ = false;
  std::int64_t position_ = 0;
};

// A file with one window buffer. Position and Size come from cached fields; reads and writes
// are served from the window where possible, larger transfers go straight to the file.
//
// Lines: ReadLine returns the next line without its terminator (CR LF, LF or CR alone; the end
// of the file ends a last line without terminator) and without trailing characters of code 32
// or less. A line may hold at most MaxLineLength bytes. WriteLine writes the text without its
// trailing characters of code 32 or less, then CR LF.
class TXanBufferedFile : public TXanFile {
 public:
  TXanBufferedFile() = default;
  explicit TXanBufferedFile(std::string fileName) : TXanFile(std::move(fileName)) {}
  ~TXanBufferedFile() override;

  bool IsAtEnd() override;
  std::int64_t Position() override;
  std::int64_t Size() override;
  void SetPosition(std::int64_t position) override;
  void SetSize(std::int64_t size) override;
  // Also "max line length exceeds buffer capacity at file ..." when BufferSize - 2 is below
  // MaxLineLength.
  void Open(std::uint16_t flags) override;
  // Writes the window, then closes.
  void Close() override;
  void ReadBytes(void* address, std::int64_t count) override;
  void WriteBytes(const void* address, std::int64_t count) override;

  virtual void AllocateBuffer();
  virtual void FreeBuffer();
  virtual std::string ReadText(std::int64_t count);
  // REQUIRES: the position lies before the end (kXanCannotRead otherwise). A line of more than
  // MaxLineLength bytes is kXanLineTooLong.
  virtual std::string ReadLine();
  virtual void WriteText(std::string_view text);
  virtual void WriteLine(std::string_view text);
  // Writes the window when it holds bytes not yet written.
  virtual void FlushBuffer();
  // FlushBuffer, then forgets the window.
  virtual void DropBuffer();

  // REQUIRES: closed. Defaults: 4096 and 4000.
  void SetBufferSize(std::int32_t size);
  void SetMaxLineLength(std::int32_t length);
  // Uses `size` bytes at `buffer` instead of an own buffer; the caller keeps the bytes alive
  // while the file is open. REQUIRES: closed.
  void UseExternalBuffer(std::uint8_t* buffer, std::int32_t size);
  std::int32_t BufferSize() const { return bufferSize_; }
  std::int32_t MaxLineLength() const { return maxLineLength_; }

 private:
  // Offset inside the window for a read at the position, moving the window there on a miss.
  std::int64_t ReadOffset();
  std::int64_t WriteOffset();
  void ForgetWindow(std::int64_t start);
  [[noreturn]] void FailLongLine() const;

  bool externalBuffer_ = false;
  bool dirty_ = false;
  bool flushWhenFull_ = false;
  std::int32_t maxLineLength_ = 4000;
  std::int64_t fileSize_ = 0;
  std::int64_t position_ = 0;
  std::int64_t windowStart_ = 0;
  std::int64_t windowFill_ = 0;
  std::int32_t bufferSize_ = 4096;
  std::int64_t directThreshold_ = 0;
  std::uint8_t* buffer_ = nullptr;
  std::unique_ptr<std::uint8_t[]> ownBuffer_;
};

// Last-write time and size of a file, as the dictionaries record their sources.
struct TFileStamp {
  std::int64_t lastWriteTime = 0;
  std::int64_t size = 0;
  friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};
// The stamp of an existing file that is not a directory; empty otherwise.
std::optional<TFileStamp> FileStampOf(const std::string& name);

bool FileExistsNotDirectory(const std::string& name);

// Copies `source` to `target` with its permissions and last-write time. With `failIfExists` an
// existing target is left alone and the copy fails. Copying a file onto itself fails. A target
// created here is removed again when the copy fails. True when the copy is complete.
bool CopyFileTo(const std::string& source, const std::string& target, bool failIfExists);

}  // namespace vld
