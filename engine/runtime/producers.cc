#include "engine/runtime/producers.h"

#include <algorithm>
#include <cstring>

#include "engine/runtime/hooks.h"
#include "platform/fatal.h"

namespace vld {

// ---- TCall2Send -----------------------------------------------------------------------------

void TCall2Send::Setup(TProcessManager* manager, std::int32_t recordSize) {
  Register(*this, manager);
  ActivateInput(1, recordSize, 1u << 1, BindCall<&TCall2Send::OnCall>(this), {});
  ActivateOutput(1, kModeSend, recordSize);
}

void TCall2Send::Open(TMemorySpace& space) {
  buffer_ = static_cast<std::uint8_t*>(space.Alloc(EffectiveRecordSize(OutputGate(1))));
}

void TCall2Send::OnCall(std::int32_t size, const void* tag, std::uint8_t* record) {
  std::memcpy(buffer_, record, static_cast<std::size_t>(size));
  buffer_ = OutputGate(1).Send(size, tag, buffer_);
}

// ---- TProducer ------------------------------------------------------------------------------

void TProducer::Init() { port_ = CreateOwned<TInFilePort>(*this, 0); }

void TProducer::Setup(TProcessManager* manager, std::int32_t recordSize,
                      std::int64_t counterStart, const std::string& counterName,
                      const std::string& fileName, const void* tag, std::int64_t bufferSize) {
  Register(*this, manager);
  if (recordSize_ == 0) recordSize_ = recordSize;
  ActivateOutput(1, kModeSend, recordSize);
  port_->PrepareWholeFile(CheckedCast<std::uint16_t>(recordSize_), fileName);
  tag_ = tag;
  bufferSize_ = bufferSize;
  counterName_ = counterName;
  counterStart_ = counterStart;
}

void TProducer::Progress(void* object, std::int64_t records) {
  AddCounter(static_cast<TProducer*>(object)->counterHandle_, records);
}

void TProducer::Open(TMemorySpace& space) {
  buffer_ = static_cast<std::uint8_t*>(space.Alloc(EffectiveRecordSize(OutputGate(1))));
  counterHandle_ = OpenCounter(counterName_, counterStart_);
  port_->Open(space, bufferSize_, {&TProducer::Progress, this});
}

bool TProducer::Step() {
  if (!port_->Read(buffer_)) return false;
  buffer_ = OutputGate(1).Send(OutputGate(1).declaredSize, tag_, buffer_);
  return true;
}

void TProducer::Close() {
  port_->Close();
  CloseCounter(counterHandle_);
}

// ---- TConsumer ------------------------------------------------------------------------------

void TConsumer::Init() { port_ = CreateOwned<TOutFilePort>(*this, 0); }

void TConsumer::Setup(TProcessManager* manager, std::int32_t recordSize,
                      const std::string& counterName, const std::string& fileName,
                      std::int64_t bufferSize) {
  Register(*this, manager);
  ActivateInput(1, recordSize, 0, BindCall<&TConsumer::OnCall>(this), {});
  port_->PrepareWriter(CheckedCast<std::uint16_t>(recordSize), fileName);
  counterName_ = counterName;
  bufferSize_ = bufferSize;
}

void TConsumer::Progress(void* object, std::int64_t records) {
  AddCounter(static_cast<TConsumer*>(object)->counterHandle_, records);
}

void TConsumer::Open(TMemorySpace& space) {
  counterHandle_ = OpenCounter(counterName_, 0);
  port_->Open(space, bufferSize_, {&TConsumer::Progress, this});
}

void TConsumer::OnCall(std::int32_t, const void*, std::uint8_t* record) { port_->Write(record); }

void TConsumer::Close() {
  port_->Close();
  CloseCounter(counterHandle_);
}

// ---- TTextConsumer --------------------------------------------------------------------------

void TTextConsumer::Init() { file_ = CreateOwned<TFile>(*this, 0); }

void TTextConsumer::Setup(TProcessManager* manager, std::int64_t bufferSize,
                          const std::string& counterName, const std::string& fileName) {
  Register(*this, manager);
  ActivateInput(1, 0, 0, BindCall<&TTextConsumer::OnCall>(this), {});
  file_->Assign(fileName);
  counterName_ = counterName;
  bufferSize_ = std::clamp<std::int64_t>(bufferSize, 1024, 32768);
}

void TTextConsumer::Open(TMemorySpace& space) {
  counterHandle_ = OpenCounter(counterName_, 0);
  file_->Open(OpenKind::kCreate);
  buffer_ = static_cast<std::uint8_t*>(space.Alloc(bufferSize_));
  fill_ = 0;
  lines_ = 0;
}

void TTextConsumer::OnCall(std::int32_t size, const void*, std::uint8_t* text) {
  if (bufferSize_ - 2 - fill_ < size) Flush();
  if (size > bufferSize_ - 2) Fatal("string too long to consume");
  std::memcpy(buffer_ + fill_, text, static_cast<std::size_t>(size));
  fill_ += size;
  buffer_[fill_++] = 13;
  buffer_[fill_++] = 10;
  ++lines_;
}

void TTextConsumer::Flush() {
  if (fill_ <= 0) return;
  const std::int64_t n = fill_;
  fill_ = 0;
  file_->WriteBlock(buffer_, n);
  SetCounter(counterHandle_, lines_);
}

void TTextConsumer::Close() {
  Flush();
  file_->Close();
  CloseCounter(counterHandle_);
}

}  // namespace vld
