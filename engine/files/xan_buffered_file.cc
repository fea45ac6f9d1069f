// The window buffer of TXanBufferedFile.
//
// The window holds `windowFill_` bytes of the file starting at `windowStart_`; `dirty_` says
// they differ from the file. Everything outside the window is on disk, so the file's size is
// max(size on disk, end of the window) and is cached in `fileSize_`. The window never holds a
// gap: a write continues the window only at an offset up to its fill, otherwise a new window
// starts at the position.
#include <algorithm>
#include <cstring>

#include "engine/files/xan_file.h"
#include "platform/checked.h"
#include "platform/fatal.h"

namespace vld {

TXanBufferedFile::~TXanBufferedFile() {
  if (!IsOpen()) return;
  // Destruction must not lose what was written; a failure can only be swallowed here.
  try {
    FlushBuffer();
  } catch (const EXanFileError&) {
  }
  CloseQuietly();
}

void TXanBufferedFile::SetBufferSize(std::int32_t size) {
  RequireClosed();
  bufferSize_ = std::max<std::int32_t>(1, size);
  externalBuffer_ = false;
}

void TXanBufferedFile::SetMaxLineLength(std::int32_t length) {
  RequireClosed();
  maxLineLength_ = std::max<std::int32_t>(0, length);
}

void TXanBufferedFile::UseExternalBuffer(std::uint8_t* buffer, std::int32_t size) {
  RequireClosed();
  ownBuffer_.reset();
  buffer_ = buffer;
  bufferSize_ = std::max<std::int32_t>(1, size);
  externalBuffer_ = true;
}

void TXanBufferedFile::AllocateBuffer() {
  if (externalBuffer_) return;
  ownBuffer_.reset(new std::uint8_t[static_cast<std::size_t>(bufferSize_)]);
  buffer_ = ownBuffer_.get();
}

void TXanBufferedFile::FreeBuffer() {
  if (externalBuffer_) return;
  ownBuffer_.reset();
  buffer_ = nullptr;
}

void TXanBufferedFile::FailLongLine() const {
  throw EXanFileError(
      Format(kXanLineTooLong, FileName().c_str(), static_cast<int>(maxLineLength_)));
}

void TXanBufferedFile::Open(std::uint16_t flags) {
  RequireClosed();
  if (static_cast<std::int64_t>(bufferSize_) - 2 < maxLineLength_) {
    Fail(kXanLineBuffer);
  }
  AllocateBuffer();
  try {
    TXanFile::Open(flags);
    fileSize_ = TXanFile::Size();
    position_ = TXanFile::Position();
  } catch (const EXanFileError&) {
    CloseQuietly();
    FreeBuffer();
    throw;
  }
  windowStart_ = 0;
  windowFill_ = 0;
  directThreshold_ = (flags & kXanWholeBufferDirect) ? bufferSize_ : bufferSize_ - bufferSize_ / 16;
  dirty_ = false;
  flushWhenFull_ = (flags & kXanSequential) != 0;
}

void TXanBufferedFile::Close() {
  RequireOpen();
  FlushBuffer();  // the window's last bytes belong to the file
  TXanFile::Close();
  FreeBuffer();
  ForgetWindow(0);
}

bool TXanBufferedFile::IsAtEnd() {
  RequireOpen();
  return position_ >= fileSize_;
}

std::int64_t TXanBufferedFile::Position() {
  RequireOpen();
  return position_;
}

std::int64_t TXanBufferedFile::Size() {
  RequireOpen();
  return fileSize_;
}

void TXanBufferedFile::SetPosition(std::int64_t position) {
  RequireOpen();
  position_ = std::max<std::int64_t>(0, position);
}

void TXanBufferedFile::SetSize(std::int64_t size) {
  RequireOpen();
  size = std::max<std::int64_t>(0, size);
  FlushBuffer();
  TruncateOnDisk(size);
  ForgetWindow(size);
  fileSize_ = size;
  position_ = size;
}

void TXanBufferedFile::FlushBuffer() {
  RequireOpen();
  if (windowFill_ > 0 && dirty_) {
    WriteAt(windowStart_, buffer_, windowFill_);
    dirty_ = false;
  }
}

void TXanBufferedFile::DropBuffer() {
  FlushBuffer();
  ForgetWindow(position_);
}

void TXanBufferedFile::ForgetWindow(std::int64_t start) {
  windowStart_ = start;
  windowFill_ = 0;
  dirty_ = false;
}

std::int64_t TXanBufferedFile::ReadOffset() {
  if (position_ >= windowStart_ && position_ - windowStart_ < windowFill_) {
    return position_ - windowStart_;
  }
  FlushBuffer();
  ForgetWindow(position_);
  return 0;
}

std::int64_t TXanBufferedFile::WriteOffset() {
  if (position_ >= windowStart_ && position_ - windowStart_ <= windowFill_ &&
      position_ - windowStart_ < bufferSize_) {
    return position_ - windowStart_;
  }
  FlushBuffer();
  ForgetWindow(position_);
  return 0;
}

void TXanBufferedFile::ReadBytes(void* address, std::int64_t count) {
  RequireOpen();
  if (count <= 0) return;
  // Reading past the end is an error, never bytes from beyond the file.
  if (position_ > fileSize_ || count > fileSize_ - position_) Fail(kXanCannotRead, 0);
  auto* out = static_cast<std::uint8_t*>(address);
  const std::int64_t offset = ReadOffset();
  const std::int64_t taken = std::min(count, windowFill_ - offset);
  std::memcpy(out, buffer_ + offset, static_cast<std::size_t>(taken));
  const std::int64_t rest = count - taken;
  if (rest > 0) {
    // The rest starts right behind the window (or the window is empty at the position).
    const std::int64_t from = windowStart_ + windowFill_;
    if (rest > directThreshold_) {
      ReadAt(from, out + taken, rest);
    } else {
      FlushBuffer();
      ForgetWindow(from);
      const std::int64_t fill = std::min<std::int64_t>(bufferSize_, fileSize_ - from);
      ReadAt(from, buffer_, fill);
      windowFill_ = fill;
      std::memcpy(out + taken, buffer_, static_cast<std::size_t>(rest));
    }
  }
  position_ += count;
}

void TXanBufferedFile::WriteBytes(const void* address, std::int64_t count) {
  RequireOpen();
  if (count <= 0) return;
  const std::int64_t end = CheckedAdd(position_, count);
  const auto* in = static_cast<const std::uint8_t*>(address);
  const std::int64_t offset = WriteOffset();
  const std::int64_t room = bufferSize_ - offset;
  if (count > room && count - room > directThreshold_) {
    // Cut the window at the offset; the direct write covers everything behind it.
    windowFill_ = std::min(windowFill_, offset);
    FlushBuffer();
    WriteAt(position_, in, count);
  } else {
    const std::int64_t part = std::min(count, room);
    std::memcpy(buffer_ + offset, in, static_cast<std::size_t>(part));
    dirty_ = true;
    windowFill_ = std::max(windowFill_, offset + part);
    const std::int64_t rest = count - part;
    if (rest > 0) {
      FlushBuffer();
      ForgetWindow(windowStart_ + bufferSize_);
      std::memcpy(buffer_, in + part, static_cast<std::size_t>(rest));
      windowFill_ = rest;
      dirty_ = true;
    }
    if (flushWhenFull_ && windowFill_ == bufferSize_) FlushBuffer();
  }
  position_ = end;
  fileSize_ = std::max(fileSize_, end);
}

std::string TXanBufferedFile::ReadText(std::int64_t count) {
  RequireOpen();
  if (count <= 0) return {};
  if (position_ > fileSize_ || count > fileSize_ - position_) Fail(kXanCannotRead, 0);
  std::string text(static_cast<std::size_t>(count), '\0');
  ReadBytes(text.data(), count);
  return text;
}

void TXanBufferedFile::WriteText(std::string_view text) {
  WriteBytes(text.data(), static_cast<std::int64_t>(text.size()));
}

namespace {
std::string_view WithoutTrailingControls(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= 32) --n;
  return text.substr(0, n);
}
}  // namespace

void TXanBufferedFile::WriteLine(std::string_view text) {
  std::string line(WithoutTrailingControls(text));
  line += "\r\n";
  WriteText(line);
}

std::string TXanBufferedFile::ReadLine() {
  RequireOpen();
  if (position_ >= fileSize_) Fail(kXanCannotRead, 0);
  std::int64_t lineStart = ReadOffset();
  std::int64_t scan = lineStart;
  std::int64_t terminator = -1;
  for (;;) {
    while (terminator < 0 && scan < windowFill_) {
      if (buffer_[scan] == '\r' || buffer_[scan] == '\n') terminator = scan;
      ++scan;
    }
    const bool fileEnds = windowStart_ + windowFill_ >= fileSize_;
    // A carriage return at the window's end needs the next byte to tell CR from CR LF.
    const bool crAtWindowEnd =
        terminator >= 0 && buffer_[terminator] == '\r' && terminator + 1 == windowFill_;
    if (terminator >= 0 && (!crAtWindowEnd || fileEnds)) break;
    if (terminator < 0 && fileEnds) break;  // the end of the file ends the last line
    const std::int64_t lineBytes = (terminator >= 0 ? terminator : windowFill_) - lineStart;
    if (lineBytes > maxLineLength_) FailLongLine();
    // Move the line to the start of the buffer and fill up from the file. The line takes at
    // most maxLineLength + 1 <= bufferSize - 1 bytes, so at least one more byte fits.
    FlushBuffer();
    const std::int64_t kept = windowFill_ - lineStart;
    std::memmove(buffer_, buffer_ + lineStart, static_cast<std::size_t>(kept));
    windowStart_ += lineStart;
    windowFill_ = kept;
    scan -= lineStart;
    if (terminator >= 0) terminator -= lineStart;
    lineStart = 0;
    const std::int64_t more =
        std::min<std::int64_t>(bufferSize_ - kept, fileSize_ - (windowStart_ + kept));
    ReadAt(windowStart_ + kept, buffer_ + kept, more);
    windowFill_ = kept + more;
  }
  const std::int64_t lineEnd = terminator >= 0 ? terminator : windowFill_;
  if (lineEnd - lineStart > maxLineLength_) {
    FailLongLine();
  }
  std::int64_t next = lineEnd;
  if (terminator >= 0) {
    next = terminator + 1;
    if (buffer_[terminator] == '\r' && next < windowFill_ && buffer_[next] == '\n') ++next;
  }
  std::string_view line(reinterpret_cast<const char*>(buffer_ + lineStart),
                        static_cast<std::size_t>(lineEnd - lineStart));
  position_ = windowStart_ + next;
  return std::string(WithoutTrailingControls(line));
}

}  // namespace vld
