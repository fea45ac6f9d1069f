#include "engine/runtime/port.h"

#include <thread>
#include <utility>

#include "platform/fatal.h"

namespace vld {

void TPort::Open(TMemorySpace& space, std::int64_t requestedSize, ProgressRoutine progress) {
  if (recordSize_ == 0 || requestedSize < recordSize_) Fatal("port buffer smaller than one record");
  bufferSize_ = requestedSize - requestedSize % recordSize_;
  buffer_ = static_cast<std::uint8_t*>(space.Alloc(bufferSize_));
  progress_ = progress;
}

void TPort::Close() {
  count_ = -1;
  bufferSize_ = 0;
  buffer_ = nullptr;
}

// ---- Readers --------------------------------------------------------------------------------

void TInFilePort::PrepareWholeFile(std::uint16_t recordSize, const std::string& name) {
  recordSize_ = recordSize;
  ownsFile_ = true;
  if (file_ == nullptr) file_ = CreateOwned<TFile>(*this, 0);
  file_->Assign(name);
  remaining_ = -1;
  filePosition_ = 0;
  count_ = -1;
}

void TInFilePort::PrepareRange(TFile& shared, std::int64_t firstRecord, std::uint16_t recordSize,
                               std::int64_t recordCount) {
  recordSize_ = recordSize;
  ownsFile_ = false;
  file_ = &shared;
  remaining_ = CheckedMul<std::int64_t>(recordSize, recordCount);
  filePosition_ = CheckedMul<std::int64_t>(recordSize, firstRecord);
}

void TInFilePort::Open(TMemorySpace& space, std::int64_t requestedSize,
                       ProgressRoutine progress) {
  if (ownsFile_) file_->Open(OpenKind::kRead);
  if (remaining_ < 0) {
    remaining_ = file_->Size() / recordSize_ * recordSize_;
  } else {
    count_ = remaining_ / recordSize_;
  }
  TPort::Open(space, requestedSize, progress);
  readPos_ = bufferSize_;
}

bool TInFilePort::Refill() {
  if (remaining_ <= 0) return false;
  const std::int64_t n = remaining_ < bufferSize_ ? remaining_ : bufferSize_;
  // The block goes to the end of the buffer, so a short last block still reads in file order.
  readPos_ = bufferSize_ - n;
  file_->SeekTo(filePosition_);
  file_->ReadBlock(buffer_ + readPos_, n);
  filePosition_ += n;
  remaining_ -= n;
  progress_(-(n / recordSize_));
  return true;
}

void TInFilePort::Reopen(const std::string& name) {
  file_->Close();
  file_->Assign(name);
  file_->Open(OpenKind::kRead);
  remaining_ = file_->Size() / recordSize_ * recordSize_;
  filePosition_ = 0;
  readPos_ = bufferSize_;
}

void TInFilePort::Close() {
  TPort::Close();
  readPos_ = 0;
  if (ownsFile_) file_->Close();
}

// ---- Writers --------------------------------------------------------------------------------

void TOutFilePort::PrepareWriter(std::uint16_t recordSize, const std::string& name) {
  recordSize_ = recordSize;
  if (file_ == nullptr) file_ = CreateOwned<TFile>(*this, 0);
  file_->Assign(name);
  count_ = -1;
}

void TOutFilePort::Open(TMemorySpace& space, std::int64_t requestedSize,
                        ProgressRoutine progress) {
  file_->Open(OpenKind::kCreate);
  count_ = 0;
  writePos_ = 0;
  writing_ = 0;
  failure_ = nullptr;
  TPort::Open(space, requestedSize, progress);
  const std::int64_t half = bufferSize_ / recordSize_ / 2 * recordSize_;
  if (half >= kBackgroundBlock && std::thread::hardware_concurrency() > 1) {
    if (!writer_) writer_ = std::make_unique<THelperThread>();
    blocks_[0] = buffer_;
    blocks_[1] = buffer_ + half;
    filling_ = 0;
    bufferSize_ = half;
  } else {
    writer_.reset();
  }
}

void TOutFilePort::Flush() {
  if (writePos_ <= 0) return;
  const std::int64_t n = writePos_;
  writePos_ = 0;
  if (!writer_) {
    file_->WriteBlock(buffer_, n);
    progress_(n / recordSize_);
    return;
  }
  FinishWrite();
  const std::uint8_t* block = buffer_;
  writing_ = n;
  writer_->Start([this, block, n] {
    ScopedFatalHook hook(ThrowingFatalHook);
    try {
      file_->WriteBlock(block, n);
    } catch (...) {
      failure_ = std::current_exception();
    }
  });
  filling_ ^= 1;
  buffer_ = blocks_[filling_];
}

void TOutFilePort::FinishWrite() {
  if (writing_ == 0) return;
  writer_->Wait();
  const std::int64_t n = writing_;
  writing_ = 0;
  if (failure_) RaiseHere(std::exchange(failure_, nullptr));
  progress_(n / recordSize_);
}

void TOutFilePort::Close() {
  Flush();
  FinishWrite();
  TPort::Close();
  writePos_ = 0;
  file_->Close();
}

TOutFilePort::~TOutFilePort() {
  // A block may still be on its way when a run ends through an error.
  if (writer_) writer_->Wait();
}

}  // namespace vld
