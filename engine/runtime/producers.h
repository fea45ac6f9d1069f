// The generic end pieces of every engine pipeline.
//
// TProducer reads fixed-length records from a file and sends them on; TConsumer writes the
// records it receives to a file; TTextConsumer writes variable-length lines (CR LF) to a text
// file; TCall2Send turns incoming calls into outgoing sends at the cost of one copy. Each file
// end keeps a progress counter through the counter hook. Only gate 1 on each side is used.
//
// Call order: CreateIn, Setup (registers and activates the gates), Connect, Run (Part of the
// manager: Open, Step/transfers, Close).
#pragma once

#include <cstdint>
#include <string>

#include "engine/runtime/port.h"
#include "engine/runtime/process.h"

namespace vld {

class TCall2Send : public TProcess {
 public:
  void Setup(TProcessManager* manager, std::int32_t recordSize);
  void Open(TMemorySpace& space) override;
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record);

 private:
  std::uint8_t* buffer_ = nullptr;
};

class TProducer : public TGenerator {
 public:
  void Init() override;
  // `counterStart` is the number of records expected (the counter counts down).
  void Setup(TProcessManager* manager, std::int32_t recordSize, std::int64_t counterStart,
             const std::string& counterName, const std::string& fileName, const void* tag,
             std::int64_t bufferSize);
  void Open(TMemorySpace& space) override;
  bool Step() override;
  void Close() override;

 protected:
  static void Progress(void* object, std::int64_t records);

  std::int32_t recordSize_ = 0;  // subclasses may set it before Setup
  TInFilePort* port_ = nullptr;
  std::int64_t bufferSize_ = 0;
  const void* tag_ = nullptr;
  std::string counterName_;
  std::int64_t counterHandle_ = 0;
  std::int64_t counterStart_ = 0;
  std::uint8_t* buffer_ = nullptr;
};

class TConsumer : public TProcess {
 public:
  void Init() override;
  void Setup(TProcessManager* manager, std::int32_t recordSize, const std::string& counterName,
             const std::string& fileName, std::int64_t bufferSize);
  void Open(TMemorySpace& space) override;
  // Writes records of the port's record size, whatever size the call carries.
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* record);
  void Close() override;
  TOutFilePort& Port() { return *port_; }

 protected:
  static void Progress(void* object, std::int64_t records);

  TOutFilePort* port_ = nullptr;
  std::int64_t bufferSize_ = 0;
  std::string counterName_;
  std::int64_t counterHandle_ = 0;
};

class TTextConsumer : public TProcess {
 public:
  void Init() override;
  // The buffer size is clamped to 1024..32768.
  void Setup(TProcessManager* manager, std::int64_t bufferSize, const std::string& counterName,
             const std::string& fileName);
  void Open(TMemorySpace& space) override;
  // Appends the text and CR LF; fatal "string too long to consume" when one line does not fit.
  void OnCall(std::int32_t size, const void* tag, std::uint8_t* text);
  void Close() override;
  std::int64_t BufferSize() const { return bufferSize_; }
  std::int64_t Lines() const { return lines_; }

 private:
  void Flush();

  TFile* file_ = nullptr;
  std::uint8_t* buffer_ = nullptr;
  std::int64_t bufferSize_ = 0;
  std::int64_t fill_ = 0;
  std::int64_t lines_ = 0;
  std::string counterName_;
  std::int64_t counterHandle_ = 0;
};

}  // namespace vld
