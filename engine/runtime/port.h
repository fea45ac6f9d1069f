// Buffered record ports over record files.
//
// A reader (TInFilePort) delivers one fixed-length record at a time from a large block buffer,
// either over a whole file or over a range of records of a shared file; a writer
// (TOutFilePort) collects records in a block buffer and writes whole blocks. Buffers come from
// the run's memory space at Open and are always a whole number of records. Progress is reported
// once per block: readers report minus the records of each block read (they count down),
// writers plus the records of each block written.
//
// Call order: prepare (PrepareWholeFile / PrepareRange / PrepareWriter), Open at the start of a
// pipeline run, Read or Write, Close at its end.
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "engine/runtime/file.h"
#include "engine/runtime/helper_thread.h"
#include "engine/runtime/origin.h"

namespace vld {

// A progress routine: code plus object, receiving a signed record count.
struct ProgressRoutine {
  void (*code)(void* object, std::int64_t records) = nullptr;
  void* object = nullptr;
  void operator()(std::int64_t records) const {
    if (code != nullptr) code(object, records);
  }
};

class TPort : public TOrigin {
 public:
  // REQUIRES: requestedSize >= recordSize (a smaller buffer is the fatal error
  // "port buffer smaller than one record"). The buffer becomes the request rounded down to
  // whole records.
  virtual void Open(TMemorySpace& space, std::int64_t requestedSize, ProgressRoutine progress);
  virtual void Close();

  std::uint16_t RecordSize() const { return recordSize_; }
  // Reader: records still to deliver (-1 when open-ended); writer: records written.
  std::int64_t Count() const { return count_; }
  std::int64_t BufferSize() const { return bufferSize_; }

 protected:
  std::uint16_t recordSize_ = 0;
  std::int64_t count_ = -1;
  std::int64_t bufferSize_ = 0;
  std::uint8_t* buffer_ = nullptr;
  ProgressRoutine progress_;
};

class TInPort : public TPort {
 public:
  // Copies the next record to `destination`; false at the end.
  bool Read(std::uint8_t* destination) {
    if (readPos_ >= bufferSize_ && !Refill()) return false;
    std::memcpy(destination, buffer_ + readPos_, recordSize_);
    readPos_ += recordSize_;
    if (count_ > 0) --count_;
    return true;
  }
  // The next record in place, valid until the next call; empty at the end.
  const std::uint8_t* Next() {
    if (readPos_ >= bufferSize_ && !Refill()) return nullptr;
    const std::uint8_t* record = buffer_ + readPos_;
    readPos_ += recordSize_;
    if (count_ > 0) --count_;
    return record;
  }

 protected:
  virtual bool Refill() = 0;
  std::int64_t readPos_ = 0;
};

class TOutPort : public TPort {
 public:
  void Write(const std::uint8_t* source) {
    if (writePos_ == bufferSize_) Flush();
    std::memcpy(buffer_ + writePos_, source, recordSize_);
    writePos_ += recordSize_;
    ++count_;
  }
  virtual void Flush() = 0;

 protected:
  std::int64_t writePos_ = 0;
};

class TInFilePort : public TInPort {
 public:
  // Reads the whole file `name` (owned by the port); an incomplete last record is never read.
  void PrepareWholeFile(std::uint16_t recordSize, const std::string& name);
  // Reads `recordCount` records from record number `firstRecord` (from 0) of `shared`, which
  // its owner opens and closes.
  void PrepareRange(TFile& shared, std::int64_t firstRecord, std::uint16_t recordSize,
                    std::int64_t recordCount);
  void Open(TMemorySpace& space, std::int64_t requestedSize, ProgressRoutine progress) override;
  void Close() override;
  // For owning readers: goes on with the whole of another file (count is not changed).
  void Reopen(const std::string& name);
  TFile& File() { return *file_; }

 protected:
  bool Refill() override;

 private:
  bool ownsFile_ = false;
  TFile* file_ = nullptr;
  std::int64_t remaining_ = -1;
  std::int64_t filePosition_ = 0;
};

// A writer with a large buffer (two blocks of at least kBackgroundBlock bytes) on a machine of
// more than one core writes in the background: the buffer is used as two blocks, a helper thread
// writes the one that is full while the records of the next fill the other. A write's error is
// raised at the next block, or at Close; progress is reported when a block is on the disk.
class TOutFilePort : public TOutPort {
 public:
  static constexpr std::int64_t kBackgroundBlock = std::int64_t{1} << 20;

  ~TOutFilePort() override;
  void PrepareWriter(std::uint16_t recordSize, const std::string& name);
  // Creates the file.
  void Open(TMemorySpace& space, std::int64_t requestedSize, ProgressRoutine progress) override;
  // Flushes the last block and closes the file.
  void Close() override;
  void Flush() override;
  TFile& File() { return *file_; }

 private:
  // Waits for the block being written; raises its error, reports its records.
  void FinishWrite();

  TFile* file_ = nullptr;
  std::unique_ptr<THelperThread> writer_;  // only for writing in the background
  std::uint8_t* blocks_[2] = {nullptr, nullptr};
  int filling_ = 0;
  std::int64_t writing_ = 0;  // bytes of the block being written; 0 when none
  std::exception_ptr failure_;
};

}  // namespace vld
