#include "engine/files/xan_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/runtime/file.h"
#include "platform/checked.h"

namespace vld {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;
constexpr std::int64_t kTicksPerSecond = 10000000;

std::int64_t FileTimeOf(const struct stat& st) {
  return (static_cast<std::int64_t>(st.st_mtim.tv_sec) + kEpochDifference) * kTicksPerSecond +
         st.st_mtim.tv_nsec / 100;
}

std::string FillName(const char* format, const std::string& name) {
  std::string text(format);
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, name);
  return text;
}

int OpenFlagsFor(std::uint16_t flags) {
  const bool create = flags & kXanCreate;
  const bool always = flags & kXanAlways;
  bool write = flags & kXanWrite;
  const bool read = flags & kXanRead;
  int os = O_CLOEXEC;
  if (create && always) {
    os |= O_CREAT | O_TRUNC;
    write = true;  // emptying a file needs write access on Linux
  } else if (create) {
    os |= O_CREAT | O_EXCL;
  } else if (always) {
    os |= O_CREAT;
  }
  if (read && write) {
    os |= O_RDWR;
  } else if (write) {
    os |= O_WRONLY;
  } else {
    os |= O_RDONLY;
  }
  if (flags & kXanWriteThrough) os |= O_DSYNC;
  return os;
}

}  // namespace

// ---- TXanFile -------------------------------------------------------------------------------

TXanFile::~TXanFile() { CloseQuietly(); }

void TXanFile::Fail(const char* format) const { throw EXanFileError(FillName(format, fileName_)); }

void TXanFile::Fail(const char* format, int error) const {
  throw EXanFileError(FillName(format, fileName_) + ": " + GermanReason(error) + ".");
}

void TXanFile::RequireOpen() const {
  if (!isOpen_) Fail(kXanNotOpen);
}

void TXanFile::RequireClosed() const {
  if (isOpen_) Fail(kXanNotClosed);
}

void TXanFile::SetName(std::string fileName) {
  RequireClosed();
  fileName_ = std::move(fileName);
}

bool TXanFile::Exists() const { return isOpen_ || FileExistsNotDirectory(fileName_); }

void TXanFile::Open(std::uint16_t flags) {
  RequireClosed();
  if (fileName_.empty()) Fail(kXanNoName);
  const mode_t mode = (flags & kXanReadOnly) ? 0444 : 0666;
  int fd;
  do {
    fd = ::open(fileName_.c_str(), OpenFlagsFor(flags), mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) Fail(kXanCannotOpen, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    Fail(kXanCannotOpen, error);
  }
  std::int64_t position = 0;
  if (flags & kXanAppend) position = st.st_size;
  if (flags & kXanSequential) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  if (flags & kXanRandom) ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  handle_ = fd;
  isOpen_ = true;
  position_ = position;
}

void TXanFile::Close() {
  RequireOpen();
  // Linux releases the descriptor even when close reports an error; the file counts as closed.
  const int result = ::close(handle_);
  handle_ = -1;
  isOpen_ = false;
  if (result != 0 && errno != EINTR) Fail(kXanCannotClose, errno);
}

void TXanFile::CloseQuietly() {
  if (!isOpen_) return;
  ::close(handle_);
  handle_ = -1;
  isOpen_ = false;
}

bool TXanFile::IsAtEnd() { return Position() >= Size(); }

std::int64_t TXanFile::Position() {
  RequireOpen();
  return position_;
}

std::int64_t TXanFile::Size() {
  RequireOpen();
  return SizeOnDisk();
}

std::int64_t TXanFile::SizeOnDisk() {
  struct stat st;
  if (::fstat(handle_, &st) != 0) Fail(kXanCannotGetSize, errno);
  return st.st_size;
}

void TXanFile::SetPosition(std::int64_t position) {
  RequireOpen();
  position_ = std::max<std::int64_t>(0, position);
}

void TXanFile::SetSize(std::int64_t size) {
  RequireOpen();
  size = std::max<std::int64_t>(0, size);
  TruncateOnDisk(size);
  position_ = size;
}

void TXanFile::TruncateOnDisk(std::int64_t size) {
  int result;
  do {
    result = ::ftruncate(handle_, size);
  } while (result != 0 && errno == EINTR);
  if (result != 0) Fail(kXanCannotSetSize, errno);
}

std::int64_t TXanFile::LastWriteTime() {
  RequireOpen();
  struct stat st;
  if (::fstat(handle_, &st) != 0) Fail(kXanCannotGetTime, errno);
  return FileTimeOf(st);
}

void TXanFile::ReadBytes(void* address, std::int64_t count) {
  RequireOpen();
  if (count <= 0) return;
  ReadAt(position_, address, count);
  position_ = CheckedAdd(position_, count);
}

void TXanFile::WriteBytes(const void* address, std::int64_t count) {
  RequireOpen();
  if (count <= 0) return;
  WriteAt(position_, address, count);
  position_ = CheckedAdd(position_, count);
}

void TXanFile::ReadAt(std::int64_t offset, void* address, std::int64_t count) {
  if (count > 0) {
    if (const int fault = InjectReadFault()) Fail(kXanCannotRead, fault);
  }
  auto* out = static_cast<std::uint8_t*>(address);
  while (count > 0) {
    const ssize_t got = ::pread(handle_, out, static_cast<std::size_t>(count), offset);
    if (got < 0 && errno == EINTR) continue;
    // An error, or the end of the file before `count` bytes.
    if (got <= 0) Fail(kXanCannotRead, got < 0 ? errno : 0);
    out += got;
    offset += got;
    count -= got;
  }
}

void TXanFile::WriteAt(std::int64_t offset, const void* address, std::int64_t count) {
  if (count <= 0) return;
  std::int64_t allowed = count;
  if (const int fault = InjectWriteFault(count, allowed)) Fail(kXanCannotWrite, fault);
  const std::int64_t refused = count - allowed;
  count = allowed;
  const auto* in = static_cast<const std::uint8_t*>(address);
  while (count > 0) {
    const ssize_t put = ::pwrite(handle_, in, static_cast<std::size_t>(count), offset);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) Fail(kXanCannotWrite, put < 0 ? errno : EIO);
    in += put;
    offset += put;
    count -= put;
  }
  if (refused > 0) Fail(kXanCannotWrite, ENOSPC);
}

// ---- helpers --------------------------------------------------------------------------------

std::optional<TFileStamp> FileStampOf(const std::string& name) {
  struct stat st;
  if (name.empty() || ::stat(name.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  return TFileStamp{FileTimeOf(st), static_cast<std::int64_t>(st.st_size)};
}

bool FileExistsNotDirectory(const std::string& name) { return FileStampOf(name).has_value(); }

bool CopyFileTo(const std::string& source, const std::string& target, bool failIfExists) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st;
  if (::fstat(in, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(in);
    return false;
  }
  struct stat existing;
  const bool targetExisted = ::stat(target.c_str(), &existing) == 0;
  if (targetExisted && existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
    ::close(in);  // emptying the target would destroy the source
    return false;
  }
  const int createFlags = failIfExists ? (O_CREAT | O_EXCL) : (O_CREAT | O_TRUNC);
  const int out = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | createFlags, 0600);
  if (out < 0) {
    ::close(in);
    return false;
  }
  bool ok = true;
  std::unique_ptr<char[]> chunk(new char[65536]);
  for (;;) {
    const ssize_t got = ::read(in, chunk.get(), 65536);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) ok = false;
    if (got <= 0) break;
    for (ssize_t done = 0; done < got && ok;) {
      const ssize_t put = ::write(out, chunk.get() + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0)
        ok = false;
      else
        done += put;
    }
    if (!ok) break;
  }
  if (ok) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
  }
  if (::close(out) != 0) ok = false;
  ::close(in);
  if (!ok && !targetExisted) ::unlink(target.c_str());
  return ok;
}

}  // namespace vld
